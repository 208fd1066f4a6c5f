#include "store/DataLocation.h"

#include "text/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

namespace {

constexpr QFileDevice::Permissions kOwnerOnly =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

bool isPortableProgramFolder(const QString& programDir) {
    const QDir folder(programDir);
    return QFileInfo::exists(folder.filePath(QStringLiteral("portable"))) ||
           QFileInfo(folder.filePath(QStringLiteral("chats"))).isDir();
}

const QString kNotAFolder = QStringLiteral("это файл, а не папка");

// The folder on the way that failed, and why.
Failure<QString> failedAt(const QString& folder, int error) {
    return Failure(QDir::toNativeSeparators(folder) + QStringLiteral(": ") +
                   SystemErrorText(error));
}

// Every missing folder of path, made one at a time so a failure says which one and why.
Expected<void> makeParents(const QString& path) {
    const QStringList names = QDir::cleanPath(path).split(u'/', Qt::SkipEmptyParts);
    QString prefix;
    for (const QString& name : names) {
        prefix += u'/' + name;
        const QByteArray encoded = QFile::encodeName(prefix);
        struct stat found {};
        if (::stat(encoded.constData(), &found) == 0) {
            if (S_ISDIR(found.st_mode))
                continue;
            return Failure(QDir::toNativeSeparators(prefix) + QStringLiteral(": ") + kNotAFolder);
        }
        if (errno != ENOENT || (::mkdir(encoded.constData(), 0777) != 0 && errno != EEXIST))
            return failedAt(prefix, errno);
        // Still nothing there: a link that leads nowhere.
        if (::stat(encoded.constData(), &found) != 0)
            return failedAt(prefix, errno);
    }
    return {};
}

// A folder that exists and can be written to, made owner-only (0700) when this creates
// it; a folder that was there keeps its permissions. A failure carries the reason alone.
Expected<void> ensureFolder(const QString& path) {
    const QByteArray encoded = QFile::encodeName(path);
    const QFileInfo existing(path);
    if (existing.isDir()) {
        // Asked as the user the file system sees, which is who will write there.
        if (::faccessat(AT_FDCWD, encoded.constData(), W_OK | X_OK, AT_EACCESS) == 0)
            return {};
        return Failure(SystemErrorText(errno));
    }
    if (existing.isSymLink())
        return Failure(QStringLiteral("это ссылка, которая никуда не ведёт"));
    if (existing.exists())
        return Failure(kNotAFolder);
    if (const Expected<void> parents = makeParents(existing.absolutePath()); !parents)
        return parents;
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST)
        return Failure(SystemErrorText(errno));
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
