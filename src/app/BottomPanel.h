#pragma once

#include <QWidget>

#include <functional>

// The panel under the chat page. Its controls sit at fixed positions, as in the
// window's design; the prompt box has no anchors, so its centre keeps the same
// fraction of the panel's width, while the scroll-down button stays in the top
// right corner and the attachment list reaches up to it.
class BottomPanel : public QWidget {
    Q_OBJECT

public:
    // Width of the panel at the window's design size, against which the prompt
    // box's position is kept.
    static constexpr int kDesignWidth = 908;

    explicit BottomPanel(QWidget* parent = nullptr);

    void SetAnchoredControls(QWidget* prompt, QWidget* attachmentList, QWidget* downButton);
    // Runs after the panel has placed its anchored controls.
    void SetResizeHandler(std::function<void()> handler) { m_onResize = std::move(handler); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* m_prompt = nullptr;
    QWidget* m_attachmentList = nullptr;
    QWidget* m_downButton = nullptr;
    double m_promptCentre = 0; // fraction of the panel's width
    std::function<void()> m_onResize;
};
