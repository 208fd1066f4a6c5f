#include "page/ChatExport.h"

#include "page/AnswerBlock.h"
#include "store/ChatFile.h"
#include "page/ChatPageTemplate.h"
#include "page/ConversationHtml.h"
#include "page/MessageBlocks.h"
#include "text/WholeFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <array>

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

// Pictures and fonts are inline; anything else an answer names stays where it is. KaTeX
// places what it draws with style attributes.
constexpr QStringView kExportPolicy = u"default-src 'none'; img-src data:; font-src data:; "
                                      u"style-src 'unsafe-inline'; base-uri 'none'; "
                                      u"form-action 'none'";

// The program's own stylesheets (qrc:/page/), which every build holds.
QString pageAsset(const QString& path) {
    QFile file(u":/page/"_s + path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The PDF is printed from the typesetting page, and a print draws nothing for colour
// emoji it makes bold or slanted itself (the marks of the block headers are bold), so that
// page uses only the faces there are.
constexpr QStringView kPrintStyle = u" body { font-synthesis: none; }";

// The export's look: the page's, without copy buttons (nothing to run them), and the
// colours of highlighted code for a light and a dark desktop, as on the page.
QString exportStyle(bool withKatex) {
    QString style = ChatPageStyle() + u" .copy-btn { display: none; } "_s;
    if (withKatex)
        style += pageAsset(u"katex/katex.css"_s);
    style += u"@media (prefers-color-scheme: light) { "_s + pageAsset(u"highlight/light.css"_s) +
             u" } @media (prefers-color-scheme: dark) { "_s + pageAsset(u"highlight/dark.css"_s) +
             u" } "_s + pageAsset(u"typeset.css"_s);
    return style;
}

QString documentHead(const QString& title, const QString& policy, const QString& style) {
    return u"<!DOCTYPE html><html lang=\"ru\"><head><meta charset=\"UTF-8\">"
           u"<meta http-equiv=\"Content-Security-Policy\" content=\""_s +
           policy + u"\"><title>"_s + EscapeHtml(title) + u"</title><style>"_s + style +
           u"</style>"_s;
}

QString scriptHash(const QString& source) {
    const QByteArray digest =
        QCryptographicHash::hash(source.toUtf8(), QCryptographicHash::Sha256).toBase64();
    return u"'sha256-"_s + QString::fromLatin1(digest) + u'\'';
}

// Everything at once, the page being hidden; the console line waits for the fonts, which
// load only once laid-out text needs them, so that a print shows them.
QString typesetAllScript(const QString& doneMessage) {
    return TypesetBlocksScript() +
           u" window.addEventListener('load', function () { try { "
           u"typesetBlocks(document.getElementById('chat-container')); } finally { "
           u"void document.body.offsetHeight; document.fonts.ready.then(function () { "
           u"console.log('"_s +
           doneMessage + u"'); }); } });"_s;
}

// Elements that act as soon as a browser opens the file and that the policy does not stop
// (a refresh, a preconnect), or that have no business in an answer: a base address, a
// form, a script, another document in a frame or an object.
constexpr std::array<QStringView, 9> kDroppedElements{
    u"meta", u"base", u"link", u"form", u"script", u"iframe", u"frame", u"object", u"embed"};

constexpr qsizetype kLongestDroppedName = 6;

bool isHtmlSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r';
}

// Where the HTML tokenizer ends a tag name.
bool endsTagName(QChar c) {
    return isHtmlSpace(c) || c == u'/' || c == u'>';
}

bool isAsciiLetter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isDroppedName(QStringView name) {
    return std::any_of(
        kDroppedElements.begin(), kDroppedElements.end(),
        [name](QStringView dropped) { return name.compare(dropped, Qt::CaseInsensitive) == 0; });
}

// Just past the tag whose name ends at from: the first ">" outside a quoted attribute value.
// Where it errs, it takes in more than the browser would, which only drops some text.
qsizetype tagEnd(QStringView html, qsizetype from) {
    qsizetype p = from;
    while (p < html.size()) {
        const QChar c = html[p++];
        if (c == u'>')
            return p;
        if (c != u'=')
            continue;
        while (p < html.size() && isHtmlSpace(html[p]))
            ++p;
        if (p < html.size() && (html[p] == u'"' || html[p] == u'\'')) {
            const qsizetype close = html.indexOf(html[p], p + 1);
            if (close < 0)
                return html.size();
            p = close + 1;
        }
    }
    return html.size();
}

// A "<" and letters left at the end of what is kept could run on into the text after a
// dropped tag and name a new tag: such a "<" is made text.
void closeOpenTagName(QString& kept) {
    const qsizetype tail = qMin(kept.size(), kLongestDroppedName + 1);
    const qsizetype open = QStringView(kept).last(tail).lastIndexOf(u'<');
    if (open < 0)
        return;
    const qsizetype at = kept.size() - tail + open;
    if (std::all_of(kept.cbegin() + at + 1, kept.cend(), isAsciiLetter))
        kept.replace(at, 1, u"&lt;"_s);
}

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

QString WithoutActiveElements(QStringView html) {
    QString kept;
    kept.reserve(html.size());
    qsizetype copied = 0;
    for (qsizetype open = html.indexOf(u'<'); open >= 0;) {
        // A start or an end tag; a name longer than any dropped one is not read to its end.
        qsizetype name = open + 1;
        if (name < html.size() && html[name] == u'/')
            ++name;
        qsizetype nameEnd = name;
        while (nameEnd < html.size() && nameEnd - name <= kLongestDroppedName &&
               !endsTagName(html[nameEnd]))
            ++nameEnd;
        if (!isDroppedName(html.sliced(name, nameEnd - name))) {
            open = html.indexOf(u'<', open + 1);
            continue;
        }
        kept += html.sliced(copied, open - copied);
        closeOpenTagName(kept);
        copied = tagEnd(html, nameEnd);
        open = html.indexOf(u'<', copied);
    }
    kept += html.sliced(copied);
    return kept;
}

QString ExportHtmlDocument(const QString& title, QStringView blocks) {
    const QString kept = WithoutActiveElements(blocks);
    QString page = documentHead(title, kExportPolicy.toString(),
                                exportStyle(kept.contains(u"class=\"katex"_s)));
    page += u"</head><body><div id=\"chat-container\">"_s + kept + u"</div></body></html>"_s;
    return page;
}

// The answers' own markup cannot run: only the typesetting script and the program's files
// may, and pictures come only from inside the document, so typesetting contacts no host.
QString ConversationTypesettingPage(const TChatHistory& history, const QString& title,
                                    const QString& doneMessage) {
    const QString script = typesetAllScript(doneMessage);
    const QString policy = u"default-src 'none'; script-src "_s + scriptHash(script) +
                           u" qrc:; img-src data:; font-src data:; style-src 'unsafe-inline'; "
                           u"base-uri 'none'; form-action 'none'"_s;
    QString page = documentHead(title, policy, exportStyle(true) + kPrintStyle.toString());
    page += u"<script src=\"qrc:/page/katex/katex.min.js\"></script>"
            u"<script src=\"qrc:/page/highlight/highlight.min.js\"></script><script>"_s +
            script + u"</script></head><body><div id=\"chat-container\">"_s +
            WithoutActiveElements(BuildConversationHtml(history)) + u"</div></body></html>"_s;
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
    return WriteWholeFile(path, bytes);
}
