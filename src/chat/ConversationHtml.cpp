#include "ConversationHtml.h"

#include "MessageBlocks.h"

#include <QStringList>

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
    QString html = BuildUserMessageHtml(text, files);
    // The pictures an image model drew for this request follow it, as when they came.
    for (const TContentPart& image : item.Images)
        html += BuildImageMessageHtml(image.MimeType, QString::fromLatin1(image.Base64Data));
    return html;
}

// Only the first part of a model item is shown: its text, or its image.
QString modelItemHtml(const THistoryItem& item) {
    if (item.Parts.isEmpty())
        return BuildModelMessageHtml(QString());
    const TContentPart& first = item.Parts.first();
    if (first.PartType == TPartType::ptInlineData)
        return BuildImageMessageHtml(first.MimeType, QString::fromLatin1(first.Base64Data));
    return BuildModelMessageHtml(first.Text) + BuildSourcesHtml(item.Sources);
}

} // namespace

QString BuildConversationHtml(const TChatHistory& history) {
    QString blocks;
    for (const THistoryItem& item : history) {
        if (item.Role == u"user")
            blocks += userItemHtml(item);
        else if (item.Role == u"model")
            blocks += modelItemHtml(item);
    }
    return blocks;
}
