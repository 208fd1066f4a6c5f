#include "PromptEdit.h"

#include <QKeyEvent>

void TPromptEdit::keyPressEvent(QKeyEvent* event) {
    if (OnKeyDown && OnKeyDown(event))
        event->accept();
    else
        QPlainTextEdit::keyPressEvent(event);
    emit KeyHandled();
}
