// The chat page: resetting it, writing its template, appending message blocks,
// scrolling, and showing a whole saved conversation again.
#include "app/MainWindow.h"

#include "app/ChatPage.h"
#include "page/ChatPageTemplate.h"
#include "page/ConversationHtml.h"
#include "page/FailureBlock.h"
#include "chat/GeminiDM.h"
#include "page/MessageBlocks.h"
#include "app/PromptEdit.h"
#include "page/WelcomePage.h"

#include <QFileInfo>
#include <QPointer>

namespace {

// How much of a chat's page goes in at a time: the latest part fills the view at once;
// larger older parts cost the page less in all, smaller ones keep it answering sooner.
constexpr qsizetype kLatestPartChars = 96 * 1024;
constexpr qsizetype kOlderPartChars = 192 * 1024;

} // namespace

void TForm1::ResetChatView() {
    FBaseHtmlLoaded = false;
    FWelcomeShown = false;
    ++FPageRendering;
    FRetryToken.clear();
    FContinueToken.clear();
    FChatPageRebuilt = false;
    FChatPage->ShowBlank();
    memoPrompt->clear();
    SetAttachedFiles({});
}

void TForm1::LoadBaseHtml() {
    if (FBaseHtmlLoaded)
        return;
    FChatPage->WriteDocument(ChatPageTemplate());
    FBaseHtmlLoaded = true;
    FWelcomeShown = false;
}

void TForm1::ShowWelcomePage() {
    FBaseHtmlLoaded = false;
    // A fresh document: one the chat page was written into keeps that page's policy, which
    // refuses the welcome page's own style.
    FChatPage->ShowBlank();
    FChatPage->WriteDocument(WelcomePageHtml());
    FWelcomeShown = true;
}

void TForm1::AppendHtml(const QString& html) {
    // The welcome page stood in for the conversation, which comes back first.
    if (FWelcomeShown)
        RenderHistory();
    else if (!FBaseHtmlLoaded)
        LoadBaseHtml();
    FChatPage->AppendToContainer(html);
    FChatPageRebuilt = false;
}

void TForm1::ScrollChatBy(int pixels) {
    FChatPage->ScrollBy(pixels);
}

void TForm1::ScrollChatToBottom() {
    FChatPage->ScrollToBottom();
}

void TForm1::AddUserMessage(const QString& text, const QStringList& files) {
    QStringList names;
    names.reserve(files.size());
    for (const QString& path : files)
        names.append(QFileInfo(path).fileName());
    AppendHtml(BuildUserMessageHtml(text, names));
}

void TForm1::AddModelMessage(const QString& answer) {
    AppendHtml(BuildModelMessageHtml(answer));
}

void TForm1::AddImageMessage(const QString& MimeType, const QString& Base64Data) {
    AppendHtml(BuildImageMessageHtml(MimeType, Base64Data));
}

void TForm1::AddFailureMessage(const RequestFailure& failure, const QString& retryToken) {
    AppendHtml(BuildFailureMessageHtml(failure, retryToken));
    FChatPage->ScrollToLastBlock();
}

void TForm1::RenderHistory() {
    // A chat opens at its latest messages, shown first; the older ones follow part by part.
    QStringList chunks =
        BuildConversationHtmlChunks(FGeminiDM.ChatHistory(), kLatestPartChars, kOlderPartChars);
    LoadBaseHtml();
    const int rendering = ++FPageRendering;
    if (!chunks.isEmpty())
        FChatPage->AppendToContainer(chunks.takeLast());
    FChatPage->ScrollToBottom();
    ShowOlderChunks(std::move(chunks), rendering);
}

// Each older part goes in once the page has taken the one before, so the page can show
// itself and answer the user between the parts. A reset or another chat stops them.
void TForm1::ShowOlderChunks(QStringList chunks, int rendering) {
    if (chunks.isEmpty())
        return;
    const QPointer<TForm1> form(this);
    FChatPage->Evaluate(QStringLiteral("0"), [form, chunks, rendering](const QVariant&) mutable {
        if (!form || rendering != form->FPageRendering)
            return;
        form->FChatPage->PrependToContainer(chunks.takeLast());
        form->ShowOlderChunks(std::move(chunks), rendering);
    });
}

void TForm1::RebuildChatPage() {
    FBaseHtmlLoaded = false;
    FChatPage->ShowBlank();
    RenderHistory();
}

void TForm1::ChatPageRenderProcessGone() {
    // A conversation whose page dies again as it is shown would only take it down again.
    if (FChatPageRebuilt) {
        SetStatusText(
            QStringLiteral("Страницу чата не удалось показать заново; откройте чат ещё раз."));
        return;
    }
    RebuildChatPage();
    FChatPageRebuilt = true;
    SetStatusText(
        QStringLiteral("Процесс отображения чата завершился аварийно; страница построена заново."));
}

void TForm1::DownButClick() {
    ScrollChatToBottom();
}
