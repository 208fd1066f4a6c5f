#pragma once

#include <QPlainTextEdit>

#include <functional>

class QImage;
class QKeyEvent;
class QMimeData;

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
    // Files or a picture pasted: they are the owner's to attach, the box takes no text for them.
    void FilesPasted(const QStringList& paths);
    void PicturePasted(const QImage& picture);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
};
