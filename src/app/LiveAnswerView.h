#pragma once

#include "page/LiveMarkdown.h"
#include "page/MessageBlocks.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class ChatPage;
class QTimer;

// The block of an answer that is still being written. The first text shows at once; later
// changes wait out the rest of the interval and go together. The interval starts at
// kIntervalMs and grows to half the time the answer has been coming, up to
// kLongestIntervalMs: each change the page shows costs the user-interface thread about
// the same whatever its size, so a long answer is not allowed to cost many times what
// showing it once does. Each change takes only what is new to that block alone: the
// blocks finished since the last change and the unfinished tail (LiveMarkdown).
class LiveAnswerView : public QObject {
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 80;
    static constexpr int kLongestIntervalMs = 1000;
    // As much of the answer as the block shows while it is written: as many characters as
    // a finished block shows bytes at most.
    static constexpr qsizetype kShownCharacters = MessageDisplayLimitBytes / 3;

    LiveAnswerView(ChatPage& page, QObject* parent);

    // Shows an empty block with the status line.
    void Begin(const QString& status);
    void SetText(const QString& textSoFar);
    void SetStatus(const QString& status);
    // Puts html in the block's place for good; empty html removes the block.
    void Finish(const QString& html);
    // Forgets the block without touching the page, which no longer holds it.
    void Drop();
    bool Showing() const { return m_showing; }

private:
    void Changed();
    void Render();
    qint64 IntervalMs() const;

    ChatPage& m_page;
    QTimer* m_timer;
    QElapsedTimer m_sinceRender;
    QElapsedTimer m_sinceFirstText;
    LiveMarkdown m_markdown;
    // The answer so far, up to kShownCharacters.
    QString m_text;
    QString m_status;
    // How much of it the page shows; a render with nothing new is skipped.
    qsizetype m_shownSize = 0;
    QString m_shownStatus;
    bool m_showing = false;
};
