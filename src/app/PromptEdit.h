#pragma once

#include <QPlainTextEdit>

#include <functional>

class QKeyEvent;

// The prompt box: its owner sees every key before the box does (and may consume
// it), and hears after the key has taken effect.
class PromptEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    using QPlainTextEdit::QPlainTextEdit;

    // Returning true consumes the key: the box never sees it.
    std::function<bool(QKeyEvent*)> OnKeyDown;

Q_SIGNALS:
    // After every key press, consumed or not.
    void KeyHandled();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
