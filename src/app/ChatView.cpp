// The chat page: resetting it, writing its template, appending message blocks,
// scrolling, and showing a whole saved conversation again.
#include "app/ChatView.h"

#include "app/ChatPage.h"
#include "app/Controls.h"
#include "app/LiveAnswerView.h"
#include "chat/GeminiDM.h"
#include "page/ChatPageTemplate.h"
#include "page/ConversationHtml.h"
#include "page/FailureBlock.h"
#include "page/MessageBlocks.h"
#include "page/WelcomePage.h"

#include <QChildEvent>
#include <QFileInfo>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

// How much of a chat's page goes in at a time: the latest part fills the view at once;
// larger older parts cost the page less in all, smaller ones keep it answering sooner.
constexpr qsizetype kLatestPartChars = 96 * 1024;
constexpr qsizetype kOlderPartChars = 192 * 1024;
// The button that goes to the end of the chat, in the page's lower right corner; the page
// counts as at its end this close to it.
constexpr int kDownButtonSize = 30;
constexpr int kDownButtonMargin = 22;
constexpr qreal kAtEndPixels = 40;

} // namespace

ChatView::ChatView(const TGeminiDM& conversation, QWidget* parent)
    : QWidget(parent), m_conversation(conversation) {
    setObjectName(QStringLiteral("Panel1"));
    paintWhite(this);
    WebBrowser1 = new QWebEngineView(this);
    WebBrowser1->setAccessibleName(QStringLiteral("Чат"));
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    m_page = new ChatPage(WebBrowser1);
    m_liveView = new LiveAnswerView(*m_page, this);
    connect(m_page, &ChatPage::RenderProcessGone, this, &ChatView::ChatPageRenderProcessGone);
    connect(m_page, &ChatPage::DocumentReplaced, this, &ChatView::RebuildChatPage);
    connect(m_page, &ChatPage::RetryRequested, this, &ChatView::RetryRequested);
    connect(m_page, &ChatPage::ContinueRequested, this, &ChatView::ContinueRequested);
    connect(m_page, &ChatPage::MessageActionRequested, this, &ChatView::MessageActionRequested);
    connect(m_page, &ChatPage::PictureSaveRequested, this, &ChatView::PictureSaveRequested);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(WebBrowser1);
    // The engine makes the widget that takes the view's keys when a page first shows, and
    // again after its render process died.
    WebBrowser1->installEventFilter(this);

    DownBut = button("DownBut", QString::fromUtf16(u"\U0001F447"), this);
    DownBut->setAccessibleName(QStringLiteral("К концу чата"));
    DownBut->setToolTip(QStringLiteral("К концу чата"));
    DownBut->setFixedSize(kDownButtonSize, kDownButtonSize);
    DownBut->hide();
    connect(DownBut, &QPushButton::clicked, this, &ChatView::ScrollChatToBottom);
    connect(WebBrowser1->page(), &QWebEnginePage::scrollPositionChanged, this,
            &ChatView::ShowDownButton);
    connect(WebBrowser1->page(), &QWebEnginePage::contentsSizeChanged, this,
            &ChatView::ShowDownButton);
}

void ChatView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    DownBut->move(width() - DownBut->width() - kDownButtonMargin,
                  height() - DownBut->height() - kDownButtonMargin);
    ShowDownButton();
}

void ChatView::ShowDownButton() {
    const QWebEnginePage* page = WebBrowser1->page();
    const qreal end = page->contentsSize().height() - page->scrollPosition().y() -
                      WebBrowser1->height() / WebBrowser1->zoomFactor();
    DownBut->setVisible(end > kAtEndPixels);
    DownBut->raise();
}

bool ChatView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == WebBrowser1 && event->type() == QEvent::ChildAdded &&
        static_cast<QChildEvent*>(event)->child()->isWidgetType())
        QMetaObject::invokeMethod(this, &ChatView::PageWidgetChanged, Qt::QueuedConnection);
    return QWidget::eventFilter(watched, event);
}

void ChatView::Clear() {
    m_liveView->Drop();
    m_baseHtmlLoaded = false;
    m_welcomeShown = false;
    ++m_pageRendering;
    m_chatPageRebuilt = false;
    m_page->ShowBlank();
}

void ChatView::LoadBaseHtml() {
    if (m_baseHtmlLoaded)
        return;
    m_page->WriteDocument(ChatPageTemplate());
    m_baseHtmlLoaded = true;
    m_welcomeShown = false;
}

void ChatView::ShowWelcomePage() {
    m_baseHtmlLoaded = false;
    // A fresh document: one the chat page was written into keeps that page's policy, which
    // refuses the welcome page's own style.
    m_page->ShowBlank();
    m_page->WriteDocument(WelcomePageHtml());
    m_welcomeShown = true;
}

void ChatView::AppendHtml(const QString& html) {
    // The welcome page stood in for the conversation, which comes back first.
    if (m_welcomeShown)
        RenderHistory();
    else if (!m_baseHtmlLoaded)
        LoadBaseHtml();
    m_page->AppendToContainer(html);
    m_chatPageRebuilt = false;
}

void ChatView::ScrollChatBy(int pixels) {
    m_page->ScrollBy(pixels);
}

void ChatView::ScrollChatToBottom() {
    m_page->ScrollToBottom();
}

void ChatView::AddUserMessage(const QString& text, const QStringList& files) {
    QStringList names;
    names.reserve(files.size());
    for (const QString& path : files)
        names.append(QFileInfo(path).fileName());
    const qsizetype index = m_conversation.ChatHistory().size();
    AppendHtml(
        WithMessageActions(BuildUserMessageHtml(text, names), m_page->ActionToken(), index, true));
    // An answer followed by a question is no longer the one a new answer replaces.
    m_page->MarkLastAnswer(-1);
}

QString ChatView::WithActions(const QString& html, qsizetype index) const {
    const TChatHistory& history = m_conversation.ChatHistory();
    if (index < 0 || index >= history.size())
        return html;
    return WithMessageActions(html, m_page->ActionToken(), index, history[index].Role == u"user");
}

void ChatView::RemoveMessages(const MessageRange& range) {
    m_page->RemoveMessages(range.First, range.Count);
    ShowLastAnswer();
}

void ChatView::ShowLastAnswer() {
    m_page->MarkLastAnswer(LastAnswerIndex(m_conversation.ChatHistory()));
}

void ChatView::AddModelMessage(const QString& answer) {
    AppendHtml(BuildModelMessageHtml(answer));
}

void ChatView::AddImageMessage(const QString& MimeType, const QString& Base64Data) {
    AppendHtml(BuildImageMessageHtml(MimeType, Base64Data, Clock::now(), m_page->ActionToken()));
}

void ChatView::AddFailureMessage(const RequestFailure& failure, const QString& retryToken) {
    AppendHtml(BuildFailureMessageHtml(failure, retryToken));
    m_page->ScrollToLastBlock();
}

void ChatView::RenderHistory() {
    // A chat opens at its latest messages, shown first; the older ones follow part by part.
    QStringList chunks = BuildConversationHtmlChunks(m_conversation.ChatHistory(), kLatestPartChars,
                                                     kOlderPartChars, m_page->ActionToken());
    LoadBaseHtml();
    const int rendering = ++m_pageRendering;
    if (!chunks.isEmpty())
        m_page->AppendToContainer(chunks.takeLast());
    ShowLastAnswer();
    m_page->ScrollToBottom();
    ShowOlderChunks(std::move(chunks), rendering);
}

// Each older part goes in once the page has taken the one before, so the page can show
// itself and answer the user between the parts. A reset or another chat stops them.
void ChatView::ShowOlderChunks(QStringList chunks, int rendering) {
    if (chunks.isEmpty())
        return;
    const QPointer<ChatView> form(this);
    m_page->Evaluate(QStringLiteral("0"), [form, chunks, rendering](const QVariant&) mutable {
        if (!form || rendering != form->m_pageRendering)
            return;
        form->m_page->PrependToContainer(chunks.takeLast());
        form->ShowOlderChunks(std::move(chunks), rendering);
    });
}

void ChatView::RebuildChatPage() {
    m_baseHtmlLoaded = false;
    m_page->ShowBlank();
    RenderHistory();
}

void ChatView::ChatPageRenderProcessGone() {
    // A conversation whose page dies again as it is shown would only take it down again.
    if (m_chatPageRebuilt) {
        Q_EMIT StatusMessage(
            QStringLiteral("Страницу чата не удалось показать заново; откройте чат ещё раз."));
        return;
    }
    RebuildChatPage();
    m_chatPageRebuilt = true;
    Q_EMIT StatusMessage(
        QStringLiteral("Процесс отображения чата завершился аварийно; страница построена заново."));
}

void ChatView::ShowAddress(const QUrl& address) {
    m_baseHtmlLoaded = false;
    m_welcomeShown = false;
    WebBrowser1->setUrl(address);
}

QUrl ChatView::Address() const {
    return WebBrowser1->url();
}
