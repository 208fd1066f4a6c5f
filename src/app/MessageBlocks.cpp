#include "MessageBlocks.h"

#include "Clock.h"
#include "JsonText.h"
#include "MarkdownProcessor.h"

#include <QJsonObject>

#include <exception>
#include <memory>
#include <optional>

namespace {

constexpr QStringView kPreOpen = u"<pre>";
constexpr QStringView kPreClose = u"</pre>";
constexpr QStringView kCodeBlockOpen =
    u"<div class=\"code-block-container\">  <div class=\"code-header\">    code    <button "
    u"class=\"copy-btn\" onclick=\"copyCode(this)\">Копировать</button>  </div>";
constexpr QStringView kCodeBlockClose = u"</div>";

QString blockHeader(QStringView wrapperClass, QStringView author) {
    QString html;
    html += u"<div class=\"message-wrapper ";
    html += wrapperClass;
    html += u"\">  <div class=\"message-header\">    <strong>";
    html += author;
    html += u"</strong>    <span class=\"timestamp\">";
    html += MessageTimestamp();
    html += u"</span>  </div>  <div class=\"message-content\">";
    return html;
}

QString escapePrompt(QString text) {
    text.replace(u'<', QStringLiteral("&lt;"));
    text.replace(u'>', QStringLiteral("&gt;"));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    return text;
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
QString convertMarkdown(const QString& data) {
    try {
        const std::unique_ptr<TMarkdownProcessor> converter =
            TMarkdownProcessor::CreateDialect(mdRich);
        return converter->Process(data);
    } catch (const std::exception& error) {
        return QStringLiteral("<h3>Ошибка конвертации Markdown:</h3><pre>") +
               QString::fromUtf8(error.what()) + QStringLiteral("</pre><hr>") + data;
    }
}

} // namespace

QString MessageTimestamp() {
    return Clock::now().toString(QStringLiteral("HH:mm:ss - dd.MM.yyyy"));
}

QString BuildUserMessageHtml(const QString& text, const QStringList& files) {
    QString html = blockHeader(u"user-message", u"👤 Пользователь");
    html += u"    <p>";
    html += escapePrompt(text);
    html += u"</p>";
    if (!files.isEmpty()) {
        html += u"<div class=\"attachments\"><strong>Прикрепленные файлы:</strong><ul>";
        for (const QString& name : files) {
            html += u"<li>";
            html += name;
            html += u"</li>";
        }
        html += u"</ul></div>";
    }
    html += u"  </div></div>";
    return html;
}

QString BuildModelMessageHtml(const QString& data) {
    if (const std::optional<ImageDescription> image = imageDescription(data))
        return BuildImageMessageHtml(image->mimeType, image->base64Data);
    QString html = blockHeader(u"model-message", u"🤖 Gemini");
    html += WrapCodeBlocks(convertMarkdown(data));
    html += u"</div></div>";
    return html;
}

QString BuildImageMessageHtml(const QString& MimeType, const QString& Base64Data) {
    QString html = blockHeader(u"model-message", u"🤖 Gemini (Image)");
    html.reserve(html.size() + Base64Data.size() + MimeType.size() + 160);
    html += u"    <img src=\"data:";
    html += MimeType;
    html += u";base64,";
    html += Base64Data;
    html += u"\" alt=\"Generated Image\" style=\"max-width:100%; height:auto; border-radius: "
            u"8px;\">  </div></div>";
    return html;
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
        wrapped += QStringView(html).sliced(done, start - done);
        wrapped += kCodeBlockOpen;
        wrapped += QStringView(html).sliced(start, end - start);
        wrapped += kCodeBlockClose;
        done = end;
    }
    wrapped += QStringView(html).sliced(done);
    return wrapped;
}
