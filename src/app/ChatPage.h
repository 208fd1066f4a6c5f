#pragma once

#include "page/MessageActionBar.h"

#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>

class QWebEngineLoadingInfo;
class QWebEngineView;

// Drives the chat page in the web view. Scripts run in the order they are asked for;
// while the view is loading a page they wait and then go to the loaded page together,
// so callers never wait for the view themselves.
class ChatPage : public QObject {
    Q_OBJECT

public:
    using ResultHandler = std::function<void(const QVariant&)>;

    // Gives the view a page that stays on the program's document; links open in the
    // user's browser.
    explicit ChatPage(QWebEngineView* view);

    // An empty page in place of whatever is shown.
    void ShowBlank();
    // Writes a whole document into the page, replacing what it shows.
    void WriteDocument(const QString& html);
    // Adds html after the chat container's content; nothing when there is no container.
    void AppendToContainer(const QString& html);
    // Puts html before the chat container's content.
    void PrependToContainer(const QString& html);
    // Failure blocks and answers lose their "Повторить" and "Продолжить" links once one
    // has been used.
    void RemoveRetryLinks();
    // The block of an answer still being written: put in place of the one shown before, or
    // added after the content when there is none. The view follows it down unless the user
    // has scrolled up.
    void ShowLiveBlock(const QString& html);
    // Adds settledHtml to the live block's finished part, puts tailHtml in place of its
    // tail and shows status: only what changed travels to the page.
    void UpdateLiveBlock(const QString& settledHtml, const QString& tailHtml,
                         const QString& status);
    void SetLiveStatus(const QString& status);
    // Puts html in place of the live block for good (empty html removes it); the blocks
    // are then exactly what AppendToContainer would have made of html.
    void EndLiveBlock(const QString& html);
    void ScrollBy(int pixels);
    void ScrollToBottom();
    // Brings the container's last block wholly into view, its end at the bottom.
    void ScrollToLastBlock();

    // The token of the page's message action links (MessageActionBar.h) and picture save
    // links (PictureLink.h).
    const QString& ActionToken() const { return m_actionToken; }
    // Takes the blocks of the messages first to first + count - 1 off the page; the
    // messages after them move up by count. A message's blocks are the one with its action
    // bar and the blocks after it up to the next message's.
    void RemoveMessages(qsizetype first, qsizetype count);
    // The answer at index shows "Ответить заново"; -1 for none.
    void MarkLastAnswer(qsizetype index);
    // The question at index is shown as the one being edited; -1 for none.
    void MarkEditedQuestion(qsizetype index);

    // Runs a script after everything asked for before it and hands over its result.
    void Evaluate(const QString& script, ResultHandler done);

Q_SIGNALS:
    // The page's render process has died; the view shows nothing until a page is written
    // again.
    void RenderProcessGone();
    // The view has replaced the chat's document by an empty page the program did not ask
    // for.
    void DocumentReplaced();
    // The user clicked the "Повторить" link of a failure block that carries this token.
    void RetryRequested(const QString& token);
    void ContinueRequested(const QString& token);
    // The user chose an action of the message at index.
    void MessageActionRequested(MessageAction action, qsizetype index);
    // The user clicked the save link of the picture with this key.
    void PictureSaveRequested(const QString& key);

private:
    struct Pending {
        QString script;
        ResultHandler done;
    };

    void Run(const QString& script, ResultHandler done = {});
    void InsertIntoContainer(const QString& html, bool atStart);
    void ReplaceLiveBlock(const QString& html, bool keepLive);
    void MarkMessage(const QString& mark, qsizetype index);
    void Send(const Pending& pending);
    void LoadingChanged(const QWebEngineLoadingInfo& info);
    void LoadFinished();

    QWebEngineView* m_view;
    const QString m_actionToken;
    bool m_hasPage = false;
    bool m_loading = false;
    // An empty page has been asked for and has not loaded yet.
    bool m_blankAskedFor = false;
    // Held back while a page loads and sent in order once it has; consecutive scripts
    // without a result handler are joined into one.
    QList<Pending> m_held;
};
