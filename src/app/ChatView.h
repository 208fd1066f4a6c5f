#pragma once

#include "page/MessageActionBar.h"
#include "service/RequestTypes.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>

class ChatPage;
class LiveAnswerView;
class QPushButton;
class QWebEngineView;
class TGeminiDM;

// The conversation shown in the web view: the page's template, message blocks appended as
// they come, a saved chat shown again part by part, the welcome page, and the page rebuilt
// when its render process dies. The answer being written shows through LiveView().
class ChatView : public QWidget {
    Q_OBJECT

public:
    ChatView(const TGeminiDM& conversation, QWidget* parent);

    // An empty page; the template is written with the first block.
    void Clear();
    void LoadBaseHtml();
    void AppendHtml(const QString& html);
    void ScrollChatBy(int pixels);
    void ScrollChatToBottom();
    // The question the conversation is about to record, with its action bar.
    void AddUserMessage(const QString& text, const QStringList& files);
    // The blocks of the conversation's message at index with its action bar.
    QString WithActions(const QString& html, qsizetype index) const;
    // Takes the messages of a range off the page and shows which answer is now the last.
    void RemoveMessages(const MessageRange& range);
    // "Ответить заново" on the conversation's last answer, if it ends with one.
    void ShowLastAnswer();
    void AddModelMessage(const QString& answer);
    void AddImageMessage(const QString& MimeType, const QString& Base64Data);
    // A failed request as a failure block; with a token, the block can send it again.
    void AddFailureMessage(const RequestFailure& failure, const QString& retryToken = {});
    // The whole conversation, its latest messages first.
    void RenderHistory();
    // Stands in for the chat while no key is chosen: how to get one and how to send.
    void ShowWelcomePage();
    bool WelcomePageShown() const { return m_welcomeShown; }
    // A page of its own in place of the chat (the key help page), and the address shown.
    void ShowAddress(const QUrl& address);
    QUrl Address() const;
    // The conversation shown again on a new page, after the page's document was lost.
    void RebuildChatPage();

    ChatPage& Page() { return *m_page; }
    LiveAnswerView& LiveView() { return *m_liveView; }

Q_SIGNALS:
    // The "Повторить" and "Продолжить" links of the page.
    void RetryRequested(const QString& token);
    void ContinueRequested(const QString& token);
    void MessageActionRequested(MessageAction action, qsizetype index);
    void PictureSaveRequested(const QString& key);
    // The web view has a new widget of its own, which takes its place in the focus chain.
    void PageWidgetChanged();
    void StatusMessage(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The older parts of a chat being opened, added before what the page shows.
    void ShowOlderChunks(QStringList chunks, int rendering);
    // Rebuilds the page and says so, unless it died again before anything new was shown.
    void ChatPageRenderProcessGone();
    // DownBut floats over the page's lower corner while the page is not at its end.
    void ShowDownButton();

    const TGeminiDM& m_conversation;
    QWebEngineView* WebBrowser1 = nullptr;
    QPushButton* DownBut = nullptr;
    ChatPage* m_page = nullptr;
    LiveAnswerView* m_liveView = nullptr;
    bool m_baseHtmlLoaded = false;
    bool m_welcomeShown = false;
    // Counts the chats shown on the page; older parts of an earlier one are dropped.
    int m_pageRendering = 0;
    // Rebuilt after a render process death and nothing appended since.
    bool m_chatPageRebuilt = false;
};
