#include "RunningProgram.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

constexpr int kStartTimeoutMs = 60000;

// A root user (a container, this test machine in CI) gets a working window with the
// web view's sandbox off and one line saying so; anyone else keeps the sandbox.
TEST(ProgramStart, ShowsTheChatPageAndSaysWhenTheSandboxIsOff) {
    QTemporaryDir home;
    QTemporaryDir working;
    RunningProgram program(QStringLiteral(TOVIK_L_PATH), {},
                           RunningProgram::offscreenEnvironment(home.path()), working.path());

    ASSERT_TRUE(program.waitForWebEngine(kStartTimeoutMs)) << program.standardError().toStdString();
    EXPECT_TRUE(program.isRunning());
    program.close(kStartTimeoutMs);

    const QString errors = program.standardError();
    const bool root = geteuid() == 0;
    EXPECT_EQ(errors.count(QStringLiteral("sandbox is turned off")), root ? 1 : 0)
        << errors.toStdString();
    EXPECT_FALSE(errors.contains(QStringLiteral("without --no-sandbox"))) << errors.toStdString();
}

} // namespace
