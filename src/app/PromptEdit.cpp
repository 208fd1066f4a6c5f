#include "app/PromptEdit.h"

#include "app/FileDrop.h"

#include <QImage>
#include <QKeyEvent>
#include <QMimeData>

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

bool PromptEdit::canInsertFromMimeData(const QMimeData* source) const {
    return source->hasImage() || !LocalFilesOf(source).isEmpty() ||
           QPlainTextEdit::canInsertFromMimeData(source);
}

void PromptEdit::insertFromMimeData(const QMimeData* source) {
    if (const QStringList files = LocalFilesOf(source); !files.isEmpty())
        Q_EMIT FilesPasted(files);
    else if (source->hasImage() && !source->hasText())
        Q_EMIT PicturePasted(qvariant_cast<QImage>(source->imageData()));
    else
        QPlainTextEdit::insertFromMimeData(source);
}
