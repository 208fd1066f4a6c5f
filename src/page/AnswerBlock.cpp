#include "page/AnswerBlock.h"

#include "page/MessageBlocks.h"
#include "page/PictureLink.h"
#include "text/JsonText.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

using namespace Qt::StringLiterals;

struct StopReason {
    QStringView code;
    QStringView text;
};

constexpr StopReason kStopReasons[] = {
    {u"MAX_TOKENS", u"Ответ оборван: достигнут лимит длины ответа"},
    {u"SAFETY", u"Ответ остановлен фильтром безопасности"},
    {u"RECITATION", u"Ответ остановлен: он повторяет защищённый авторским правом текст"},
    {u"LANGUAGE", u"Ответ остановлен: язык не поддерживается моделью"},
    {u"BLOCKLIST", u"Ответ остановлен: в нём есть запрещённые слова"},
    {u"PROHIBITED_CONTENT", u"Ответ остановлен: запрещённое содержание"},
    {u"SPII", u"Ответ остановлен: в нём могли оказаться личные данные"},
    {u"IMAGE_SAFETY", u"Ответ остановлен: изображение не прошло фильтр безопасности"},
    {u"MALFORMED_FUNCTION_CALL", u"Ответ остановлен: модель составила неверный вызов функции"},
    {u"OTHER", u"Ответ остановлен по иной причине"},
};

bool isWebAddress(const QString& uri) {
    return uri.startsWith(u"https://", Qt::CaseInsensitive) ||
           uri.startsWith(u"http://", Qt::CaseInsensitive);
}

QString sourceItem(const QString& uri, const QString& title) {
    const QString shown = EscapeHtml(title.isEmpty() ? uri : title);
    if (!isWebAddress(uri))
        return u"<li>"_s + shown + u"</li>"_s;
    return u"<li><a href=\""_s + EscapeHtml(uri) + u"\">"_s + shown + u"</a></li>"_s;
}

QString codeBlockHtml(const QString& language, const QString& code) {
    return WrapCodeBlocks(u"<pre><code class=\""_s + EscapeHtml(language) + u"\">"_s +
                          EscapeHtml(code) + u"</code></pre>"_s);
}

// A part the service defines as an object: what the page says of it, the language of its
// code block and the code.
struct ObjectPartView {
    QString caption;
    QString language;
    QString code;
};

ObjectPartView objectPartView(const TContentPart& part) {
    const QJsonObject object =
        ParseJsonText(part.Text.toLatin1()).value_or(QJsonValue()).toObject();
    const auto text = [&object](QLatin1StringView name) {
        return JsonValueAsString(object.value(name)).value_or(QString());
    };
    switch (part.PartType) {
    case TPartType::ptFunctionCall: {
        const QJsonValue args = object.value("args"_L1);
        const QString json =
            args.isObject() ? QString::fromUtf8(QJsonDocument(args.toObject()).toJson()) : u"{}"_s;
        return {u"Модель запросила вызов функции "_s + text("name"_L1), u"json"_s, json.trimmed()};
    }
    case TPartType::ptExecutableCode:
        return {u"Модель выполнила код:"_s, text("language"_L1).toLower(), text("code"_L1)};
    case TPartType::ptCodeExecutionResult: {
        const QString outcome = text("outcome"_L1);
        return {outcome.isEmpty() ? u"Результат выполнения:"_s
                                  : u"Результат выполнения (%1):"_s.arg(outcome),
                u"output"_s, text("output"_L1)};
    }
    case TPartType::ptText:
    case TPartType::ptInlineData:
    case TPartType::ptFileData:
        break;
    }
    return {};
}

QString pictureHtml(const TContentPart& part, QStringView pictureToken) {
    if (!part.MimeType.startsWith(u"image/", Qt::CaseInsensitive))
        return u"<p class=\"part-note\">Файл ("_s + EscapeHtml(part.MimeType) + u")</p>"_s;
    return PictureHtml(part.MimeType, QString::fromLatin1(part.Base64Data), pictureToken);
}

QString thoughtsHtml(const TContentParts& parts) {
    QString thoughts;
    for (const TContentPart& part : parts) {
        if (part.PartType == TPartType::ptText && part.Thought)
            thoughts += part.Text;
    }
    if (thoughts.isEmpty())
        return {};
    return u"<details class=\"thoughts\"><summary>Размышления</summary>"_s +
           BuildShownAnswerHtml(thoughts) + u"</details>"_s;
}

// The parts in order; runs of text parts are converted together, since Markdown does
// not end where a part does.
QString partsHtml(const TContentParts& parts, QStringView pictureToken) {
    QString html;
    QString text;
    const auto flushText = [&] {
        if (!text.isEmpty())
            html += BuildShownAnswerHtml(text);
        text.clear();
    };
    for (const TContentPart& part : parts) {
        if (part.PartType == TPartType::ptText) {
            if (!part.Thought)
                text += part.Text;
            continue;
        }
        flushText();
        html += part.PartType == TPartType::ptInlineData ? pictureHtml(part, pictureToken)
                                                         : ObjectPartHtml(part);
    }
    flushText();
    return html;
}

QString noteHtml(const QString& finishReason, const AnswerFooting& footing) {
    const QString note = StopNoteText(finishReason);
    if (note.isEmpty())
        return {};
    QString html = u"<div class=\"stop-note\">"_s + EscapeHtml(note);
    if (!footing.ContinueToken.isEmpty() && CanContinue(finishReason))
        html += u" <a class=\"continue-btn\" href=\"#"_s + kContinueFragmentPrefix.toString() +
                EscapeHtml(footing.ContinueToken) + u"\">Продолжить</a>"_s;
    if (!footing.Details.isEmpty())
        html += u"<details><summary>Подробнее</summary><div class=\"failure-text\">"_s +
                EscapeHtml(footing.Details) + u"</div></details>"_s;
    return html + u"</div>"_s;
}

bool isOnePicture(const TContentParts& parts) {
    return parts.size() == 1 && parts.first().PartType == TPartType::ptInlineData;
}

bool isPlainText(const TContentParts& parts) {
    return parts.size() == 1 && parts.first().PartType == TPartType::ptText &&
           !parts.first().Thought;
}

} // namespace

QString BuildModelItemHtml(const THistoryItem& item, const AnswerFooting& footing,
                           QStringView pictureToken) {
    QString html;
    if (item.Parts.isEmpty())
        html = BuildModelMessageHtml(QString(), item.Time);
    else if (isOnePicture(item.Parts))
        html = BuildImageMessageHtml(item.Parts.first().MimeType,
                                     QString::fromLatin1(item.Parts.first().Base64Data), item.Time,
                                     pictureToken);
    else if (isPlainText(item.Parts))
        html = BuildModelMessageHtml(item.Parts.first().Text, item.Time);
    else
        html = BuildModelBlockHtml(thoughtsHtml(item.Parts) + partsHtml(item.Parts, pictureToken),
                                   item.Time);
    html += noteHtml(item.FinishReason, footing);
    if (footing.Stopped)
        html += BuildStoppedMarkHtml();
    return html + BuildSourcesHtml(item.Sources, item.Citations);
}

QString StopNoteText(const QString& finishReason) {
    if (finishReason.isEmpty() || finishReason == u"STOP")
        return {};
    if (finishReason == kStreamEndedEarly)
        return u"Ответ оборван: поток закончился, не сказав, что ответ завершён"_s;
    if (finishReason == kConnectionLost)
        return u"Ответ оборван: соединение оборвалось до конца ответа"_s;
    if (finishReason == kAnswerTimedOut)
        return u"Ответ оборван: сервер слишком долго не присылал продолжение"_s;
    for (const StopReason& reason : kStopReasons) {
        if (reason.code == finishReason)
            return reason.text.toString() + u" ("_s + finishReason + u')';
    }
    return u"Ответ остановлен по причине, которую сервис назвал "_s + finishReason;
}

QString CitationTitle(const Citation& citation) {
    const QString where = citation.Uri.isEmpty() ? u"источник без адреса"_s : citation.Uri;
    return citation.License.isEmpty() ? where : where + u" (лицензия: "_s + citation.License + u')';
}

QList<WebSource> AnswerSourceList(const QList<WebSource>& sources,
                                  const QList<Citation>& citations) {
    QList<WebSource> list;
    QStringList uris;
    for (const WebSource& source : sources) {
        if (uris.contains(source.Uri))
            continue;
        uris.append(source.Uri);
        list.append(source);
    }
    for (const Citation& citation : citations) {
        if (!citation.Uri.isEmpty() && uris.contains(citation.Uri))
            continue;
        if (!citation.Uri.isEmpty())
            uris.append(citation.Uri);
        const WebSource cited{CitationTitle(citation), citation.Uri};
        if (!list.contains(cited))
            list.append(cited);
    }
    return list;
}

QString BuildSourcesHtml(const QList<WebSource>& sources, const QList<Citation>& citations) {
    const QList<WebSource> list = AnswerSourceList(sources, citations);
    if (list.isEmpty())
        return {};
    QString html = u"<div class=\"sources\"><strong>Источники:</strong><ol>"_s;
    for (const WebSource& source : list)
        html += sourceItem(source.Uri, source.Title);
    return html + u"</ol></div>"_s;
}

QString ObjectPartHtml(const TContentPart& part) {
    const ObjectPartView view = objectPartView(part);
    return u"<p class=\"part-note\">"_s + EscapeHtml(view.caption) + u"</p>"_s +
           codeBlockHtml(view.language, view.code);
}

QString ObjectPartMarkdown(const TContentPart& part) {
    const ObjectPartView view = objectPartView(part);
    // A fence longer than any run of backticks in the code.
    qsizetype longest = 0;
    qsizetype run = 0;
    for (const QChar c : view.code) {
        run = c == u'`' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    const QString fence(std::max<qsizetype>(3, longest + 1), u'`');
    return u"*"_s + view.caption + u"*\n\n"_s + fence + view.language + u'\n' + view.code + u'\n' +
           fence + u"\n\n"_s;
}
