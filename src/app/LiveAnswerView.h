#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class ChatPage;
class QTimer;

// The block of an answer that is still being written. Each change converts the text so
// far and replaces that block alone, at most once every kIntervalMs: the first change
// shows at once, later ones wait out the rest of the interval and go together.
class LiveAnswerView : public QObject {
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 80;

    LiveAnswerView(ChatPage& page, QObject* parent);

    // Shows an empty block with the status line.
    void Begin(const QString& status);
    void SetText(const QString& textSoFar);
    void SetStatus(const QString& status);
    // Puts html in the block's place for good; empty html removes the block.
    void Finish(const QString& html);
    bool Showing() const { return m_showing; }

private:
    void Changed();
    void Render();

    ChatPage& m_page;
    QTimer* m_timer;
    QElapsedTimer m_sinceRender;
    QString m_text;
    QString m_status;
    bool m_showing = false;
};
