#include "store/WindowMemory.h"

#include "text/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

class WindowMemoryTest : public ::testing::Test {
protected:
    QString path() const { return QDir(folder.path()).filePath(WindowMemory::FileName()); }

    QTemporaryDir folder;
};

TEST_F(WindowMemoryTest, WithNothingRememberedTheFirstEntriesAreChosen) {
    const WindowMemory memory(path());
    EXPECT_EQ(memory.KeyEntry({u"k1"_s, u"k2"_s}), 0);
    EXPECT_EQ(memory.ModelEntry({u"m1"_s}), 0);
    EXPECT_EQ(memory.KeyEntry({}), -1);
    EXPECT_TRUE(memory.Geometry().isEmpty());
}

TEST_F(WindowMemoryTest, TheLastChoiceAndLayoutComeBackAtTheNextStart) {
    {
        WindowMemory memory(path());
        memory.RememberChoice(u"AIza-second"_s, u"gemini-2.5-flash"_s);
        memory.SetLayout("geometry-bytes", "splitter-bytes");
        ASSERT_TRUE(memory.Save());
    }
    const WindowMemory memory(path());
    const QStringList keys{u"AIza-first"_s, u"AIza-second"_s};
    const QStringList models{u"gemini-2.5-pro"_s, u"gemini-2.5-flash"_s};
    EXPECT_EQ(memory.KeyEntry(keys), 1);
    EXPECT_EQ(memory.ModelEntry(models), 1);
    EXPECT_EQ(memory.Geometry(), "geometry-bytes");
    EXPECT_EQ(memory.SplitterState(), "splitter-bytes");
    // A choice removed from its list since falls back to the first entry.
    EXPECT_EQ(memory.KeyEntry({u"AIza-first"_s}), 0);
    EXPECT_EQ(memory.ModelEntry({u"gemini-2.5-pro"_s}), 0);

    // The key itself is never written: the key list is where keys live.
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("AIza-second"));
}

// QSettings would read the whole file, or wait on a pipe for ever: such a file is not read,
// the window opens as the first time, and the file is left as it is.
TEST_F(WindowMemoryTest, AFileAboveTheLimitOrAPipeIsNeitherReadNorWritten) {
    const QByteArray large = "[choice]\nmodel=m2\n; " + QByteArray(kMaxSmallFileSize, 'x') + '\n';
    const auto expectLeftAlone = [&](const QString& reason) {
        WindowMemory memory(path());
        ASSERT_FALSE(memory.Loaded());
        EXPECT_TRUE(memory.Loaded().error().contains(WindowMemory::FileName() + u": "_s + reason))
            << memory.Loaded().error().toStdString();
        EXPECT_EQ(memory.ModelEntry({u"m1"_s, u"m2"_s}), 0);
        memory.RememberChoice(u"k"_s, u"m1"_s);
        EXPECT_FALSE(memory.Save());
    };
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(large);
    }
    expectLeftAlone(u"файл больше 1 МБ"_s);
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), large);

    ASSERT_TRUE(QFile::remove(path()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
    expectLeftAlone(u"это не файл"_s);
    EXPECT_TRUE(QFileInfo(path()).exists() && !QFileInfo(path()).isFile());
}

TEST_F(WindowMemoryTest, AFileThatCannotBeWrittenIsReported) {
    ASSERT_TRUE(QDir(folder.path()).mkdir(WindowMemory::FileName())); // a folder in the way
    WindowMemory memory(path());
    memory.RememberChoice(u"k"_s, u"m"_s);
    const Expected<void> saved = memory.Save();
    ASSERT_FALSE(saved);
    EXPECT_TRUE(saved.error().contains(WindowMemory::FileName()));
}

} // namespace
