#include "LiveAnswerView.h"

#include "ChatPage.h"
#include "MessageBlocks.h"

#include <QTimer>

LiveAnswerView::LiveAnswerView(ChatPage& page, QObject* parent)
    : QObject(parent), m_page(page), m_timer(new QTimer(this)) {
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &LiveAnswerView::Render);
}

void LiveAnswerView::Begin(const QString& status) {
    m_text.clear();
    m_status = status;
    m_showing = true;
    Render();
}

void LiveAnswerView::SetText(const QString& textSoFar) {
    m_text = textSoFar;
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

void LiveAnswerView::Changed() {
    if (!m_showing || m_timer->isActive())
        return;
    const qint64 since = m_sinceRender.isValid() ? m_sinceRender.elapsed() : kIntervalMs;
    if (since >= kIntervalMs)
        Render();
    else
        m_timer->start(int(kIntervalMs - since));
}

void LiveAnswerView::Render() {
    if (!m_showing)
        return;
    m_sinceRender.start();
    m_page.ShowLiveBlock(BuildLiveModelMessageHtml(m_text, m_status));
}
