#include "store/WindowMemory.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

TEST_F(WindowMemoryTest, AFileThatCannotBeWrittenIsReported) {
    ASSERT_TRUE(QDir(folder.path()).mkdir(WindowMemory::FileName())); // a folder in the way
    WindowMemory memory(path());
    memory.RememberChoice(u"k"_s, u"m"_s);
    const Expected<void> saved = memory.Save();
    ASSERT_FALSE(saved);
    EXPECT_TRUE(saved.error().contains(WindowMemory::FileName()));
}

} // namespace
