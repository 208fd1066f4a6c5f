#include "chat/AttachmentPreparation.h"

#include "chat/GeminiDM.h"

#include <QFile>
#include <QFileInfo>

namespace {

QString unreadable(const QString& path) {
    return QStringLiteral("Ошибка: не удалось прочитать или закодировать файл ") + path;
}

// The size pass: a file that can no longer be opened is reported like an unreadable one.
// A FIFO put in place of an attached file would hold the open for ever, so the type
// is checked before anything opens it.
Expected<void> checkSize(const QString& path) {
    if (IsSpecialFile(path))
        return Failure(UnsupportedFileMessage(QFileInfo(path).fileName()));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure(unreadable(path));
    if (file.size() > kMaxAttachmentBytes)
        return Failure(OversizeFileMessage(QFileInfo(path).fileName()));
    return {};
}

} // namespace

bool IsSpecialFile(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && !info.isFile();
}

QString UnsupportedFileMessage(const QString& fileName) {
    return QStringLiteral("Файл \"%1\" имеет неподдерживаемый тип.").arg(fileName);
}

QString OversizeFileMessage(const QString& fileName) {
    return QStringLiteral("Файл \"%1\" больше 20 МБ").arg(fileName);
}

Expected<TContentParts> PrepareAttachments(const QStringList& paths) {
    for (const QString& path : paths) {
        if (const Expected<void> size = checkSize(path); !size)
            return Failure(size.error());
    }
    TContentParts parts;
    parts.reserve(paths.size());
    for (const QString& path : paths) {
        const QString mimeType = TGeminiDM::GetMimeTypeFromFileExt(path);
        const QByteArray data = TGeminiDM::FileToBase64(path);
        if (data.isEmpty())
            return Failure(unreadable(path));
        parts.append(MakeInlinePart(mimeType, data, QFileInfo(path).fileName()));
    }
    return parts;
}
