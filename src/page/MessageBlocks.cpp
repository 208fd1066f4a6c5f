#include "page/MessageBlocks.h"

#include "markdown/MarkdownProcessor.h"
#include "page/PictureLink.h"
#include "text/Clock.h"
#include "text/JsonText.h"

#include <QJsonObject>

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>

namespace {

constexpr QStringView kPreOpen = u"<pre>";
constexpr QStringView kPreClose = u"</pre>";
constexpr QStringView kCodeBlockHeaderOpen =
    u"<div class=\"code-block-container\">  <div class=\"code-header\">    ";
constexpr QStringView kCodeBlockHeaderClose =
    u"    <button class=\"copy-btn\" onclick=\"copyCode(this)\">Копировать</button>  </div>";
constexpr QStringView kCodeBlockClose = u"</div>";
constexpr QStringView kCodeClassOpen = u"<code class=\"";
// Longer class names are no language a reader would want in the header.
constexpr qsizetype kMaxLanguageLength = 40;

QString blockHeader(QStringView wrapperClass, QStringView author, const QDateTime& time) {
    QString html;
    html += u"<div class=\"message-wrapper ";
    html += wrapperClass;
    html += u"\">  <div class=\"message-header\">    <strong>";
    html += author;
    html += u"</strong>    <span class=\"timestamp\">";
    html += EscapeHtml(MessageTimestamp(time));
    html += u"</span>  </div>  <div class=\"message-content\">";
    return html;
}

// The prompt box gives LF line ends, pasted text may bring CR LF or CR: each is a break.
QString escapePrompt(QString text) {
    text.replace(u'<', QStringLiteral("&lt;"));
    text.replace(u'>', QStringLiteral("&gt;"));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    text.replace(u'\r', QStringLiteral("<br>"));
    text.replace(u'\n', QStringLiteral("<br>"));
    return text;
}

// The fence's language, which the converter writes as the class of the code element
// right after "<pre>"; "code" when there is none.
QString codeLanguage(QStringView span) {
    QStringView rest = span.sliced(kPreOpen.size());
    if (rest.startsWith(kCodeClassOpen)) {
        rest = rest.sliced(kCodeClassOpen.size());
        const qsizetype end = rest.indexOf(u'"');
        if (end > 0 && end <= kMaxLanguageLength)
            return EscapeHtml(rest.first(end));
    }
    return QStringLiteral("code");
}

// The code units and UTF-8 bytes of the character at i; a surrogate pair is one
// character of four bytes.
struct Utf8Step {
    qsizetype units;
    qint64 bytes;
};

Utf8Step utf8Step(const QString& text, qsizetype i) {
    const char16_t unit = text[i].unicode();
    if (unit < 0x80)
        return {1, 1};
    if (unit < 0x800)
        return {1, 2};
    if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
        return {2, 4};
    return {1, 3};
}

qint64 utf8Size(const QString& text, qsizetype from, qint64 bytes) {
    for (qsizetype i = from; i < text.size();) {
        const Utf8Step step = utf8Step(text, i);
        bytes += step.bytes;
        i += step.units;
    }
    return bytes;
}

// What of a message's text the page shows: the text up to the display limit, and the
// note that tells how much that is.
struct DisplayedText {
    QString text;
    QString note;
};

DisplayedText boundForDisplay(const QString& text) {
    DisplayedText shown;
    // Three bytes per code unit at most: shorter texts are shown whole without counting.
    if (text.size() > MessageDisplayLimitBytes / 3) {
        qsizetype cut = 0;
        qint64 shownBytes = 0;
        while (cut < text.size()) {
            const Utf8Step step = utf8Step(text, cut);
            if (shownBytes + step.bytes > MessageDisplayLimitBytes)
                break;
            shownBytes += step.bytes;
            cut += step.units;
        }
        if (cut < text.size()) {
            const qint64 total = utf8Size(text, cut, shownBytes);
            shown.text = text.first(cut);
            shown.note = QStringLiteral("<p class=\"display-note\">показано %1 из %2 КБ</p>")
                             .arg(shownBytes / 1024)
                             .arg((total + 1023) / 1024);
        }
    }
    if (shown.note.isEmpty())
        shown.text = text;
    // A NUL would end the text early on its way into the page.
    shown.text.replace(QChar(u'\0'), QChar::ReplacementCharacter);
    return shown;
}

struct ImageDescription {
    QString mimeType;
    QString base64Data;
};

// An answer that is a JSON object with a "mime_type" member is an image, as long as
// both members are strings; anything else is shown as text.
std::optional<ImageDescription> imageDescription(const QString& data) {
    if (!QStringView(data).trimmed().startsWith(u'{'))
        return std::nullopt;
    const std::optional<QJsonValue> parsed = ParseJsonText(data.toUtf8());
    if (!parsed || !parsed->isObject())
        return std::nullopt;
    const QJsonObject object = parsed->toObject();
    const QJsonValue mimeType = object.value(QLatin1StringView("mime_type"));
    const QJsonValue base64Data = object.value(QLatin1StringView("base64_data"));
    if (!mimeType.isString() || !base64Data.isString())
        return std::nullopt;
    return ImageDescription{mimeType.toString(), base64Data.toString()};
}

// A fresh converter for every answer, so nothing of one answer (link definitions)
// leaks into the next. A failed conversion shows its message and the raw answer.
// Answers are read as the model writes them (GitHub's Markdown); images from elsewhere
// become links and formulas stay TeX for the page to typeset: the page fetches nothing an
// answer names.
QString convertMarkdown(const QString& data) {
    try {
        return TMarkdownProcessor::CreateForAnswers()->Process(data);
    } catch (const std::exception& error) {
        return QStringLiteral("<h3>Ошибка конвертации Markdown:</h3><pre>") +
               EscapeHtml(QString::fromUtf8(error.what())) + QStringLiteral("</pre><hr>") + data;
    }
}

} // namespace

QString MessageTimestamp(const QDateTime& time) {
    return time.isValid() ? time.toString(QStringLiteral("HH:mm:ss - dd.MM.yyyy")) : QString();
}

QString MessageTimestamp() {
    return MessageTimestamp(Clock::now());
}

QString EscapeHtml(QStringView text) {
    // Most text has nothing to escape (a picture's Base64 never has), and copies at once.
    const auto special = [](QChar c) {
        return c == u'&' || c == u'<' || c == u'>' || c == u'"' || c == u'\'' || c == u'\0';
    };
    if (std::none_of(text.begin(), text.end(), special))
        return text.toString();
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            escaped += u"&amp;";
            break;
        case u'<':
            escaped += u"&lt;";
            break;
        case u'>':
            escaped += u"&gt;";
            break;
        case u'"':
            escaped += u"&quot;";
            break;
        case u'\'':
            escaped += u"&#39;";
            break;
        case u'\0':
            escaped += QChar::ReplacementCharacter;
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString BuildUserMessageHtml(const QString& text, const QStringList& files, const QDateTime& time) {
    const DisplayedText shown = boundForDisplay(text);
    QString html = blockHeader(u"user-message", u"👤 Пользователь", time);
    html += u"    <p>";
    html += escapePrompt(shown.text);
    html += u"</p>";
    html += shown.note;
    if (!files.isEmpty()) {
        html += u"<div class=\"attachments\"><strong>Прикрепленные файлы:</strong><ul>";
        for (const QString& name : files) {
            html += u"<li>";
            html += EscapeHtml(name);
            html += u"</li>";
        }
        html += u"</ul></div>";
    }
    html += u"  </div></div>";
    return html;
}

namespace {

// The block of a model answer; foot goes at the end of its content.
QString modelBlock(const QString& data, const QString& foot, const QDateTime& time) {
    if (const std::optional<ImageDescription> image = imageDescription(data))
        return BuildImageMessageHtml(image->mimeType, image->base64Data, time);
    return BuildModelBlockHtml(BuildShownAnswerHtml(data) + foot, time);
}

} // namespace

QString BuildShownAnswerHtml(const QString& markdown) {
    const DisplayedText shown = boundForDisplay(markdown);
    return BuildAnswerHtml(shown.text) + shown.note;
}

QString BuildModelBlockHtml(const QString& contentHtml, const QDateTime& time) {
    return blockHeader(u"model-message", u"🤖 Gemini", time) + contentHtml +
           QStringLiteral("</div></div>");
}

QString BuildModelMessageHtml(const QString& data, const QDateTime& time) {
    return modelBlock(data, QString(), time);
}

QString BuildAnswerHtml(const QString& markdown) {
    return WrapCodeBlocks(convertMarkdown(markdown));
}

QString BuildLiveModelMessageHtml(const QString& status) {
    return modelBlock(QString(),
                      QStringLiteral("<div class=\"live-settled\"></div><div "
                                     "class=\"live-tail\"></div><p class=\"live-status\">") +
                          EscapeHtml(status) + QStringLiteral("</p>"),
                      Clock::now());
}

QString BuildStoppedMarkHtml() {
    return QStringLiteral("<p class=\"stopped-mark\">(остановлено)</p>");
}

QString BuildImageMessageHtml(const QString& MimeType, const QString& Base64Data,
                              const QDateTime& time, QStringView pictureToken) {
    return blockHeader(u"model-message", u"🤖 Gemini (Image)", time) + QStringLiteral("    ") +
           PictureHtml(MimeType, Base64Data, pictureToken) + QStringLiteral("  </div></div>");
}

QString WrapCodeBlocks(const QString& html) {
    QString wrapped;
    wrapped.reserve(html.size());
    qsizetype done = 0;
    for (qsizetype start = html.indexOf(kPreOpen); start >= 0;
         start = html.indexOf(kPreOpen, done)) {
        const qsizetype close = html.indexOf(kPreClose, start);
        if (close < 0)
            break;
        const qsizetype end = close + kPreClose.size();
        const QStringView span = QStringView(html).sliced(start, end - start);
        wrapped += QStringView(html).sliced(done, start - done);
        wrapped += kCodeBlockHeaderOpen;
        wrapped += codeLanguage(span);
        wrapped += kCodeBlockHeaderClose;
        wrapped += span;
        wrapped += kCodeBlockClose;
        done = end;
    }
    wrapped += QStringView(html).sliced(done);
    return wrapped;
}
