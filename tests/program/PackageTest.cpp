#include "FolderContents.h"
#include "RunningProgram.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;

constexpr int kStartTimeoutMs = 60000;

// The Debian package as a user gets it (the build packs it), unpacked into a root of its
// own.
class Package : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QFileInfo(deb).isFile())
            << FolderContents(QFileInfo(deb).path()).join(u' ').toStdString();
        ASSERT_EQ(RunToEnd(u"dpkg"_s, {u"-x"_s, deb, root()}).exitCode, 0);
    }

    QString root() const { return dir.filePath(u"root"_s); }

    const QString deb = QStringLiteral(TOVIK_PACKAGE_PATH);
    QTemporaryDir dir;
};

// Listed, and started from the unpacked root with a fresh home folder. Whatever the
// program writes goes under that home, nothing into the unpacked files or the folder it
// was started from.
TEST_F(Package, HoldsTheProgramAndRunsFromAnUnpackedRoot) {
    const CommandResult listed = RunToEnd(u"dpkg-deb"_s, {u"-c"_s, deb});
    ASSERT_EQ(listed.exitCode, 0);
    for (const char* path :
         {"./usr/bin/tovik-l", "./usr/bin/tovik-md",
          "./usr/share/applications/ru.tovik.TovikL.desktop",
          "./usr/share/icons/hicolor/scalable/apps/ru.tovik.TovikL.svg",
          "./usr/share/metainfo/ru.tovik.TovikL.metainfo.xml", "./usr/share/doc/tovik-l/copyright"})
        EXPECT_TRUE(listed.out.contains(QByteArray(path) + '\n')) << path;

    const CommandResult depends = RunToEnd(u"dpkg-deb"_s, {u"-f"_s, deb, u"Depends"_s});
    for (const char* package : {"libqt6webenginewidgets6", "libqt6webenginecore6-bin", "libcurl4",
                                "fonts-noto-color-emoji", "qt6-translations-l10n"})
        EXPECT_TRUE(depends.out.contains(package)) << package;
    EXPECT_EQ(RunToEnd(u"dpkg-deb"_s, {u"-f"_s, deb, u"Recommends"_s}).out, "fonts-noto-cjk\n");

    const QStringList unpacked = FolderContents(root());
    const CommandResult version = RunToEnd(root() + u"/usr/bin/tovik-md"_s, {u"--version"_s});
    EXPECT_EQ(version.out, QByteArray("tovik-md " TOVIK_VERSION "\n"));

    const QString home = dir.filePath(u"home"_s);
    const QString working = dir.filePath(u"working"_s);
    ASSERT_TRUE(QDir().mkpath(home) && QDir().mkpath(working));
    {
        RunningProgram program(root() + u"/usr/bin/tovik-l"_s, {},
                               RunningProgram::offscreenEnvironment(home), working);
        ASSERT_TRUE(program.waitForWebEngine(kStartTimeoutMs))
            << program.standardError().toStdString();
        ASSERT_TRUE(program.close(kStartTimeoutMs));
        EXPECT_EQ(program.exitCode(), 0);
    }
    EXPECT_TRUE(QFileInfo(home + u"/.local/share/Tovik-L/chats"_s).isDir())
        << FolderContents(home).join(u' ').toStdString();
    EXPECT_EQ(FolderContents(root()), unpacked);
    EXPECT_EQ(FolderContents(working), QStringList());
}

// Debian's own checkers, where they are installed. A case of its own, so that it runs
// beside the one above.
TEST_F(Package, PassesDebiansCheckers) {
    const QString lintian = QStandardPaths::findExecutable(u"lintian"_s);
    if (!lintian.isEmpty()) {
        const CommandResult checked = RunToEnd(lintian, {u"--fail-on"_s, u"error"_s, deb});
        EXPECT_EQ(checked.exitCode, 0) << checked.out.toStdString() << checked.err.toStdString();
    }
    const QString appstream = QStandardPaths::findExecutable(u"appstreamcli"_s);
    if (!appstream.isEmpty()) {
        const CommandResult checked =
            RunToEnd(appstream, {u"validate"_s, u"--no-net"_s,
                                 root() + u"/usr/share/metainfo/ru.tovik.TovikL.metainfo.xml"_s});
        EXPECT_EQ(checked.exitCode, 0) << checked.out.toStdString() << checked.err.toStdString();
    }
}

} // namespace
