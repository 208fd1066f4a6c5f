#include "service/RequestBody.h"

#include "text/JsonText.h"

#include <QUrl>

#include <algorithm>

namespace {

using namespace Qt::StringLiterals;

void writeTextPart(JsonWriter& json, const QString& text) {
    json.beginObject().key("text"_L1).string(text).endObject();
}

bool isSent(const TContentPart& part) {
    switch (part.PartType) {
    case TPartType::ptText:
        return !part.Thought && (!part.Text.isEmpty() || !part.ThoughtSignature.isEmpty());
    case TPartType::ptFunctionCall:
        return false;
    case TPartType::ptInlineData:
    case TPartType::ptFileData:
    case TPartType::ptExecutableCode:
    case TPartType::ptCodeExecutionResult:
        break;
    }
    return true;
}

void writePart(JsonWriter& json, const TContentPart& part) {
    json.beginObject();
    switch (part.PartType) {
    case TPartType::ptText:
        json.key("text"_L1).string(part.Text);
        break;
    case TPartType::ptInlineData:
        // The file name stays on this side: the service is never told it.
        json.key("inline_data"_L1).beginObject();
        json.key("mime_type"_L1).string(part.MimeType);
        json.key("data"_L1).latin1String(part.Base64Data);
        json.endObject();
        break;
    case TPartType::ptFileData:
        // Only the type and the address: the local path and the name stay here.
        json.key("file_data"_L1).beginObject();
        json.key("mime_type"_L1).string(part.MimeType);
        json.key("file_uri"_L1).string(part.FileUri);
        json.endObject();
        break;
    case TPartType::ptFunctionCall:
    case TPartType::ptExecutableCode:
    case TPartType::ptCodeExecutionResult:
        json.key(ObjectPartName(part.PartType)).rawValue(part.Text.toLatin1());
        break;
    }
    if (!part.ThoughtSignature.isEmpty())
        json.key("thoughtSignature"_L1).string(part.ThoughtSignature);
    json.endObject();
}

void writeContents(JsonWriter& json, const TChatHistory& history) {
    json.key("contents"_L1).beginArray();
    for (const THistoryItem& item : history) {
        if (!item.Failure.isEmpty() || std::none_of(item.Parts.cbegin(), item.Parts.cend(), isSent))
            continue;
        json.beginObject().key("role"_L1).string(item.Role).key("parts"_L1).beginArray();
        for (const TContentPart& part : item.Parts) {
            if (isSent(part))
                writePart(json, part);
        }
        json.endArray().endObject();
    }
    json.endArray();
}

void writeSafetySettings(JsonWriter& json, const ChatParameters& parameters) {
    json.key("safetySettings"_L1).beginArray();
    for (size_t i = 0; i < kHarmCategories.size(); ++i) {
        const QLatin1StringView category = kHarmCategories[i];
        const QLatin1StringView threshold = kHarmThresholds[size_t(parameters.SafetyThresholds[i])];
        json.beginObject();
        json.key("category"_L1).latin1String(QByteArrayView(category.data(), category.size()));
        json.key("threshold"_L1).latin1String(QByteArrayView(threshold.data(), threshold.size()));
        json.endObject();
    }
    json.endArray();
}

// A fraction as JSON writes it: 0.2, 1, 0.95.
void writeFraction(JsonWriter& json, double value) {
    const QByteArray text = QByteArray::number(value, 'g', 6);
    json.numberLiteral(QLatin1StringView(text));
}

void writeThinkingConfig(JsonWriter& json, bool includeThoughts, const ChatParameters& parameters) {
    if (!includeThoughts && parameters.Thinking == ThinkingMode::Auto)
        return;
    json.key("thinkingConfig"_L1).beginObject();
    if (includeThoughts)
        json.key("includeThoughts"_L1).boolean(true);
    switch (parameters.Thinking) {
    case ThinkingMode::Auto:
        break;
    case ThinkingMode::Off:
        json.key("thinkingBudget"_L1).integer(0);
        break;
    case ThinkingMode::Budget:
        json.key("thinkingBudget"_L1).integer(parameters.ThinkingBudget);
        break;
    case ThinkingMode::Low:
        json.key("thinkingLevel"_L1).latin1String("low");
        break;
    case ThinkingMode::High:
        json.key("thinkingLevel"_L1).latin1String("high");
        break;
    }
    json.endObject();
}

void writeGenerationConfig(JsonWriter& json, bool includeThoughts,
                           const ChatParameters& parameters) {
    json.key("generationConfig"_L1).beginObject();
    json.key("temperature"_L1);
    writeFraction(json, parameters.Temperature);
    if (parameters.TopK)
        json.key("topK"_L1).integer(*parameters.TopK);
    json.key("topP"_L1);
    writeFraction(json, parameters.TopP);
    if (parameters.MaxOutputTokens)
        json.key("maxOutputTokens"_L1).integer(*parameters.MaxOutputTokens);
    json.key("stopSequences"_L1).beginArray().endArray();
    writeThinkingConfig(json, includeThoughts, parameters);
    json.endObject();
}

// Enough room for the body in one allocation: payloads are copied as they are, text may
// grow sixfold through escapes.
qsizetype expectedBodySize(const TChatHistory& history) {
    constexpr qsizetype kFixedPart = 1024;
    constexpr qsizetype kPerPart = 64;
    qsizetype size = kFixedPart;
    for (const THistoryItem& item : history) {
        size += kPerPart + item.Role.size() * 6;
        for (const TContentPart& part : item.Parts)
            size += kPerPart + part.Base64Data.size() + part.ThoughtSignature.size() +
                    (part.Text.size() + part.MimeType.size() + part.FileUri.size()) * 6;
    }
    return size;
}

} // namespace

QByteArray RequestUrl(const QString& baseUrl, TRequestType type, const QString& modelName) {
    QString base = baseUrl;
    while (base.endsWith(u'/'))
        base.chop(1);
    const QString methodAndQuery = type == TRequestType::rtStreamContent
                                       ? u":streamGenerateContent?alt=sse"_s
                                       : u":generateContent"_s;
    // The name is one path segment whatever it holds: a "/" or ".." in it never reaches
    // another path of the service.
    QString collection = u"models"_s;
    QString id = modelName;
    if (id.startsWith(u"models/"_s)) {
        id.remove(0, 7);
    } else if (id.startsWith(u"tunedModels/"_s)) {
        collection = u"tunedModels"_s;
        id.remove(0, 12);
    }
    return (base + u"/v1beta/"_s + collection + u'/').toUtf8() + QUrl::toPercentEncoding(id) +
           methodAndQuery.toUtf8();
}

QByteArray ApiKeyHeader(const QString& apiKey) {
    return "x-goog-api-key: " + apiKey.toUtf8();
}

QByteArray BuildContentRequestBody(const TChatHistory& history, bool useGoogleSearch,
                                   bool includeThoughts, const ChatParameters& parameters) {
    JsonWriter json;
    json.reserve(expectedBodySize(history) + parameters.SystemInstruction.size() * 6);
    json.beginObject();
    writeContents(json, history);
    if (!parameters.SystemInstruction.isEmpty()) {
        json.key("systemInstruction"_L1).beginObject().key("parts"_L1).beginArray();
        writeTextPart(json, parameters.SystemInstruction);
        json.endArray().endObject();
    }
    writeGenerationConfig(json, includeThoughts, parameters);
    writeSafetySettings(json, parameters);
    if (useGoogleSearch) {
        json.key("tools"_L1).beginArray().beginObject();
        json.key("googleSearch"_L1).beginObject().endObject();
        json.endObject().endArray();
    }
    json.endObject();
    return json.take();
}

QByteArray BuildImageRequestBody(const QString& prompt, const ChatParameters& parameters) {
    JsonWriter json;
    json.beginObject();
    json.key("contents"_L1).beginArray().beginObject();
    json.key("role"_L1).latin1String("user");
    json.key("parts"_L1).beginArray();
    writeTextPart(json, prompt);
    json.endArray().endObject().endArray();
    json.key("generationConfig"_L1).beginObject().endObject();
    writeSafetySettings(json, parameters);
    json.endObject();
    return json.take();
}
