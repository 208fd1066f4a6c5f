#include "AttachmentPreparation.h"

#include "GeminiDM.h"

#include <QFile>
#include <QFileInfo>

namespace {

QString unreadable(const QString& path) {
    return QStringLiteral("Ошибка: не удалось прочитать или закодировать файл ") + path;
}

// The size pass: a file that can no longer be opened is reported like an unreadable one.
// A FIFO put in place of an attached file would hold the open for ever, so the type
// is checked before anything opens it.
QString checkSize(const QString& path) {
    if (IsSpecialFile(path))
        return UnsupportedFileMessage(QFileInfo(path).fileName());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unreadable(path);
    if (file.size() > kMaxAttachmentBytes)
        return QStringLiteral("Файл \"%1\" больше 20 МБ").arg(QFileInfo(path).fileName());
    return QString();
}

} // namespace

bool IsSpecialFile(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && !info.isFile();
}

QString UnsupportedFileMessage(const QString& fileName) {
    return QStringLiteral("Файл \"%1\" имеет неподдерживаемый тип.").arg(fileName);
}

PreparedAttachments PrepareAttachments(const QStringList& paths) {
    PreparedAttachments prepared;
    for (const QString& path : paths) {
        prepared.Failure = checkSize(path);
        if (!prepared.Failure.isEmpty())
            return prepared;
    }
    prepared.Parts.reserve(paths.size());
    for (const QString& path : paths) {
        const QString mimeType = TGeminiDM::GetMimeTypeFromFileExt(path);
        const QByteArray data = TGeminiDM::FileToBase64(path);
        if (data.isEmpty()) {
            prepared.Parts.clear();
            prepared.Failure = unreadable(path);
            return prepared;
        }
        prepared.Parts.append(MakeInlinePart(mimeType, data, QFileInfo(path).fileName()));
    }
    return prepared;
}
