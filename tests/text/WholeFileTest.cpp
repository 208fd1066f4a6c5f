#include "text/WholeFile.h"
#include "FileSizeLimit.h"
#include "FolderContents.h"
#include "OrdinaryUser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// A regular file's bytes; reading a pipe would wait for a writer.
QByteArray contentsOf(const QString& path) {
    if (!QFileInfo(path).isFile())
        return "(no file)";
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

void put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Whatever stands at the chosen name or goes wrong on the way, the name holds the old
// file or the new one whole, nothing else is left in the folder, and a pipe or a device
// is never opened (a pipe no one reads would hold the writer forever).
TEST(WriteWholeFile, WritesWholeOrLeavesTheTargetAsItWas) {
    const QByteArray old = "old contents";
    const QByteArray fresh(100, 'n');
    struct Case {
        const char* name;
        // Where the file goes, relative to the test's folder.
        QString target;
        // What is there before.
        std::function<void(const QString& folder)> prepare;
        // The failure expected; empty for success.
        QString reason;
        // The target folder's contents after it.
        QStringList after;
    };
    const auto withOld = [&](const QString& folder) { put(folder + u"/out.md"_s, old); };
    const Case cases[] = {
        {"a new file", u"out.md"_s, [](const QString&) {}, {}, {u"out.md"_s}},
        {"over an old file", u"out.md"_s, withOld, {}, {u"out.md"_s}},
        {"over a pipe",
         u"out.md"_s,
         [](const QString& folder) {
             ASSERT_EQ(::mkfifo(QFile::encodeName(folder + u"/out.md"_s).constData(), 0600), 0);
         },
         u"это не обычный файл, а канал, сокет или устройство"_s,
         {u"out.md"_s}},
        {"over a folder",
         u"out.md"_s,
         [](const QString& folder) { ASSERT_TRUE(QDir(folder).mkdir(u"out.md"_s)); },
         u"это папка, а не файл"_s,
         {u"out.md"_s}},
        {"in a folder that is not there",
         u"missing/out.md"_s,
         [](const QString&) {},
         u"нет такого файла или папки"_s,
         {}},
        {"in a read-only folder",
         u"read-only/out.md"_s,
         [&](const QString& folder) {
             ASSERT_TRUE(QDir(folder).mkdir(u"read-only"_s));
             put(folder + u"/read-only/out.md"_s, old);
             ASSERT_EQ(::chmod(QFile::encodeName(folder + u"/read-only"_s).constData(), 0555), 0);
         },
         u"нет прав доступа"_s,
         {u"read-only"_s, u"read-only/out.md"_s}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        c.prepare(folder.path());
        const QString target = folder.filePath(c.target);
        const QByteArray before = contentsOf(target);
        Expected<void> written;
        {
            const OrdinaryUser user(folder.path());
            written = WriteWholeFile(target, fresh);
        }
        EXPECT_EQ(written.error().toStdString(), c.reason.toStdString());
        if (c.reason.isEmpty()) {
            EXPECT_EQ(contentsOf(target), fresh);
        } else {
            EXPECT_EQ(contentsOf(target), before);
        }
        EXPECT_EQ(FolderContents(folder.path()), c.after);
    }
}

// A write that fails half-way, as on a full disk, leaves the old file and no part of the
// new one.
TEST(WriteWholeFile, AWriteThatFailsHalfWayLeavesTheOldFile) {
    QTemporaryDir folder;
    const QString target = folder.filePath(u"out.pdf"_s);
    put(target, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    Expected<void> written;
    {
        const FileSizeLimit limit(16);
        written = WriteWholeFile(target, QByteArray(4096, 'n'));
    }
    EXPECT_EQ(written.error().toStdString(), "файл слишком велик");
    EXPECT_EQ(contentsOf(target), "old");
    EXPECT_EQ(FolderContents(folder.path()), QStringList{u"out.pdf"_s});

    // The file that replaces it keeps its permissions.
    ASSERT_TRUE(WriteWholeFile(target, "new"));
    EXPECT_EQ(contentsOf(target), "new");
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
}

} // namespace
