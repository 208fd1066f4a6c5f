#include "app/PromptEdit.h"

#include <QKeyEvent>

void PromptEdit::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (OnKeyDown && OnKeyDown(event))
        event->accept();
    else if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::ControlModifier &&
             !isReadOnly())
        // Tab moves on to the next control; a tab character takes Ctrl.
        insertPlainText(QStringLiteral("\t"));
    else if (enter && !isReadOnly())
        // Every Enter the owner leaves, whatever the modifiers, is a plain line break:
        // Qt's own Shift+Enter would put a U+2028 separator into the prompt.
        insertPlainText(QStringLiteral("\n"));
    else
        QPlainTextEdit::keyPressEvent(event);
    Q_EMIT KeyHandled();
}
