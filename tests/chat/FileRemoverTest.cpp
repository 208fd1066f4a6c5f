#include "FileRemover.h"

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
    EXPECT_EQ(SystemFileRemover().Remove(file.fileName()), std::nullopt);
    EXPECT_FALSE(file.exists());
    const std::optional<QString> error = SystemFileRemover().Remove(file.fileName());
    ASSERT_TRUE(error.has_value());
    EXPECT_FALSE(error->isEmpty());
}

} // namespace
