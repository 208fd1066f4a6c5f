#include "store/TypesetFolders.h"
#include "FolderContents.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A process id that has just ended.
qint64 endedProcess() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

// A folder a killed export left goes at the next start, with the chat text in it; what a
// running copy of the program uses, and anything not made by an export, stays.
TEST(TypesetFolders, TheNextStartRemovesOnlyWhatEndedRunsLeft) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString ended = QString::number(endedProcess());
    const QString running = QString::number(QCoreApplication::applicationPid());
    QTemporaryDir mine(TypesetFolderTemplate(temp.path()));
    ASSERT_TRUE(mine.isValid());
    const QString mineName = QDir(temp.path()).relativeFilePath(mine.path());
    EXPECT_TRUE(mineName.startsWith(u"tovik-l-typeset-"_s + running + u'-'))
        << mineName.toStdString();
    const QStringList kept = {mineName, u"tovik-l-typeset-x-1"_s, u"other-"_s + ended + u"-1"_s};
    for (const QString& name : kept + QStringList{u"tovik-l-typeset-"_s + ended + u"-AbC123"_s}) {
        ASSERT_TRUE(QDir(temp.path()).mkpath(name));
        QFile chat(QDir(temp.path()).filePath(name + u"/chat.html"_s));
        ASSERT_TRUE(chat.open(QIODevice::WriteOnly));
    }
    // A link with the right name leads elsewhere, which is never touched.
    ASSERT_TRUE(QFile::link(temp.filePath(u"other-"_s + ended + u"-1"_s),
                            temp.filePath(u"tovik-l-typeset-"_s + ended + u"-link"_s)));

    EXPECT_EQ(RemoveStaleTypesetFolders(temp.path()), 1);
    QStringList left;
    for (const QString& name : kept)
        left << name << name + u"/chat.html"_s;
    left << u"tovik-l-typeset-"_s + ended + u"-link"_s;
    left.sort();
    EXPECT_EQ(FolderContents(temp.path()), left);
}

} // namespace
