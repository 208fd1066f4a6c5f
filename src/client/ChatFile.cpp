// Chat files: a UTF-8 byte-order mark followed by the conversation in the JSON text form.
#include "GeminiDM.h"
#include "JsonText.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QSaveFile>

#include <cstring>
#include <optional>
#include <utility>

namespace {

constexpr QByteArrayView kUtf8Bom("\xEF\xBB\xBF");

using namespace Qt::Literals::StringLiterals;

// Room for the whole text up front, so a chat of hundreds of megabytes is not copied while
// the writer grows. Text is counted at two bytes a unit: exact for ASCII, and a Cyrillic
// chat simply grows a little.
qsizetype estimatedFileSize(const TChatHistory& history) {
    constexpr qsizetype kPerPart = 96;
    qsizetype total = 64;
    for (const THistoryItem& item : history) {
        total += kPerPart + item.Role.size();
        for (const TContentPart& part : item.Parts)
            total += kPerPart +
                     2 * (part.Text.size() + part.MimeType.size() + part.FileName.size()) +
                     part.Base64Data.size() * 65 / 64; // every "/" is written escaped
    }
    return total;
}

void writePart(JsonWriter& writer, const TContentPart& part) {
    writer.beginObject();
    if (part.PartType == TPartType::ptText) {
        writer.key("text"_L1).string(part.Text);
    } else {
        writer.key("inline_data"_L1)
            .beginObject()
            .key("mime_type"_L1)
            .string(part.MimeType)
            .key("data"_L1)
            .latin1String(part.Base64Data)
            .endObject();
        if (!part.FileName.isEmpty())
            writer.key("file_name"_L1).string(part.FileName);
    }
    writer.endObject();
}

QByteArray chatFileText(const TChatHistory& history) {
    JsonWriter writer;
    writer.reserve(estimatedFileSize(history));
    writer.beginObject().key("contents"_L1).beginArray();
    for (const THistoryItem& item : history) {
        writer.beginObject().key("role"_L1).string(item.Role).key("parts"_L1).beginArray();
        for (const TContentPart& part : item.Parts)
            writePart(writer, part);
        writer.endArray().endObject();
    }
    writer.endArray().endObject();
    return writer.take();
}

// Base64 is ASCII: the text is narrowed to bytes in its own buffer, which is then cut to
// size, so a large attachment is never held twice over.
QByteArray base64Bytes(QString text) {
    QByteArray bytes = std::move(text).toLatin1();
    bytes.squeeze();
    return bytes;
}

std::optional<TContentPart> readPart(const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue inlineData = object.value("inline_data"_L1);
    if (!inlineData.isObject()) {
        std::optional<QString> text = JsonValueAsString(object.value("text"_L1));
        if (!text)
            return std::nullopt;
        return MakeTextPart(*text);
    }
    const QJsonObject data = inlineData.toObject();
    std::optional<QString> mimeType = JsonValueAsString(data.value("mime_type"_L1));
    std::optional<QString> base64 = JsonValueAsString(data.value("data"_L1));
    if (!mimeType || !base64)
        return std::nullopt;
    TContentPart part;
    part.PartType = TPartType::ptInlineData;
    part.MimeType = std::move(*mimeType);
    part.Base64Data = base64Bytes(std::move(*base64));
    part.FileName = JsonValueAsString(object.value("file_name"_L1)).value_or(QString());
    return part;
}

std::optional<THistoryItem> readItem(const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    std::optional<QString> role = JsonValueAsString(object.value("role"_L1));
    if (!role)
        return std::nullopt;
    THistoryItem item{std::move(*role), {}};
    const QJsonValue parts = object.value("parts"_L1);
    if (parts.isArray()) {
        const QJsonArray array = parts.toArray();
        item.Parts.reserve(array.size());
        for (const QJsonValue& element : array) {
            std::optional<TContentPart> part = readPart(element);
            if (!part)
                return std::nullopt;
            item.Parts.append(std::move(*part));
        }
    }
    return item;
}

// Qt's JSON reader leaves its fast path at every escape, and the JSON text form escapes
// each "/" of the Base64 data: reading "\/" as the "/" it stands for before parsing makes
// a large chat load ten times faster. Other escapes are stepped over whole, so the
// backslash of an escaped backslash is never taken for the start of "\/".
void dropSolidusEscapes(QByteArray& text) {
    char* const begin = text.data();
    const char* const end = begin + text.size();
    char* out = begin;
    const char* in = begin;
    while (const char* backslash =
               static_cast<const char*>(std::memchr(in, '\\', size_t(end - in)))) {
        std::memmove(out, in, size_t(backslash - in));
        out += backslash - in;
        if (end - backslash >= 2 && backslash[1] == '/') {
            *out++ = '/';
            in = backslash + 2;
        } else {
            const qsizetype escape = qMin<qsizetype>(2, end - backslash);
            std::memmove(out, backslash, size_t(escape));
            out += escape;
            in = backslash + escape;
        }
    }
    std::memmove(out, in, size_t(end - in));
    out += end - in;
    text.truncate(out - begin);
}

std::optional<QJsonValue> parseFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray text = file.readAll();
    file.close();
    dropSolidusEscapes(text);
    // The raw text is dropped on return, before the strings are copied out of the tree.
    return ParseJsonText(text);
}

} // namespace

bool TGeminiDM::SaveHistoryToFile(const QString& AFileName, QString* AErrorText) const {
    const QByteArray text = chatFileText(FChatHistory);
    // Written beside the target and renamed over it: a full disk or a crash never
    // leaves a shortened chat.
    QSaveFile file(AFileName);
    if (file.open(QIODevice::WriteOnly) && file.write(kUtf8Bom.data(), kUtf8Bom.size()) >= 0 &&
        file.write(text) == text.size() && file.commit())
        return true;
    if (AErrorText)
        *AErrorText = file.errorString();
    return false;
}

bool TGeminiDM::LoadHistoryFromFile(const QString& AFileName) {
    if (!QFileInfo(AFileName).isFile())
        return false;
    ClearHistory();

    const std::optional<QJsonValue> root = parseFile(AFileName);
    if (!root || !root->isObject())
        return false;
    const QJsonValue contents = root->toObject().value("contents"_L1);
    if (!contents.isArray())
        return false;

    const QJsonArray items = contents.toArray();
    FChatHistory.reserve(items.size());
    for (const QJsonValue& element : items) {
        std::optional<THistoryItem> item = readItem(element);
        // Stop at the first broken item and keep what came before it; leaving empty
        // items in its place would send them to the service with the next request.
        if (!item)
            return false;
        FChatHistory.append(std::move(*item));
    }
    return true;
}
