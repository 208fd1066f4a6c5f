#include "app/LiveAnswerView.h"

#include "app/ChatPage.h"
#include "page/MessageBlocks.h"

#include <QTimer>

#include <algorithm>

LiveAnswerView::LiveAnswerView(ChatPage& page, QObject* parent)
    : QObject(parent), m_page(page), m_timer(new QTimer(this)) {
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &LiveAnswerView::Render);
}

void LiveAnswerView::Begin(const QString& status) {
    m_markdown = LiveMarkdown();
    m_sinceFirstText.invalidate();
    m_text.clear();
    m_shownSize = 0;
    m_status = status;
    m_shownStatus = status;
    m_showing = true;
    m_sinceRender.start();
    m_page.ShowLiveBlock(BuildLiveModelMessageHtml(status));
}

void LiveAnswerView::SetText(const QString& textSoFar) {
    // The first words go up at once: the wait for them is the one the user feels.
    const bool first = m_text.isEmpty() && !textSoFar.isEmpty();
    // Only what is new is copied, and no more than the block shows: holding the writer's
    // own string would make its next append copy the whole answer, at every chunk.
    const qsizetype kept = qMin(textSoFar.size(), kShownCharacters);
    if (kept > m_text.size())
        m_text.append(QStringView(textSoFar).sliced(m_text.size(), kept - m_text.size()));
    if (first && m_showing) {
        m_sinceFirstText.start();
        m_timer->stop();
        Render();
        return;
    }
    Changed();
}

void LiveAnswerView::SetStatus(const QString& status) {
    if (status == m_status)
        return;
    m_status = status;
    Changed();
}

void LiveAnswerView::Finish(const QString& html) {
    m_timer->stop();
    m_showing = false;
    m_page.EndLiveBlock(html);
}

void LiveAnswerView::Drop() {
    m_timer->stop();
    m_showing = false;
    m_text.clear();
}

void LiveAnswerView::Changed() {
    if (!m_showing || m_timer->isActive())
        return;
    const qint64 interval = IntervalMs();
    const qint64 since = m_sinceRender.isValid() ? m_sinceRender.elapsed() : interval;
    if (since >= interval)
        Render();
    else
        m_timer->start(int(interval - since));
}

qint64 LiveAnswerView::IntervalMs() const {
    const qint64 coming = m_sinceFirstText.isValid() ? m_sinceFirstText.elapsed() : 0;
    return std::clamp<qint64>(coming / 2, kIntervalMs, kLongestIntervalMs);
}

void LiveAnswerView::Render() {
    if (!m_showing)
        return;
    m_sinceRender.start();
    // The text only grows; past what a finished block shows it waits for the end.
    const bool textChanged = m_text.size() != m_shownSize && m_text.size() < kShownCharacters;
    if (textChanged) {
        const LiveMarkdown::Update update = m_markdown.Advance(m_text);
        m_page.UpdateLiveBlock(update.settledHtml, update.tailHtml, m_status);
        m_shownSize = m_text.size();
    } else if (m_status != m_shownStatus) {
        m_page.SetLiveStatus(m_status);
    }
    m_shownStatus = m_status;
}
