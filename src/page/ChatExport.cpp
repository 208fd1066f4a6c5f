#include "page/ChatExport.h"

#include "page/AnswerBlock.h"
#include "store/ChatFile.h"
#include "page/ChatPageTemplate.h"
#include "page/ConversationHtml.h"
#include "page/MessageBlocks.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

namespace {

using namespace Qt::StringLiterals;

QString heading(QStringView who, const QDateTime& time) {
    QString line = u"## "_s;
    line += who;
    if (time.isValid())
        line += u" — "_s + MessageTimestamp(time);
    return line + u"\n\n"_s;
}

QString attachmentLine(const TContentPart& part) {
    return u"- "_s + AttachmentName(part) + u'\n';
}

QString pictureLine(const TContentPart& picture) {
    return u"*Изображение ("_s + picture.MimeType + u")*\n\n"_s;
}

QString userMarkdown(const THistoryItem& item) {
    QString text;
    QString files;
    for (const TContentPart& part : item.Parts) {
        if (part.PartType == TPartType::ptText)
            text += part.Text;
        else
            files += attachmentLine(part);
    }
    QString markdown = heading(u"👤 Пользователь", item.Time) + text.trimmed() + u"\n\n"_s;
    if (!files.isEmpty())
        markdown += u"Прикреплённые файлы:\n\n"_s + files + u'\n';
    // The pictures an image model drew for this request, as the page shows them after it.
    for (const TContentPart& image : item.Images)
        markdown += heading(u"🤖 Gemini (Image)", item.Time) + pictureLine(image);
    if (!item.Failure.isEmpty())
        markdown += u"*Ошибка: запрос не выполнен.*\n\n"_s;
    return markdown;
}

QString linkLine(int number, const QString& uri, const QString& title) {
    return QString::number(number) + u". "_s +
           (uri.isEmpty() ? title : u"["_s + title + u"]("_s + uri + u')') + u'\n';
}

// The same list the page shows under an answer.
QString sourcesMarkdown(const QList<WebSource>& sources, const QList<Citation>& citations) {
    const QList<WebSource> list = AnswerSourceList(sources, citations);
    if (list.isEmpty())
        return {};
    QString markdown = u"Источники:\n\n"_s;
    int number = 0;
    for (const WebSource& source : list)
        markdown += linkLine(++number, source.Uri, source.Title.isEmpty() ? source.Uri : source.Title);
    return markdown + u'\n';
}

// As on the page: thoughts folded first, then every part in order.
QString partsMarkdown(const TContentParts& parts) {
    QString thoughts;
    QString markdown;
    QString text;
    const auto flushText = [&] {
        if (!text.trimmed().isEmpty())
            markdown += text.trimmed() + u"\n\n"_s;
        text.clear();
    };
    for (const TContentPart& part : parts) {
        if (part.PartType == TPartType::ptText) {
            (part.Thought ? thoughts : text) += part.Text;
            continue;
        }
        flushText();
        markdown += part.PartType == TPartType::ptInlineData ? pictureLine(part)
                                                              : ObjectPartMarkdown(part);
    }
    flushText();
    if (thoughts.trimmed().isEmpty())
        return markdown;
    return u"<details><summary>Размышления</summary>\n\n"_s + thoughts.trimmed() +
           u"\n\n</details>\n\n"_s + markdown;
}

QString modelMarkdown(const THistoryItem& item) {
    QString markdown = heading(u"🤖 Gemini", item.Time) + partsMarkdown(item.Parts);
    const QString note = StopNoteText(item.FinishReason);
    if (!note.isEmpty())
        markdown += u"*"_s + note + u"*\n\n"_s;
    return markdown + sourcesMarkdown(item.Sources, item.Citations);
}

// Pictures are inline; anything else an answer names stays where it is.
constexpr QStringView kExportPolicy = u"default-src 'none'; img-src data:; style-src "
                                      u"'unsafe-inline'; base-uri 'none'; form-action 'none'";

} // namespace

ExportFormat ExportFormatOf(const QString& fileName) {
    if (fileName.endsWith(u".html", Qt::CaseInsensitive) ||
        fileName.endsWith(u".htm", Qt::CaseInsensitive))
        return ExportFormat::Html;
    if (fileName.endsWith(u".pdf", Qt::CaseInsensitive))
        return ExportFormat::Pdf;
    return ExportFormat::Markdown;
}

QString ConversationMarkdown(const TChatHistory& history) {
    QString markdown;
    for (const THistoryItem& item : history) {
        if (item.Role == u"user")
            markdown += userMarkdown(item);
        else if (item.Role == u"model")
            markdown += modelMarkdown(item);
    }
    return markdown;
}

QString ConversationHtmlDocument(const TChatHistory& history, const QString& title) {
    QString page = u"<!DOCTYPE html><html lang=\"ru\"><head><meta charset=\"UTF-8\">"_s;
    page += u"<meta http-equiv=\"Content-Security-Policy\" content=\""_s;
    page += kExportPolicy;
    page += u"\"><title>"_s + EscapeHtml(title) + u"</title><style>"_s + ChatPageStyle() +
            u" .copy-btn { display: none; }</style></head><body><div id=\"chat-container\">"_s;
    page += BuildConversationHtml(history);
    page += u"</div></body></html>"_s;
    return page;
}

Expected<TChatHistory> ReadChatForExport(const QString& path) {
    ChatFileContent content;
    const ChatFileLoad load = ReadChatFile(path, content);
    if (!load.Opened())
        return Failure(load.Text);
    return std::move(content.History);
}

Expected<void> WriteExportFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return Failure(file.errorString());
    return {};
}
