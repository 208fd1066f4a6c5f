#include "store/DataLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <sys/stat.h>

namespace {

constexpr QFileDevice::Permissions kOwnerOnly =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

bool isPortableProgramFolder(const QString& programDir) {
    const QDir folder(programDir);
    return QFileInfo::exists(folder.filePath(QStringLiteral("portable"))) ||
           QFileInfo(folder.filePath(QStringLiteral("chats"))).isDir();
}

// A folder that exists and can be written to, made owner-only (0700) when this creates
// it; a folder that was there keeps its permissions. A failure carries the reason alone.
Expected<void> ensureFolder(const QString& path) {
    const QFileInfo existing(path);
    if (existing.isDir()) {
        if (existing.isWritable())
            return {};
        return Failure(qt_error_string(EACCES));
    }
    if (existing.exists() || existing.isSymLink())
        return Failure(qt_error_string(EEXIST));
    const QString parent = existing.absolutePath();
    if (!QFileInfo(parent).isDir() && !QDir().mkpath(parent))
        return Failure(
            QStringLiteral("не удалось создать %1").arg(QDir::toNativeSeparators(parent)));
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
        return Failure(qt_error_string(errno));
    QFile::setPermissions(path, kOwnerOnly);
    return {};
}

} // namespace

DataLocation ChooseDataLocation(const DataLocationRequest& request) {
    if (!request.dataDirOption.isEmpty()) {
        const QString dir =
            QDir::cleanPath(QDir(request.workingDir).absoluteFilePath(request.dataDirOption));
        return {DataMode::Explicit, AppFolders{dir, dir}};
    }
    if (isPortableProgramFolder(request.programDir))
        return {DataMode::Portable, AppFolders{request.programDir, request.workingDir}};
    return {DataMode::Standard, AppFolders{request.standardDataDir, request.standardDataDir}};
}

Expected<void> PrepareDataLocation(const DataLocation& location) {
    QStringList folders;
    if (location.mode != DataMode::Portable)
        folders.append(location.folders.programDir);
    folders.append(location.folders.chatsDir());
    for (const QString& folder : folders) {
        if (const Expected<void> made = ensureFolder(folder); !made)
            return Failure(QStringLiteral("Не удалось подготовить папку данных %1: %2")
                               .arg(QDir::toNativeSeparators(folder), made.error()));
    }
    return {};
}

QString DataFolderForDisplay(const DataLocation& location, const QString& homeDir) {
    const QString dir = QDir::cleanPath(location.folders.programDir);
    const QString home = QDir::cleanPath(homeDir);
    if (!home.isEmpty() && home != u'/' && dir.startsWith(home + u'/'))
        return QDir::toNativeSeparators(QStringLiteral("~") + dir.sliced(home.size()));
    return QDir::toNativeSeparators(dir);
}
