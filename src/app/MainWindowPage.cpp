// The chat page: resetting it, writing its template, appending message blocks,
// scrolling, and showing a whole saved conversation again.
#include "MainWindow.h"

#include "ChatPage.h"
#include "ChatPageTemplate.h"
#include "ConversationHtml.h"
#include "FailureBlock.h"
#include "GeminiDM.h"
#include "MessageBlocks.h"
#include "PromptEdit.h"

#include <QFileInfo>

void TForm1::ResetChatView() {
    FBaseHtmlLoaded = false;
    FRetryToken.clear();
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
}

void TForm1::AppendHtml(const QString& html) {
    if (!FBaseHtmlLoaded)
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

void TForm1::AddFailureMessage(const RequestOutcome& outcome, const QString& retryToken) {
    AppendHtml(BuildFailureMessageHtml(outcome, retryToken));
}

void TForm1::RenderHistory() {
    // The whole conversation goes to the page in one step, and opens at its latest message.
    const QString blocks = BuildConversationHtml(GeminiDM->ChatHistory());
    LoadBaseHtml();
    FChatPage->AppendToContainer(blocks);
    FChatPage->ScrollToBottom();
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
