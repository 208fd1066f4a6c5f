// The chat page: resetting it, writing its template, appending message blocks,
// scrolling, and showing a whole saved conversation again.
#include "MainWindow.h"

#include "ChatPage.h"
#include "ChatPageTemplate.h"
#include "GeminiDM.h"
#include "MessageBlocks.h"
#include "PromptEdit.h"

#include <QFileInfo>
#include <QListWidget>

namespace {

// What a saved user item lists as its attachments: the file name, or the MIME type
// of a part that has none.
QString attachmentName(const TContentPart& part) {
    return part.FileName.isEmpty() ? part.MimeType : part.FileName;
}

QString userItemHtml(const THistoryItem& item) {
    QString text;
    QStringList files;
    for (const TContentPart& part : item.Parts) {
        if (part.PartType == TPartType::ptText)
            text += part.Text;
        else
            files.append(attachmentName(part));
    }
    return BuildUserMessageHtml(text, files);
}

// Only the first part of a model item is shown: its text, or its image.
QString modelItemHtml(const THistoryItem& item) {
    if (item.Parts.isEmpty())
        return BuildModelMessageHtml(QString());
    const TContentPart& first = item.Parts.first();
    if (first.PartType == TPartType::ptInlineData)
        return BuildImageMessageHtml(first.MimeType, QString::fromLatin1(first.Base64Data));
    return BuildModelMessageHtml(first.Text);
}

} // namespace

void TForm1::ResetChatView() {
    FBaseHtmlLoaded = false;
    FChatPageRebuilt = false;
    FChatPage->ShowBlank();
    memoPrompt->clear();
    lbFiles1->clear();
    ListBox1->clear();
    UpdateFilesLabel();
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

void TForm1::AddModelMessage(const QString& data) {
    AppendHtml(BuildModelMessageHtml(data));
}

void TForm1::AddImageMessage(const QString& MimeType, const QString& Base64Data) {
    AppendHtml(BuildImageMessageHtml(MimeType, Base64Data));
}

void TForm1::RenderHistory() {
    // The whole conversation goes to the page in one step.
    QString blocks;
    for (const THistoryItem& item : GeminiDM->ChatHistory()) {
        if (item.Role == u"user")
            blocks += userItemHtml(item);
        else if (item.Role == u"model")
            blocks += modelItemHtml(item);
    }
    LoadBaseHtml();
    FChatPage->AppendToContainer(blocks);
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
