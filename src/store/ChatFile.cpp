// Chat files: a UTF-8 byte-order mark followed by the conversation in the JSON text form.
#include "store/ChatFile.h"

#include "store/ChatFileLayout.h"
#include "text/JsonText.h"
#include "text/RegularFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr QByteArrayView kUtf8Bom("\xEF\xBB\xBF");

using namespace Qt::Literals::StringLiterals;

// Room for the whole text up front, so a chat of hundreds of megabytes is not copied while
// the writer grows. Text is counted at two bytes a unit: exact for ASCII, and a Cyrillic
// chat simply grows a little.
qsizetype keptSize(const KeptMembers& kept) {
    qsizetype total = 0;
    for (const KeptMember& member : kept)
        total += member.Text.size() + 1;
    return total;
}

qsizetype estimatedFileSize(const ChatFileContent& content) {
    constexpr qsizetype kPerPart = 96;
    qsizetype total = 64 + keptSize(content.Kept) + 2 * content.Label.Title.size();
    for (const THistoryItem& item : content.History) {
        total += kPerPart + item.Role.size() + keptSize(item.Kept);
        for (const TContentPart& part : item.Parts)
            total += kPerPart +
                     2 * (part.Text.size() + part.MimeType.size() + part.FileName.size() +
                          part.FileUri.size() + part.LocalPath.size()) +
                     part.Base64Data.size() * 65 / 64 + // every "/" is written escaped
                     keptSize(part.Kept) + keptSize(part.KeptInlineData) +
                     part.ThoughtSignature.size();
        for (const TContentPart& image : item.Images)
            total += kPerPart + 2 * image.MimeType.size() + image.Base64Data.size() * 65 / 64;
    }
    return total;
}

// Puts the kept members of one object back among the members this program writes, each
// after as many of them as stood before it when the file was read.
class KeptMemberWriter {
public:
    KeptMemberWriter(JsonWriter& writer, const KeptMembers& kept)
        : m_writer(writer), m_kept(kept) {}

    // Call after `written` members of this program have been written.
    void after(int written) {
        while (m_next < m_kept.size() && m_kept[m_next].After <= written)
            m_writer.rawMember(m_kept[m_next++].Text);
    }
    void rest() {
        while (m_next < m_kept.size())
            m_writer.rawMember(m_kept[m_next++].Text);
    }

private:
    JsonWriter& m_writer;
    const KeptMembers& m_kept;
    qsizetype m_next = 0;
};

// A message's time in UTC, to the millisecond: "2025-03-01T11:25:30.000Z".
QString messageTimeText(const QDateTime& time) {
    return time.toUTC().toString(Qt::ISODateWithMs);
}

// Members in the order the chat file layout expects them (ChatFileLayout.cpp).
void writePart(JsonWriter& writer, const TContentPart& part) {
    writer.beginObject();
    KeptMemberWriter kept(writer, part.Kept);
    kept.after(0);
    int written = 1;
    switch (part.PartType) {
    case TPartType::ptText:
        writer.key("text"_L1).string(part.Text);
        kept.after(1);
        if (part.Thought)
            writer.key("thought"_L1).boolean(true);
        written = 2;
        break;
    case TPartType::ptInlineData: {
        writer.key("inline_data"_L1).beginObject();
        KeptMemberWriter keptInData(writer, part.KeptInlineData);
        keptInData.after(0);
        writer.key("mime_type"_L1).string(part.MimeType);
        keptInData.after(1);
        writer.key("data"_L1).latin1String(part.Base64Data);
        keptInData.rest();
        writer.endObject();
        kept.after(1);
        if (!part.FileName.isEmpty())
            writer.key("file_name"_L1).string(part.FileName);
        written = 2;
        break;
    }
    case TPartType::ptFileData:
        writer.key("file_data"_L1).beginObject();
        writer.key("mime_type"_L1).string(part.MimeType);
        writer.key("file_uri"_L1).string(part.FileUri);
        writer.endObject();
        kept.after(1);
        if (!part.FileName.isEmpty())
            writer.key("file_name"_L1).string(part.FileName);
        kept.after(2);
        if (!part.LocalPath.isEmpty())
            writer.key("local_path"_L1).string(part.LocalPath);
        kept.after(3);
        if (part.ExpirationTime.isValid())
            writer.key("expiration_time"_L1).string(messageTimeText(part.ExpirationTime));
        written = 4;
        break;
    case TPartType::ptFunctionCall:
    case TPartType::ptExecutableCode:
    case TPartType::ptCodeExecutionResult:
        writer.key(ObjectPartName(part.PartType)).rawValue(part.Text.toLatin1());
        break;
    }
    kept.after(written);
    if (!part.ThoughtSignature.isEmpty())
        writer.key("thoughtSignature"_L1).string(part.ThoughtSignature);
    kept.rest();
    writer.endObject();
}

// Anything but a readable time leaves the message without one.
QDateTime messageTime(const QJsonValue& value) {
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    return time.isValid() ? time.toLocalTime() : QDateTime();
}

// The pages a grounded answer names, as [{"title":…,"uri":…}].
void writeSources(JsonWriter& writer, const QList<WebSource>& sources) {
    writer.key("sources"_L1).beginArray();
    for (const WebSource& source : sources) {
        writer.beginObject();
        writer.key("title"_L1).string(source.Title);
        writer.key("uri"_L1).string(source.Uri);
        writer.endObject();
    }
    writer.endArray();
}

// The passages an answer attributes, as [{"uri":…,"license":…,"start_index":…,"end_index":…}].
void writeCitations(JsonWriter& writer, const QList<Citation>& citations) {
    writer.key("citations"_L1).beginArray();
    for (const Citation& citation : citations) {
        writer.beginObject();
        writer.key("uri"_L1).string(citation.Uri);
        writer.key("license"_L1).string(citation.License);
        writer.key("start_index"_L1).integer(citation.StartIndex);
        writer.key("end_index"_L1).integer(citation.EndIndex);
        writer.endObject();
    }
    writer.endArray();
}

} // namespace

QByteArray ChatFileText(const ChatFileContent& content) {
    JsonWriter writer;
    writer.reserve(estimatedFileSize(content));
    writer.beginObject();
    KeptMemberWriter keptTop(writer, content.Kept);
    keptTop.after(0);
    // The label goes first, where the chat list reads it without reading the messages.
    if (!content.Label.Title.isEmpty())
        writer.key("title"_L1).string(content.Label.Title);
    keptTop.after(1);
    if (content.Label.Pinned)
        writer.key("pinned"_L1).boolean(true);
    keptTop.after(2);
    writer.key("contents"_L1).beginArray();
    for (const THistoryItem& item : content.History) {
        writer.beginObject();
        KeptMemberWriter kept(writer, item.Kept);
        kept.after(0);
        writer.key("role"_L1).string(item.Role);
        kept.after(1);
        writer.key("parts"_L1).beginArray();
        for (const TContentPart& part : item.Parts)
            writePart(writer, part);
        writer.endArray();
        kept.after(2);
        // Readers that do not know it pass over it.
        if (item.Time.isValid())
            writer.key("message_time"_L1).string(messageTimeText(item.Time));
        kept.after(3);
        if (!item.Images.isEmpty()) {
            writer.key("generated_images"_L1).beginArray();
            for (const TContentPart& image : item.Images)
                writePart(writer, image);
            writer.endArray();
        }
        kept.after(4);
        if (!item.Sources.isEmpty())
            writeSources(writer, item.Sources);
        kept.after(5);
        if (!item.Citations.isEmpty())
            writeCitations(writer, item.Citations);
        kept.after(6);
        if (!item.FinishReason.isEmpty())
            writer.key("finish_reason"_L1).string(item.FinishReason);
        kept.after(7);
        if (!item.Failure.isEmpty())
            writer.key("failure"_L1).string(item.Failure);
        kept.rest();
        writer.endObject();
    }
    writer.endArray();
    keptTop.rest();
    writer.endObject();
    return writer.take();
}

namespace {

// Base64 is ASCII: the text is narrowed to bytes in its own buffer, which is then cut to
// size, so a large attachment is never held twice over.
QByteArray base64Bytes(QString text) {
    QByteArray bytes = std::move(text).toLatin1();
    bytes.squeeze();
    return bytes;
}

// The kind of a part that is an object of the service's own, and that object; the first
// of these names wins, as in the file's layout.
std::optional<std::pair<TPartType, QJsonObject>> objectPart(const QJsonObject& part) {
    for (const TPartType type : {TPartType::ptFunctionCall, TPartType::ptExecutableCode,
                                 TPartType::ptCodeExecutionResult}) {
        const QJsonValue value = part.value(ObjectPartName(type));
        if (value.isObject())
            return std::pair(type, value.toObject());
    }
    return std::nullopt;
}

std::optional<TContentPart> readPart(const QJsonValue& value, const PartLayout* layout) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    TContentPart part;
    const QJsonValue inlineData = object.value("inline_data"_L1);
    if (inlineData.isObject()) {
        const QJsonObject data = inlineData.toObject();
        std::optional<QString> mimeType = JsonValueAsString(data.value("mime_type"_L1));
        std::optional<QString> base64 = JsonValueAsString(data.value("data"_L1));
        if (!mimeType || !base64)
            return std::nullopt;
        part.PartType = TPartType::ptInlineData;
        part.MimeType = std::move(*mimeType);
        part.Base64Data = base64Bytes(std::move(*base64));
        part.FileName = JsonValueAsString(object.value("file_name"_L1)).value_or(QString());
        if (layout)
            part.KeptInlineData = layout->InlineData;
    } else if (const QJsonValue fileData = object.value("file_data"_L1); fileData.isObject()) {
        const QJsonObject data = fileData.toObject();
        const std::optional<QString> mimeType = JsonValueAsString(data.value("mime_type"_L1));
        const std::optional<QString> uri = JsonValueAsString(data.value("file_uri"_L1));
        if (!mimeType || !uri)
            return std::nullopt;
        const QDateTime expires = QDateTime::fromString(
            object.value("expiration_time"_L1).toString(), Qt::ISODateWithMs);
        part = MakeFileDataPart(
            *mimeType, *uri, JsonValueAsString(object.value("file_name"_L1)).value_or(QString()),
            JsonValueAsString(object.value("local_path"_L1)).value_or(QString()),
            expires.isValid() ? expires.toUTC() : QDateTime());
    } else if (const auto kind = objectPart(object)) {
        part.PartType = kind->first;
        JsonWriter json;
        json.value(kind->second);
        part.Text = QString::fromLatin1(json.take());
    } else {
        std::optional<QString> text = JsonValueAsString(object.value("text"_L1));
        if (!text)
            return std::nullopt;
        part = MakeTextPart(*text);
        part.Thought = object.value("thought"_L1).toBool();
    }
    part.ThoughtSignature =
        JsonValueAsString(object.value("thoughtSignature"_L1)).value_or(QString());
    if (layout)
        part.Kept = layout->Part;
    return part;
}

// Pictures and sources kept beside the parts are extras: one that does not read is left
// out, and the item still loads.
TContentParts readImages(const QJsonValue& value) {
    TContentParts images;
    for (const QJsonValue& element : value.toArray()) {
        std::optional<TContentPart> image = readPart(element, nullptr);
        if (image && image->PartType == TPartType::ptInlineData)
            images.append(std::move(*image));
    }
    return images;
}

QList<WebSource> readSources(const QJsonValue& value) {
    QList<WebSource> sources;
    for (const QJsonValue& element : value.toArray()) {
        const QJsonObject source = element.toObject();
        const std::optional<QString> uri = JsonValueAsString(source.value("uri"_L1));
        if (uri && !uri->isEmpty())
            sources.append({JsonValueAsString(source.value("title"_L1)).value_or(QString()), *uri});
    }
    return sources;
}

QList<Citation> readCitations(const QJsonValue& value) {
    QList<Citation> citations;
    for (const QJsonValue& element : value.toArray()) {
        const QJsonObject entry = element.toObject();
        Citation citation{JsonValueAsString(entry.value("uri"_L1)).value_or(QString()),
                          JsonValueAsString(entry.value("license"_L1)).value_or(QString()),
                          entry.value("start_index"_L1).toInt(),
                          entry.value("end_index"_L1).toInt()};
        if (!citation.Uri.isEmpty() || !citation.License.isEmpty())
            citations.append(citation);
    }
    return citations;
}

std::optional<THistoryItem> readItem(const QJsonValue& value, const ItemLayout* layout) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    std::optional<QString> role = JsonValueAsString(object.value("role"_L1));
    if (!role)
        return std::nullopt;
    THistoryItem item{std::move(*role),
                      {},
                      layout ? layout->Item : KeptMembers(),
                      messageTime(object.value("message_time"_L1))};
    item.Images = readImages(object.value("generated_images"_L1));
    item.Sources = readSources(object.value("sources"_L1));
    item.Citations = readCitations(object.value("citations"_L1));
    item.FinishReason = JsonValueAsString(object.value("finish_reason"_L1)).value_or(QString());
    item.Failure = JsonValueAsString(object.value("failure"_L1)).value_or(QString());
    const QJsonValue parts = object.value("parts"_L1);
    if (parts.isArray()) {
        const QJsonArray array = parts.toArray();
        // A walk that does not agree with the parser keeps nothing for these parts.
        if (layout && layout->Parts.size() != array.size())
            return std::nullopt;
        item.Parts.reserve(array.size());
        for (qsizetype i = 0; i < array.size(); ++i) {
            std::optional<TContentPart> part =
                readPart(array.at(i), layout ? &layout->Parts[i] : nullptr);
            if (!part)
                return std::nullopt;
            item.Parts.append(std::move(*part));
        }
    } else if (layout && !layout->Parts.isEmpty()) {
        return std::nullopt;
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

ChatLoadOutcome loadOutcomeOf(FileRefusal cause) {
    switch (cause) {
    case FileRefusal::Missing:
        return ChatLoadOutcome::loMissing;
    case FileRefusal::NotAFile:
        return ChatLoadOutcome::loNotAFile;
    case FileRefusal::TooLarge:
        return ChatLoadOutcome::loTooLarge;
    case FileRefusal::Unreadable:
        break;
    }
    return ChatLoadOutcome::loUnreadable;
}

// Writes the bytes to a new file beside path and renames it over path, so a full disk or a
// crash never leaves a shortened chat, and a symbolic link at path is replaced, never
// written through. A failure carries the system's reason for the step that failed.
Expected<void> replaceFile(const QString& path, std::initializer_list<QByteArrayView> pieces,
                           ChatFileTime time) {
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temporary =
            target + ".tmp" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt == 100))
            return Failure(qt_error_string(errno));
    }
    const auto fail = [&](int error) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(temporary.constData());
        return Failure(qt_error_string(error));
    };
    // A chat rewritten keeps the permissions it had.
    struct stat old {};
    const bool hadFile = ::lstat(target.constData(), &old) == 0 && S_ISREG(old.st_mode);
    if (hadFile)
        ::fchmod(fd, old.st_mode & 07777);
    for (QByteArrayView piece : pieces) {
        while (!piece.isEmpty()) {
            const ssize_t written =
                ::write(fd, piece.data(), size_t(qMin<qsizetype>(piece.size(), 1 << 30)));
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0)
                return fail(errno);
            if (written == 0)
                return fail(ENOSPC);
            piece = piece.sliced(written);
        }
    }
    if (hadFile && time == ChatFileTime::KeepOld) {
        const timespec times[2] = {{0, UTIME_OMIT}, old.st_mtim};
        if (::futimens(fd, times) != 0)
            return fail(errno);
    }
    // A full disk may only show here; a file system that cannot sync is no failure.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP)
        return fail(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0 || ::rename(temporary.constData(), target.constData()) != 0)
        return fail(errno);
    return {};
}

} // namespace

ChatFileLoad ReadChatFileText(QByteArray text, ChatFileContent& content) {
    using enum ChatLoadOutcome;
    content = {};
    std::optional<ChatFileLayout> layout;
    std::optional<QJsonValue> root;
    {
        // The kept members are found in the text as written, before the solidus escapes
        // are taken out; the raw text goes before the strings are copied out of the tree.
        QByteArray raw = std::move(text);
        layout = ReadChatFileLayout(raw);
        dropSolidusEscapes(raw);
        root = ParseJsonText(raw);
    }
    const ChatFileLoad damaged{loDamaged, QStringLiteral("файл повреждён: в нём нет чата")};
    if (!root || !root->isObject())
        return damaged;
    const QJsonObject top = root->toObject();
    const QJsonValue contents = top.value("contents"_L1);
    if (!contents.isArray())
        return damaged;
    // A title that is not a string, or a "pinned" that is not true, is no label.
    content.Label = {top.value("title"_L1).toString(), top.value("pinned"_L1).toBool()};

    const QJsonArray items = contents.toArray();
    // A walk that does not agree with the parser would lose members on the next save.
    const bool layoutAgrees = layout && layout->Items.size() == items.size();
    if (layoutAgrees)
        content.Kept = layout->Top;
    content.History.reserve(items.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        std::optional<THistoryItem> item =
            readItem(items.at(i), layoutAgrees ? &layout->Items[i] : nullptr);
        // Stop at the first broken item and keep what came before it; leaving empty
        // items in its place would send them to the service with the next request.
        if (!item)
            return {loPartial, {}};
        content.History.append(std::move(*item));
    }
    return {layoutAgrees ? loLoaded : loPartial, {}};
}

Expected<void> WriteChatFile(const QString& path, const ChatFileContent& content,
                             ChatFileTime time) {
    const QByteArray text = ChatFileText(content);
    return replaceFile(path, {kUtf8Bom, text}, time);
}

ChatFileLoad ReadChatFile(const QString& path, ChatFileContent& content) {
    content = {};
    Expected<QByteArray, FileReadFailure> text = ReadRegularFile(path, kMaxChatFileSize);
    if (!text)
        return {loadOutcomeOf(text.error().Cause), text.error().Reason};
    return ReadChatFileText(std::move(*text), content);
}

ChatLabel ReadChatFileLabel(const QString& path) {
    // Files this program writes have their label in the first few hundred bytes; other
    // members before "contents" are read up to a limit.
    constexpr qsizetype kFirstRead = 512;
    constexpr qsizetype kMostRead = 1024 * 1024;
    // A pipe named like a chat cannot hold the list up.
    QFile file(path);
    if (!OpenRegularFile(file, kMaxChatFileSize))
        return {};
    QByteArray start;
    for (qsizetype want = kFirstRead;; want = qMin(2 * want, kMostRead)) {
        const qsizetype had = start.size();
        start.resize(want);
        const qint64 got = file.read(start.data() + had, want - had);
        start.resize(had + qMax<qint64>(got, 0));
        if (std::optional<ChatLabel> label = ReadChatLabel(start))
            return std::move(*label);
        if (got < want - had || want == kMostRead)
            return {};
    }
}

Expected<void> RelabelChatFile(const QString& path, const ChatLabel& label) {
    ChatFileContent content;
    const ChatFileLoad load = ReadChatFile(path, content);
    if (load.Outcome == ChatLoadOutcome::loPartial)
        return Failure(QStringLiteral("чат прочитан не полностью, и его файл не будет перезаписан"));
    if (!load)
        return Failure(load.Text);
    if (content.Label == label)
        return {};
    content.Label = label;
    return WriteChatFile(path, content, ChatFileTime::KeepOld);
}
