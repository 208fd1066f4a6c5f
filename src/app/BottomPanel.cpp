#include "BottomPanel.h"

#include <QResizeEvent>

#include <cmath>

BottomPanel::BottomPanel(QWidget* parent) : QWidget(parent) {}

void BottomPanel::SetAnchoredControls(QWidget* prompt, QWidget* attachmentList,
                                      QWidget* downButton) {
    m_prompt = prompt;
    m_attachmentList = attachmentList;
    m_downButton = downButton;
    m_promptCentre = (prompt->x() + prompt->width() / 2.0) / kDesignWidth;
}

void BottomPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!m_prompt)
        return;
    const int width = event->size().width();
    const int promptLeft = int(std::lround(m_promptCentre * width - m_prompt->width() / 2.0));
    m_prompt->move(promptLeft, m_prompt->y());

    const int margin = 6;
    m_downButton->move(width - m_downButton->width() - margin, m_downButton->y());
    // The window's resize rule places the attachment list; its width follows.
    if (m_onResize)
        m_onResize();
    const int listRight = m_downButton->x() - margin;
    m_attachmentList->resize(qMax(0, listRight - m_attachmentList->x()),
                             m_attachmentList->height());
}
