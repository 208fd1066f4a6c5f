#include "store/TypesetFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kPrefix = QStringLiteral("tovik-l-typeset-");

bool processEnded(qint64 pid) {
    return pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

} // namespace

QString TypesetFolderTemplate(const QString& tempDir) {
    return QDir(tempDir).filePath(kPrefix + QString::number(QCoreApplication::applicationPid()) +
                                  QStringLiteral("-XXXXXX"));
}

int RemoveStaleTypesetFolders(const QString& tempDir) {
    int removed = 0;
    const QStringList names =
        QDir(tempDir).entryList({kPrefix + u'*'}, QDir::Dirs | QDir::Hidden | QDir::NoSymLinks);
    for (const QString& name : names) {
        const QStringView rest = QStringView(name).sliced(kPrefix.size());
        bool number = false;
        const qint64 pid = rest.first(qMax<qsizetype>(rest.indexOf(u'-'), 0)).toLongLong(&number);
        const QString path = QDir(tempDir).filePath(name);
        struct stat found {};
        // Only the user's own folders, never through a link.
        if (!number || !processEnded(pid) ||
            ::lstat(QFile::encodeName(path).constData(), &found) != 0 || !S_ISDIR(found.st_mode) ||
            found.st_uid != ::geteuid())
            continue;
        if (QDir(path).removeRecursively())
            ++removed;
    }
    return removed;
}
