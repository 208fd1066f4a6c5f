#include "FolderContents.h"
#include "RunningProgram.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using namespace Qt::StringLiterals;

constexpr int kStartTimeoutMs = 60000;

// The program as a user has it: a copy of the executable in a folder of its own, started
// from another folder, with a home folder of its own.
class ProgramStart : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        for (const QString& name : {u"bin"_s, u"working"_s, u"home"_s})
            ASSERT_TRUE(QDir(root.path()).mkpath(name));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TOVIK_L_PATH), executable()));
    }

    QString executable() const { return root.filePath(u"bin/tovik-l"_s); }
    QString home() const { return root.filePath(u"home"_s); }

    QTemporaryDir root;
};

// A root user (a container, this test machine in CI) gets a working window with the
// web view's sandbox off and one line saying so; anyone else keeps the sandbox. The data
// goes to the user's data folder and nowhere else; a termination signal closes the window
// as the user would.
TEST_F(ProgramStart, StartsAnyUserWithDataInTheHomeFolderAndClosesOnSignal) {
    RunningProgram program(executable(), {}, RunningProgram::offscreenEnvironment(home()),
                           root.filePath(u"working"_s));
    ASSERT_TRUE(program.waitForWebEngine(kStartTimeoutMs)) << program.standardError().toStdString();
    ASSERT_TRUE(program.close(kStartTimeoutMs));
    EXPECT_EQ(program.exitCode(), 0);

    const QString errors = program.standardError();
    const bool asRoot = geteuid() == 0;
    EXPECT_EQ(errors.count(u"sandbox is turned off"_s), asRoot ? 1 : 0) << errors.toStdString();
    EXPECT_FALSE(errors.contains(u"without --no-sandbox"_s)) << errors.toStdString();

    EXPECT_TRUE(QFileInfo(root.filePath(u"home/.local/share/Tovik-L/chats"_s)).isDir());
    EXPECT_EQ(FolderContents(root.filePath(u"bin"_s)), QStringList{u"tovik-l"_s});
    EXPECT_EQ(FolderContents(root.filePath(u"working"_s)), QStringList());
}

TEST_F(ProgramStart, PrintsItsVersion) {
    const CommandResult run = RunToEnd(executable(), {u"--version"_s});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, QByteArray("tovik-l " TOVIK_VERSION "\n"));
}

} // namespace
