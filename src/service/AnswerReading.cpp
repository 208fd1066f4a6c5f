#include "service/AnswerReading.h"

#include "text/Expected.h"
#include "text/JsonText.h"
#include "service/RetryPolicy.h"
#include "service/ServiceJson.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace {

using namespace Qt::StringLiterals;

const QString kAnswerFormatError = u"AnswerFormatError"_s;

// A member of an answer, under either spelling, read as a string, with a fallback for an
// absent or null member; a member of another type breaks the answer's shape.
Expected<QString> stringMember(const QJsonObject& object, QLatin1StringView snakeName,
                               const QString& fallback) {
    const QJsonValue value = ServiceMember(object, snakeName);
    if (value.isUndefined() || value.isNull())
        return fallback;
    if (std::optional<QString> text = JsonValueAsString(value))
        return *text;
    return Failure(u"\"%1\" is not a string"_s.arg(snakeName));
}

// The parts array of a candidate, when it has one.
std::optional<QJsonArray> candidateParts(const QJsonObject& candidate) {
    const QJsonValue content = ServiceMember(candidate, "content"_L1);
    if (!content.isObject())
        return std::nullopt;
    const QJsonValue parts = ServiceMember(content.toObject(), "parts"_L1);
    if (!parts.isArray())
        return std::nullopt;
    return parts.toArray();
}

Expected<TContentPart> picturePart(const QJsonObject& inlineData) {
    const Expected<QString> mimeType = stringMember(inlineData, "mime_type"_L1, u"image/png"_s);
    if (!mimeType)
        return Failure(mimeType.error());
    const Expected<QString> data = stringMember(inlineData, "data"_L1, QString());
    if (!data)
        return Failure(data.error());
    return MakeInlinePart(*mimeType, data->toLatin1());
}

// A part the service defines as an object of its own, kept as its JSON text.
TContentPart objectPart(TPartType type, const QJsonObject& object) {
    TContentPart part;
    part.PartType = type;
    JsonWriter json;
    json.value(object);
    part.Text = QString::fromLatin1(json.take());
    return part;
}

// One part of an answer; nothing for a part this program does not know (a file
// reference, a function response), or one that is no object.
Expected<std::optional<TContentPart>> answerPart(const QJsonValue& value) {
    if (!value.isObject())
        return std::optional<TContentPart>();
    const QJsonObject object = value.toObject();
    std::optional<TContentPart> part;
    const QJsonValue inlineData = ServiceMember(object, "inline_data"_L1);
    const QJsonValue text = object.value("text"_L1);
    if (inlineData.isObject()) {
        Expected<TContentPart> picture = picturePart(inlineData.toObject());
        if (!picture)
            return Failure(picture.error());
        part = *picture;
    } else if (ServiceMember(object, "function_call"_L1).isObject()) {
        part = objectPart(TPartType::ptFunctionCall,
                          ServiceMember(object, "function_call"_L1).toObject());
    } else if (ServiceMember(object, "executable_code"_L1).isObject()) {
        part = objectPart(TPartType::ptExecutableCode,
                          ServiceMember(object, "executable_code"_L1).toObject());
    } else if (ServiceMember(object, "code_execution_result"_L1).isObject()) {
        part = objectPart(TPartType::ptCodeExecutionResult,
                          ServiceMember(object, "code_execution_result"_L1).toObject());
    } else if (std::optional<QString> words = JsonValueAsString(text); words && !text.isNull()) {
        part = MakeTextPart(*words);
    }
    const QString signature =
        JsonValueAsString(ServiceMember(object, "thought_signature"_L1)).value_or(QString());
    if (!part && !signature.isEmpty())
        part = MakeTextPart(QString());
    if (part) {
        part->Thought = part->PartType == TPartType::ptText && object.value("thought"_L1).toBool();
        part->ThoughtSignature = signature;
    }
    return part;
}

Expected<TContentParts> answerParts(const QJsonArray& array) {
    TContentParts parts;
    for (const QJsonValue& value : array) {
        Expected<std::optional<TContentPart>> part = answerPart(value);
        if (!part)
            return Failure(part.error());
        if (*part)
            AppendAnswerParts(parts, {**part});
    }
    return parts;
}

Failure<RequestFailure> formatFailure(const QString& message) {
    return Failure(RequestFailure{ExceptionText(kAnswerFormatError, message)});
}

int tokenCount(const QJsonObject& usage, QLatin1StringView snakeName) {
    return ServiceMember(usage, snakeName).toInt();
}

void gatherSources(const QJsonObject& candidate, QList<WebSource>& sources) {
    const QJsonValue grounding = ServiceMember(candidate, "grounding_metadata"_L1);
    const QJsonValue chunks = ServiceMember(grounding.toObject(), "grounding_chunks"_L1);
    for (const QJsonValue& chunk : chunks.toArray()) {
        const QJsonObject web = ServiceMember(chunk.toObject(), "web"_L1).toObject();
        const QString uri = JsonValueAsString(web.value("uri"_L1)).value_or(QString());
        if (uri.isEmpty())
            continue;
        const QString title = JsonValueAsString(web.value("title"_L1)).value_or(QString());
        // Each event of a stream may repeat the sources found so far.
        const bool known = std::any_of(sources.cbegin(), sources.cend(),
                                       [&uri](const WebSource& s) { return s.Uri == uri; });
        if (!known)
            sources.append({title.isEmpty() ? uri : title, uri});
    }
}

// Each event of a stream may repeat the citations found so far.
void gatherCitations(const QJsonObject& candidate, QList<Citation>& citations) {
    const QJsonValue metadata = ServiceMember(candidate, "citation_metadata"_L1);
    QJsonValue list = ServiceMember(metadata.toObject(), "citation_sources"_L1);
    // Some versions of the service name the list "citations".
    if (!list.isArray())
        list = metadata.toObject().value("citations"_L1);
    for (const QJsonValue& entry : list.toArray()) {
        const QJsonObject source = entry.toObject();
        Citation citation{
            JsonValueAsString(source.value("uri"_L1)).value_or(QString()),
            JsonValueAsString(source.value("license"_L1)).value_or(QString()),
            ServiceMember(source, "start_index"_L1).toInt(),
            ServiceMember(source, "end_index"_L1).toInt(),
        };
        if (citation.Uri.isEmpty() && citation.License.isEmpty())
            continue;
        if (!citations.contains(citation))
            citations.append(citation);
    }
}

// Token counts, the finish or block reason, the grounding sources and citations of an
// answer or of one event of a stream, and an error the service put in it; later events
// bring the final counts.
void gatherFacts(const QJsonObject& answer, AnswerFacts& facts) {
    const QJsonValue usage = ServiceMember(answer, "usage_metadata"_L1);
    if (usage.isObject()) {
        const QJsonObject counts = usage.toObject();
        facts.Usage = TokenUsage{tokenCount(counts, "prompt_token_count"_L1),
                                 tokenCount(counts, "candidates_token_count"_L1),
                                 tokenCount(counts, "thoughts_token_count"_L1),
                                 tokenCount(counts, "total_token_count"_L1)};
    }
    const QJsonValue feedback = ServiceMember(answer, "prompt_feedback"_L1);
    const QString blockReason =
        JsonValueAsString(ServiceMember(feedback.toObject(), "block_reason"_L1))
            .value_or(QString());
    if (!blockReason.isEmpty())
        facts.BlockReason = blockReason;
    const QJsonValue error = answer.value("error"_L1);
    if (error.isObject() && facts.ServiceError.isEmpty()) {
        facts.ServiceError =
            JsonValueAsString(error.toObject().value("message"_L1)).value_or(QString());
        if (facts.ServiceError.isEmpty())
            facts.ServiceError = JsonValueAsString(error.toObject().value("status"_L1))
                                     .value_or(u"ошибка без описания"_s);
    }
    const QJsonArray candidates = ServiceMember(answer, "candidates"_L1).toArray();
    if (candidates.isEmpty() || !candidates.first().isObject())
        return;
    const QJsonObject first = candidates.first().toObject();
    const QString finishReason =
        JsonValueAsString(ServiceMember(first, "finish_reason"_L1)).value_or(QString());
    if (!finishReason.isEmpty())
        facts.FinishReason = finishReason;
    gatherSources(first, facts.Sources);
    gatherCitations(first, facts.Citations);
}

RequestResult readCandidates(const QJsonArray& candidates, const AnswerFacts& facts) {
    const QJsonValue first = candidates.first();
    if (!first.isObject())
        return formatFailure(u"the first candidate is not an object"_s);
    const std::optional<QJsonArray> array = candidateParts(first.toObject());
    const Expected<TContentParts> parts =
        array ? answerParts(*array) : Expected<TContentParts>(TContentParts());
    if (!parts)
        return formatFailure(parts.error());
    ModelAnswer answer{*parts, facts};
    // What came before an error the service put in the answer is kept.
    if (!facts.ServiceError.isEmpty())
        return Failure(
            RequestFailure{.Text = ServiceErrorText(facts.ServiceError), .Arrived = answer});
    // An empty answer kept in the chat would be sent again as an empty text part, which
    // the service refuses: every later request of the chat would fail.
    if (!HasAnswerContent(answer.Parts))
        return Failure(RequestFailure{.Text = EmptyAnswerText(facts), .Arrived = answer});
    return answer;
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

RequestResult ReadAnswer(QByteArrayView body) {
    const std::optional<QJsonValue> parsed = parseAnswerJson(body);
    // An empty page, an HTML page or bytes that are no JSON object hold no answer to keep.
    if (!parsed || !parsed->isObject())
        return Failure(RequestFailure{u"Ошибка: сервер вернул пустой или непонятный ответ"_s});
    const QJsonObject answer = parsed->toObject();
    AnswerFacts facts;
    gatherFacts(answer, facts);
    const QJsonValue candidates = answer.value("candidates"_L1);
    if (candidates.isArray() && !candidates.toArray().isEmpty())
        return readCandidates(candidates.toArray(), facts);
    QString text = u"Ошибка: получен пустой или некорректный ответ от сервера."_s;
    if (!facts.BlockReason.isEmpty())
        text = EmptyAnswerText(facts);
    else if (!facts.ServiceError.isEmpty())
        text = ServiceErrorText(facts.ServiceError);
    return Failure(RequestFailure{.Text = text, .Arrived = {.Facts = facts}});
}

TContentParts ReadEvent(QByteArrayView event, AnswerFacts& facts) {
    const std::optional<QJsonValue> parsed = parseAnswerJson(event);
    if (!parsed || !parsed->isObject())
        return {};
    gatherFacts(parsed->toObject(), facts);
    const QJsonValue candidates = parsed->toObject().value("candidates"_L1);
    if (!candidates.isArray() || candidates.toArray().isEmpty())
        return {};
    const QJsonValue first = candidates.toArray().first();
    if (!first.isObject())
        return {};
    const std::optional<QJsonArray> array = candidateParts(first.toObject());
    if (!array)
        return {};
    // An event that cannot be read is passed over, as one that is no JSON.
    Expected<TContentParts> parts = answerParts(*array);
    return parts ? std::move(*parts) : TContentParts();
}

void AppendAnswerParts(TContentParts& parts, const TContentParts& more) {
    for (const TContentPart& part : more) {
        const bool text = part.PartType == TPartType::ptText;
        TContentPart* last = parts.isEmpty() ? nullptr : &parts.last();
        const bool continues = text && last && last->PartType == TPartType::ptText &&
                               last->Thought == part.Thought && last->ThoughtSignature.isEmpty();
        if (continues) {
            last->Text += part.Text;
            last->ThoughtSignature = part.ThoughtSignature;
        } else if (!text || !part.Text.isEmpty() || !part.ThoughtSignature.isEmpty()) {
            parts.append(part);
        }
    }
}

QString AnswerAsOneString(const TContentParts& parts) {
    for (const TContentPart& part : parts) {
        if (part.PartType != TPartType::ptInlineData)
            continue;
        JsonWriter json;
        json.beginObject();
        json.key("mime_type"_L1).string(part.MimeType);
        json.key("base64_data"_L1).latin1String(part.Base64Data);
        json.endObject();
        return QString::fromLatin1(json.take());
    }
    return AnswerText(parts);
}

QString EmptyAnswerText(const AnswerFacts& facts) {
    const QString& block = facts.BlockReason;
    if (block == u"SAFETY")
        return u"Запрос заблокирован фильтром безопасности"_s;
    if (!block.isEmpty())
        return u"Запрос заблокирован (причина: %1)"_s.arg(block);
    const QString& finish = facts.FinishReason;
    if (finish == u"MAX_TOKENS")
        return u"Ответ обрезан: достигнут предел длины"_s;
    if (finish == u"SAFETY" || finish == u"IMAGE_SAFETY")
        return u"Ответ заблокирован фильтром безопасности"_s;
    if (finish == u"RECITATION")
        return u"Ответ заблокирован: он повторяет защищённый авторским правом текст"_s;
    if (finish == u"BLOCKLIST" || finish == u"PROHIBITED_CONTENT" || finish == u"SPII")
        return u"Ответ заблокирован: запрещённое содержание"_s;
    if (finish.isEmpty() || finish == u"STOP")
        return u"Модель вернула пустой ответ"_s;
    return u"Модель не дала ответа (причина: %1)"_s.arg(finish);
}

QString ServiceErrorText(const QString& message) {
    return u"Ошибка: "_s + message;
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
    }
    if (const std::optional<int> delayMs = RetryDelayMs(body))
        details.RetryDelaySeconds = DelaySeconds(*delayMs);
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
