#include "LiveAnswer.h"

#include "Blank.h"
#include "GeminiDM.h"
#include "GenerationHandlers.h"

#include <utility>

using namespace Qt::StringLiterals;

LiveAnswer::LiveAnswer(TGeminiDM& ADataModule, LiveAnswerEvents AEvents)
    : m_dataModule(&ADataModule), m_events(std::move(AEvents)) {}

void LiveAnswer::Stop() {
    if (!m_running)
        return;
    m_cancel->store(true);
    AnswerEnd end{m_text, true};
    if (m_text.isEmpty())
        end.Outcome = {u"Остановлено"_s, true};
    End(std::move(end));
}

void LiveAnswer::Deliver(const StreamDelivery& ADelivery) {
    // Deliveries still queued when the user stopped the answer are dropped.
    if (!m_running)
        return;
    // A handler may let go of this answer.
    const std::shared_ptr<LiveAnswer> self = shared_from_this();
    switch (ADelivery.What) {
    case StreamDelivery::Kind::Chunk:
        m_text += ADelivery.Text;
        if (m_events.Grew)
            m_events.Grew(m_text);
        break;
    case StreamDelivery::Kind::Retrying:
        if (m_events.Retrying)
            m_events.Retrying(ADelivery.RetryInSeconds);
        break;
    case StreamDelivery::Kind::Final:
        End({m_text, false, ADelivery.Outcome});
        break;
    }
}

void LiveAnswer::End(AnswerEnd AEnd) {
    const std::shared_ptr<LiveAnswer> self = shared_from_this();
    m_running = false;
    if (m_dataModule && !IsBlank(AEnd.Text))
        m_dataModule->ChatHistory().append(
            ModelMessageFromAnswer(AEnd.Text, AEnd.Outcome.Facts.Sources));
    if (m_events.Ended)
        m_events.Ended(AEnd);
}
