#include "text/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

class RegularFileTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return QDir(m_folder.path()).filePath(name); }

    QString write(const QString& name, const QByteArray& bytes) const {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    QTemporaryDir m_folder;
};

// Whatever stands where a file is expected, a pipe no one writes to or a device that
// never ends, the answer comes at once.
TEST_F(RegularFileTest, ReadsOnlyRegularFilesWithinTheLimit) {
    constexpr qint64 kLimit = 2 * 1024 * 1024;
    write(u"fits.txt"_s, QByteArray(kLimit, 'a'));
    {
        QFile large(path(u"large.txt"_s)); // sparse: nothing is really written
        ASSERT_TRUE(large.open(QIODevice::WriteOnly));
        ASSERT_TRUE(large.resize(kLimit + 1));
    }
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(u"pipe.txt"_s)).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(path(u"pipe.txt"_s), path(u"to-pipe.txt"_s)));
    ASSERT_TRUE(QFile::link(u"/dev/zero"_s, path(u"zero.txt"_s)));
    ASSERT_TRUE(QFile::link(path(u"fits.txt"_s), path(u"to-fits.txt"_s)));
    ASSERT_TRUE(QFile::link(path(u"gone.txt"_s), path(u"dangling.txt"_s)));
    ASSERT_TRUE(QDir(m_folder.path()).mkdir(u"folder.txt"_s));
    // A regular file that even root cannot read: this process's memory from address 0.
    ASSERT_TRUE(QFile::link(u"/proc/self/mem"_s, path(u"unreadable.txt"_s)));

    const struct {
        QString name;
        std::optional<FileRefusal> cause;
        QString reason;
    } cases[] = {
        {u"fits.txt"_s, std::nullopt, {}},
        {u"to-fits.txt"_s, std::nullopt, {}},
        {u"large.txt"_s, FileRefusal::TooLarge, u"файл больше 2 МБ"_s},
        {u"pipe.txt"_s, FileRefusal::NotAFile, u"это не файл"_s},
        {u"to-pipe.txt"_s, FileRefusal::NotAFile, u"это не файл"_s},
        {u"zero.txt"_s, FileRefusal::NotAFile, u"это не файл"_s},
        {u"folder.txt"_s, FileRefusal::NotAFile, u"это не файл"_s},
        {u"missing.txt"_s, FileRefusal::Missing, u"файл не найден"_s},
        {u"dangling.txt"_s, FileRefusal::Missing, u"файл не найден"_s},
        {u"unreadable.txt"_s, FileRefusal::Unreadable, qt_error_string(EIO)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const Expected<QByteArray, FileReadFailure> read = ReadRegularFile(path(c.name), kLimit);
        if (!c.cause) {
            ASSERT_TRUE(read.has_value()) << read.error().Reason.toStdString();
            EXPECT_EQ(*read, QByteArray(kLimit, 'a'));
            continue;
        }
        ASSERT_FALSE(read.has_value());
        EXPECT_EQ(read.error().Cause, *c.cause);
        EXPECT_EQ(read.error().Reason, c.reason);
        // Opening alone says the same, and leaves nothing open.
        QFile file(path(c.name));
        const Expected<void, FileReadFailure> opened = OpenRegularFile(file, kLimit);
        ASSERT_EQ(opened.has_value(), *c.cause == FileRefusal::Unreadable);
        if (!opened.has_value()) {
            EXPECT_EQ(opened.error().Cause, *c.cause);
        }
        EXPECT_EQ(file.isOpen(), opened.has_value());
    }
}

// A file opened is an ordinary QFile: unbuffered reading and the file's size work as ever.
TEST_F(RegularFileTest, OpensInTheModeAsked) {
    const QString small = write(u"small.txt"_s, "line one\nline two\n");
    QFile file(small);
    ASSERT_TRUE(OpenRegularFile(file, 100, QIODevice::ReadOnly | QIODevice::Unbuffered));
    EXPECT_EQ(file.openMode(), QIODevice::ReadOnly | QIODevice::Unbuffered);
    EXPECT_EQ(file.size(), 18);
    EXPECT_EQ(file.readLine(), "line one\n");
    EXPECT_EQ(ReadRegularFile(small, 18).value(), "line one\nline two\n");
    EXPECT_EQ(ReadRegularFile(small, 17).error().Cause, FileRefusal::TooLarge);
    EXPECT_EQ(ReadRegularFile(write(u"empty.txt"_s, {}), 0).value(), QByteArray());
}

} // namespace
