#include "store/DataLocation.h"
#include "FolderContents.h"
#include "OrdinaryUser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace Qt::StringLiterals;

constexpr QFileDevice::Permissions kOwnerOnly =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

QFileDevice::Permissions permissionsOf(const QString& path) {
    // The "user" bits mirror whichever of owner, group or other applies to the test.
    return QFileInfo(path).permissions() &
           ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

class DataLocationTest : public ::testing::Test {
protected:
    void SetUp() override { makeFolders(); }

    // A fresh root holding the program's folder, the working folder and a home folder.
    void makeFolders() {
        root = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(root->isValid());
        for (const QString& name : {u"program"_s, u"working"_s, u"home"_s})
            ASSERT_TRUE(QDir(root->path()).mkpath(name));
    }

    QString path(const QString& name) const { return root->filePath(name); }

    DataLocationRequest request(const QString& dataDirOption = {}) const {
        return {dataDirOption, path(u"program"_s), path(u"working"_s),
                path(u"home/.local/share/Tovik-L"_s)};
    }

    void touch(const QString& name) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    std::unique_ptr<QTemporaryDir> root;
};

struct Case {
    const char* name;
    // What sits beside the program before it starts.
    const char* besideProgram;
    const char* dataDirOption;
    DataMode mode;
    // Where chats go and where the lists go, relative to the test's root.
    const char* chatsParent;
    const char* listsDir;
};

TEST_F(DataLocationTest, ChoosesTheFolderAndCreatesOnlyIt) {
    const Case cases[] = {
        {"user's data folder by default", "", "", DataMode::Standard, "home/.local/share/Tovik-L",
         "home/.local/share/Tovik-L"},
        {"a portable file keeps the layout", "portable", "", DataMode::Portable, "program",
         "working"},
        {"an earlier version's chats stay where they are", "chats/", "", DataMode::Portable,
         "program", "working"},
        {"--data-dir wins, relative to the working folder", "portable", "../mine",
         DataMode::Explicit, "mine", "mine"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeFolders();
        const QString beside = QString::fromUtf8(c.besideProgram);
        if (beside.endsWith(u'/'))
            ASSERT_TRUE(QDir(path(u"program"_s)).mkpath(beside));
        else if (!beside.isEmpty())
            touch(u"program/"_s + beside);
        const QStringList before = FolderContents(root->path());

        const DataLocation location =
            ChooseDataLocation(request(QString::fromUtf8(c.dataDirOption)));
        EXPECT_EQ(location.mode, c.mode);
        EXPECT_EQ(location.folders.programDir,
                  QDir::cleanPath(path(QString::fromUtf8(c.chatsParent))));
        EXPECT_EQ(location.folders.workingDir,
                  QDir::cleanPath(path(QString::fromUtf8(c.listsDir))));

        ASSERT_TRUE(PrepareDataLocation(location));
        const QString chats = location.folders.chatsDir();
        EXPECT_TRUE(QFileInfo(chats).isDir());
        QStringList created = FolderContents(root->path());
        for (const QString& old : before)
            created.removeOne(old);
        for (const QString& entry : created) {
            // Only the data folder and its parents: nothing beside the program or in the
            // working folder unless the portable layout puts the chats there.
            EXPECT_TRUE(QDir::cleanPath(path(entry)) == chats ||
                        location.folders.programDir.startsWith(QDir::cleanPath(path(entry))))
                << entry.toStdString();
        }
        if (beside != u"chats/"_s) {
            EXPECT_EQ(permissionsOf(chats), kOwnerOnly);
        }
        if (location.mode != DataMode::Portable) {
            EXPECT_EQ(permissionsOf(location.folders.programDir), kOwnerOnly);
        }
    }
}

// The whole message is the user's language: which folder, and why in Russian, naming the
// folder on the way that stood in it.
TEST_F(DataLocationTest, AFolderThatCannotBeMadeIsReportedAndNothingIsWrittenElsewhere) {
    touch(u"working/file"_s);
    ASSERT_TRUE(QFile::link(path(u"nowhere"_s), path(u"working/dangling"_s)));
    ASSERT_TRUE(QDir(root->path()).mkpath(u"working/locked"_s));
    ASSERT_TRUE(QFile::setPermissions(path(u"working/locked"_s),
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const QString file = QDir::toNativeSeparators(path(u"working/file"_s));
    const QString dangling = QDir::toNativeSeparators(path(u"working/dangling"_s));
    struct Refusal {
        QString option;
        QString reason;
    };
    const Refusal cases[] = {
        {u"file"_s, u"это файл, а не папка"_s},
        {u"file/data"_s, file + u": это файл, а не папка"_s},
        {u"dangling"_s, u"это ссылка, которая никуда не ведёт"_s},
        {u"dangling/data"_s, dangling + u": нет такого файла или папки"_s},
        {u"locked"_s, u"нет прав доступа"_s},
        {u"locked/data"_s, u"нет прав доступа"_s},
    };
    const QStringList before = FolderContents(root->path());
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.option.toStdString());
        const DataLocation location = ChooseDataLocation(request(c.option));
        QString problem;
        {
            const OrdinaryUser user(root->path());
            problem = PrepareDataLocation(location).error();
        }
        const QString expected = u"Не удалось подготовить папку данных "_s +
                                 QDir::toNativeSeparators(path(u"working/"_s + c.option)) +
                                 u": "_s + c.reason;
        EXPECT_EQ(problem.toStdString(), expected.toStdString());
        EXPECT_EQ(FolderContents(root->path()), before);
    }
}

TEST(DataFolderForDisplay, ShowsTheHomeFolderAsTilde) {
    const DataLocation location{DataMode::Standard,
                                AppFolders{u"/home/anna/.local/share/Tovik-L"_s, {}}};
    EXPECT_EQ(DataFolderForDisplay(location, u"/home/anna"_s), u"~/.local/share/Tovik-L"_s);
    EXPECT_EQ(DataFolderForDisplay(location, u"/home/ann"_s), u"/home/anna/.local/share/Tovik-L"_s);
    EXPECT_EQ(DataFolderForDisplay(location, u"/"_s), u"/home/anna/.local/share/Tovik-L"_s);
}

} // namespace
