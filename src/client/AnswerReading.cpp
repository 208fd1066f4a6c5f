#include "AnswerReading.h"

#include "Expected.h"
#include "JsonText.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

namespace {

using namespace Qt::StringLiterals;

const QString kAnswerFormatError = u"AnswerFormatError"_s;

// A member read as a string, with a fallback for an absent or null member; a member of
// another type breaks the answer's shape.
Expected<QString> stringMember(const QJsonObject& object, QLatin1StringView name,
                               const QString& fallback) {
    const QJsonValue value = object.value(name);
    if (value.isUndefined() || value.isNull())
        return fallback;
    if (std::optional<QString> text = JsonValueAsString(value))
        return *text;
    return Failure(u"\"%1\" is not a string"_s.arg(name));
}

Expected<QString> imageDescription(const QJsonObject& inlineData) {
    const Expected<QString> mimeType = stringMember(inlineData, "mime_type"_L1, u"image/png"_s);
    if (!mimeType)
        return mimeType;
    const Expected<QString> data = stringMember(inlineData, "data"_L1, QString());
    if (!data)
        return data;
    JsonWriter json;
    json.beginObject();
    json.key("mime_type"_L1).string(*mimeType);
    json.key("base64_data"_L1).string(*data);
    json.endObject();
    return QString::fromLatin1(json.take());
}

// The parts array of a candidate, when it has one.
std::optional<QJsonArray> candidateParts(const QJsonObject& candidate) {
    const QJsonValue content = candidate.value("content"_L1);
    if (!content.isObject())
        return std::nullopt;
    const QJsonValue parts = content.toObject().value("parts"_L1);
    if (!parts.isArray())
        return std::nullopt;
    return parts.toArray();
}

QString joinedTexts(const QJsonArray& parts) {
    QString text;
    for (const QJsonValue& part : parts) {
        if (!part.isObject())
            continue;
        if (std::optional<QString> piece = JsonValueAsString(part.toObject().value("text"_L1)))
            text += *piece;
    }
    return text;
}

// The first inline part wins over every text, before or after it.
Expected<QString> answerOfParts(const QJsonArray& parts) {
    for (const QJsonValue& part : parts) {
        const QJsonValue inlineData = part.toObject().value("inline_data"_L1);
        if (inlineData.isObject())
            return imageDescription(inlineData.toObject());
    }
    return joinedTexts(parts);
}

RequestOutcome formatFailure(const QString& message) {
    return {ExceptionText(kAnswerFormatError, message), true};
}

RequestOutcome readCandidates(const QJsonArray& candidates) {
    const QJsonValue first = candidates.first();
    if (!first.isObject())
        return formatFailure(u"the first candidate is not an object"_s);
    const std::optional<QJsonArray> parts = candidateParts(first.toObject());
    if (!parts)
        return {};
    const Expected<QString> answer = answerOfParts(*parts);
    if (!answer)
        return formatFailure(answer.error());
    return {*answer, false};
}

// Invalid UTF-8 would make the whole answer unreadable as JSON; each bad sequence
// becomes U+FFFD instead, so the rest of the answer is kept.
std::optional<QJsonValue> parseAnswerJson(QByteArrayView body) {
    if (body.isValidUtf8())
        return ParseJsonText(body);
    return ParseJsonText(QString::fromUtf8(body).toUtf8());
}

bool isBlankBytes(QByteArrayView text) {
    for (char c : text) {
        if (uchar(c) > 0x20)
            return false;
    }
    return true;
}

} // namespace

RequestOutcome ReadAnswer(QByteArrayView body) {
    const std::optional<QJsonValue> parsed = parseAnswerJson(body);
    // An empty page, an HTML page or bytes that are no JSON object hold no answer to keep.
    if (!parsed || !parsed->isObject())
        return {u"Ошибка: сервер вернул пустой или непонятный ответ"_s, true};
    const QJsonValue candidates = parsed->toObject().value("candidates"_L1);
    if (candidates.isArray() && !candidates.toArray().isEmpty())
        return readCandidates(candidates.toArray());
    const QString message = ExtractErrorMessage(body);
    if (!message.isEmpty())
        return {u"Ошибка: "_s + message, true};
    return {u"Ошибка: получен пустой или некорректный ответ от сервера."_s, true};
}

QString EventText(QByteArrayView event) {
    const std::optional<QJsonValue> parsed = parseAnswerJson(event);
    if (!parsed || !parsed->isObject())
        return {};
    const QJsonValue candidates = parsed->toObject().value("candidates"_L1);
    if (!candidates.isArray() || candidates.toArray().isEmpty())
        return {};
    const QJsonValue first = candidates.toArray().first();
    if (!first.isObject())
        return {};
    const std::optional<QJsonArray> parts = candidateParts(first.toObject());
    return parts ? joinedTexts(*parts) : QString();
}

QString ExtractErrorMessage(QByteArrayView body) {
    if (isBlankBytes(body))
        return {};
    const std::optional<QJsonValue> parsed = parseAnswerJson(body);
    if (!parsed || !parsed->isObject())
        return {};
    const QJsonValue error = parsed->toObject().value("error"_L1);
    if (!error.isObject())
        return {};
    return JsonValueAsString(error.toObject().value("message"_L1)).value_or(QString());
}

namespace {

// A protobuf Duration as JSON writes it ("37s", "1.5s"), rounded up; 0 when unreadable.
int durationSeconds(const QString& text) {
    if (!text.endsWith(u's'))
        return 0;
    bool ok = false;
    const double seconds = QStringView(text).chopped(1).toDouble(&ok);
    if (!ok || seconds <= 0 || seconds > 1e9)
        return 0;
    return int(std::ceil(seconds));
}

} // namespace

ServiceErrorDetails ReadErrorDetails(QByteArrayView body) {
    ServiceErrorDetails details;
    if (isBlankBytes(body))
        return details;
    const std::optional<QJsonValue> parsed = parseAnswerJson(body);
    if (!parsed || !parsed->isObject())
        return details;
    const QJsonValue error = parsed->toObject().value("error"_L1);
    const QJsonValue list = error.isObject() ? error.toObject().value("details"_L1) : QJsonValue();
    for (const QJsonValue& entry : list.toArray()) {
        const QJsonObject detail = entry.toObject();
        const QString type = detail.value("@type"_L1).toString();
        if (type.endsWith("google.rpc.ErrorInfo"_L1))
            details.Reason = detail.value("reason"_L1).toString();
        else if (type.endsWith("google.rpc.RetryInfo"_L1))
            details.RetryDelaySeconds = durationSeconds(detail.value("retryDelay"_L1).toString());
    }
    return details;
}

QString HttpErrorText(QByteArrayView statusLine, int statusCode, QByteArrayView body) {
    QString answer = ExtractErrorMessage(body);
    if (answer.isEmpty())
        answer = QString::fromUtf8(body);
    // One arg() call, so a "%1" inside the answer is never taken for a placeholder.
    return u"Ошибка HTTP: %1 (Код: %2)\r\nОтвет: %3"_s.arg(QString::fromUtf8(statusLine),
                                                           QString::number(statusCode), answer);
}

QString ExceptionText(const QString& kind, const QString& message) {
    return u"Исключение: "_s + kind + u" - "_s + message;
}

QString ProxyAuthenticationText() {
    return u"Ошибка: прокси-сервер требует входа и не принял имя пользователя или пароль "
           u"(HTTP 407). Проверьте их в окне «Настройки»."_s;
}
