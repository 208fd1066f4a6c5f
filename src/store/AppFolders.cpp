#include "store/AppFolders.h"

#include <QDir>

QString AppFolders::chatsDir() const {
    return inProgramDir(QStringLiteral("chats"));
}

QString AppFolders::inProgramDir(const QString& name) const {
    return QDir(programDir).filePath(name);
}

QString AppFolders::inWorkingDir(const QString& name) const {
    return QDir(workingDir).filePath(name);
}
