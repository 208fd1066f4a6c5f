#include "store/FileRemover.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

TEST(FileRemover, GivesTheSystemTextWhenAFileCannotBeDeleted) {
    QTemporaryDir folder;
    QFile file(folder.filePath(u"chat.json"_s));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(SystemFileRemover().Remove(file.fileName()));
    EXPECT_FALSE(file.exists());
    const Expected<void> removed = SystemFileRemover().Remove(file.fileName());
    ASSERT_FALSE(removed);
    EXPECT_FALSE(removed.error().isEmpty());
}

} // namespace
