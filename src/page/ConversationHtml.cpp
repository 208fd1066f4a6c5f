#include "page/ConversationHtml.h"

#include "page/AnswerBlock.h"
#include "page/FailureBlock.h"
#include "page/MessageActionBar.h"
#include "page/MessageBlocks.h"

#include <QStringList>

#include <algorithm>

namespace {

QString userItemHtml(const THistoryItem& item, QStringView token) {
    QString text;
    QStringList files;
    for (const TContentPart& part : item.Parts) {
        if (part.PartType == TPartType::ptText)
            text += part.Text;
        else
            files.append(AttachmentName(part));
    }
    QString html = BuildUserMessageHtml(text, files, item.Time);
    // The pictures an image model drew for this request follow it, as when they came.
    for (const TContentPart& image : item.Images)
        html += BuildImageMessageHtml(image.MimeType, QString::fromLatin1(image.Base64Data),
                                      item.Time, token);
    // A request that failed shows why, as when it failed.
    if (!item.Failure.isEmpty())
        html += BuildFailureMessageHtml({item.Failure}, {}, item.Time);
    return html;
}

// The block of one item; empty for a role the page does not show. The token makes large
// pictures links that save them.
QString itemHtml(const THistoryItem& item, QStringView token = {}) {
    if (item.Role == u"user")
        return userItemHtml(item, token);
    if (item.Role == u"model")
        return BuildModelItemHtml(item, {}, token);
    return {};
}

// The same with the item's action bar when there is a token.
QString itemHtml(const THistoryItem& item, qsizetype index, QStringView actionToken) {
    const QString html = itemHtml(item, actionToken);
    if (actionToken.isEmpty())
        return html;
    return WithMessageActions(html, actionToken, index, item.Role == u"user");
}

} // namespace

QString AttachmentName(const TContentPart& part) {
    return part.FileName.isEmpty() ? part.MimeType : part.FileName;
}

QString BuildConversationHtml(const TChatHistory& history) {
    QString blocks;
    for (const THistoryItem& item : history)
        blocks += itemHtml(item);
    return blocks;
}

QStringList BuildConversationHtmlChunks(const TChatHistory& history, qsizetype latestChars,
                                        qsizetype olderChars, QStringView actionToken) {
    // Gathered from the newest message back, so the latest part is full.
    QStringList newestFirst;
    QStringList pending;
    qsizetype pendingChars = 0;
    for (qsizetype index = history.size() - 1; index >= 0; --index) {
        QString block = itemHtml(history[index], index, actionToken);
        if (block.isEmpty())
            continue;
        const qsizetype limit = newestFirst.isEmpty() ? latestChars : olderChars;
        if (pendingChars > 0 && pendingChars + block.size() > limit) {
            std::reverse(pending.begin(), pending.end());
            newestFirst.append(pending.join(QString()));
            pending.clear();
            pendingChars = 0;
        }
        pendingChars += block.size();
        pending.append(std::move(block));
    }
    if (!pending.isEmpty()) {
        std::reverse(pending.begin(), pending.end());
        newestFirst.append(pending.join(QString()));
    }
    std::reverse(newestFirst.begin(), newestFirst.end());
    return newestFirst;
}
