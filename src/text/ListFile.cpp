#include "text/ListFile.h"

#include "text/RegularFile.h"

#include <QDir>
#include <QSaveFile>

namespace {

const QString kLineBreak = QStringLiteral("\r\n");

QString fileError(const char* what, const QString& path, const QString& reason) {
    return QStringLiteral("Не удалось %1 файл \"%2\": %3")
        .arg(QString::fromUtf8(what), QDir::toNativeSeparators(path), reason);
}

QString unreadableError(const QString& path, const QString& reason) {
    return QStringLiteral("Файл \"%1\" недоступен для чтения: %2")
        .arg(QDir::toNativeSeparators(path), reason);
}

} // namespace

QStringList SplitListLines(QStringView text) {
    QStringList lines;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n') {
            ++i;
            continue;
        }
        lines.append(text.sliced(start, i - start).toString());
        i += (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ? 2 : 1;
        start = i;
    }
    if (start < text.size())
        lines.append(text.sliced(start).toString());
    return lines;
}

QString JoinListLines(const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += line + kLineBreak;
    return text;
}

Expected<ListFile> ReadListFile(const QString& path) {
    const Expected<QByteArray, FileReadFailure> bytes = ReadRegularFile(path, kMaxSmallFileSize);
    if (!bytes)
        return Failure(unreadableError(path, bytes.error().Reason));
    const DecodedText decoded = DecodeText(*bytes);
    return ListFile{SplitListLines(decoded.text), decoded.format};
}

qsizetype ListLinesThatFit(const QStringList& lines, const QStringList& added, TextFormat format) {
    const QString text = JoinListLines(lines);
    std::optional<QByteArray> bytes = EncodeText(text, format);
    if (!bytes) {
        format = {TextEncoding::Utf8, true};
        bytes = EncodeText(text, format);
    }
    qsizetype total = bytes->size();
    const TextFormat unmarked{format.encoding, false};
    for (qsizetype i = 0; i < added.size(); ++i) {
        // A line the encoding cannot hold would have the whole file written anew in UTF-8.
        const std::optional<QByteArray> line = EncodeText(added[i] + kLineBreak, unmarked);
        if (!line)
            return i;
        total += line->size();
        if (total > kMaxSmallFileSize)
            return i;
    }
    return added.size();
}

Expected<TextFormat> WriteListFile(const QString& path, const QStringList& lines, TextFormat format,
                                   FileAccess access) {
    const QString text = JoinListLines(lines);
    TextFormat written = format;
    std::optional<QByteArray> bytes = EncodeText(text, written);
    if (!bytes) {
        written = {TextEncoding::Utf8, true};
        bytes = EncodeText(text, written);
    }
    // It could not be read back.
    if (bytes->size() > kMaxSmallFileSize)
        return Failure(fileError(
            "записать", path,
            QStringLiteral("файл был бы больше %1 МБ").arg(kMaxSmallFileSize / (1024 * 1024))));

    QSaveFile target(path);
    bool ok = target.open(QIODevice::WriteOnly);
    // Restrict the temporary file before anything secret is written into it.
    if (ok && access == FileAccess::OwnerOnly)
        ok = target.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ok = ok && target.write(*bytes) == bytes->size() && target.commit();
    if (!ok)
        return Failure(fileError("записать", path, target.errorString()));
    return written;
}
