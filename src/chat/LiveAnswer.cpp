#include "chat/LiveAnswer.h"

#include "service/AnswerReading.h"
#include "chat/ChatState.h"
#include "chat/GenerationHandlers.h"

#include <utility>

using namespace Qt::StringLiterals;

LiveAnswer::LiveAnswer(std::shared_ptr<ChatState> AChat, qsizetype AUserIndex,
                       LiveAnswerEvents AEvents)
    : m_chat(std::move(AChat)), m_userIndex(AUserIndex), m_events(std::move(AEvents)) {}

void LiveAnswer::Stop() {
    if (!m_running)
        return;
    m_cancel->store(true);
    ModelAnswer arrived{m_parts};
    if (HasAnswerContent(m_parts))
        End({.Result = std::move(arrived), .Stopped = true});
    else
        End({.Result = Failure(RequestFailure{.Text = u"Остановлено"_s, .Arrived = arrived}),
             .Stopped = true});
}

void LiveAnswer::Deliver(const StreamDelivery& ADelivery) {
    // Deliveries still queued when the user stopped the answer are dropped.
    if (!m_running)
        return;
    // A handler may let go of this answer.
    const std::shared_ptr<LiveAnswer> self = shared_from_this();
    switch (ADelivery.What) {
    case StreamDelivery::Kind::Chunk:
        AppendAnswerParts(m_parts, ADelivery.Parts);
        m_text += ADelivery.Text;
        if (m_events.Grew)
            m_events.Grew(m_text, m_text.isEmpty() && !m_parts.isEmpty());
        break;
    case StreamDelivery::Kind::Retrying:
        if (m_events.Retrying)
            m_events.Retrying(ADelivery.RetryInSeconds);
        break;
    case StreamDelivery::Kind::Final:
        End({.Result = ADelivery.Result});
        break;
    }
}

QString LiveAnswer::StopReason(const AnswerEnd& AEnd) {
    if (AEnd.Stopped)
        return {};
    const RequestResult& result = AEnd.Result;
    if (!result && result.error().Cause == FailureCause::ConnectionLost)
        return kConnectionLost.toString();
    if (!result && result.error().Cause == FailureCause::TimedOut)
        return kAnswerTimedOut.toString();
    const QString& finish = WhatArrived(result).Facts.FinishReason;
    // A stream that closed without saying why it ended may have been cut anywhere.
    if (finish.isEmpty())
        return result ? kStreamEndedEarly.toString() : QString();
    return finish == u"STOP" ? QString() : finish;
}

void LiveAnswer::End(AnswerEnd AEnd) {
    const std::shared_ptr<LiveAnswer> self = shared_from_this();
    m_running = false;
    const ModelAnswer& arrived = WhatArrived(AEnd.Result);
    if (HasAnswerContent(arrived.Parts)) {
        THistoryItem item = ModelMessageFromParts(arrived.Parts, arrived.Facts);
        item.FinishReason = StopReason(AEnd);
        m_chat->History.append(item);
        AEnd.Kept = std::move(item);
    } else {
        m_chat->MarkRequestFailed(m_userIndex, AEnd.Result.error().Text);
    }
    if (m_events.Ended)
        m_events.Ended(AEnd);
}
