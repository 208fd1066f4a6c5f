#include "store/ApiKeyStatsU.h"
#include "text/Clock.h"
#include "chat/GeminiDM.h"
#include "app/KeyModelPanel.h"
#include "app/MainWindow.h"
#include "text/RegularFile.h"
#include "service/ModelList.h"
#include "WindowTest.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/fsuid.h>
#include <unistd.h>

#include <optional>

namespace {

const QString kDeleteModel = QStringLiteral("Удалить Модель?\r\nДействие необратимо.");
const QString kDeleteKey = QStringLiteral("Удалить этот ключ?\r\nДействие необратимо.");

QStringList entries(const QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts.append(box->itemText(i));
    return texts;
}

// Takes another user's identity for file access on this thread, root's capabilities to
// read past permission bits with it, and gives them back when it goes.
class FileSystemUser {
public:
    explicit FileSystemUser(uid_t user) : m_previous(::setfsuid(user)) { ::setfsgid(user); }
    ~FileSystemUser() {
        ::setfsgid(m_previous);
        ::setfsuid(m_previous);
    }
    FileSystemUser(const FileSystemUser&) = delete;
    FileSystemUser& operator=(const FileSystemUser&) = delete;

private:
    uid_t m_previous;
};

class KeyModelListsTest : public WindowTest {
protected:
    // The lists are read when the window shows, so each test writes its files first.
    KeyModelListsTest() : WindowTest(QDateTime(QDate(2025, 3, 1), QTime(12, 0)), false) {}

    void start() { showWindow(); }

    QString working(const char* name) const {
        return QDir(workingDir.path()).filePath(QString::fromUtf8(name));
    }

    static void writeBytes(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    static QByteArray readBytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    void countRequests(const QString& key, const QString& model, int times) const {
        for (int i = 0; i < times; ++i)
            ASSERT_TRUE(IncrementTodayRequestCount(programDir.path(), key, model));
    }

    static void pressEnter(QComboBox* box, const QString& text) {
        box->setEditText(text);
        QTest::keyClick(box, Qt::Key_Return);
    }
};

TEST_F(KeyModelListsTest, FirstStartWritesTheListFilesAndShowsTheFirstModel) {
    start();
    EXPECT_EQ(readBytes(working("Models.txt")),
              QByteArray("gemini-2.5-pro\r\ngemini-2.5-flash\r\ngemini-2.5-flash-lite\r\n"));
    EXPECT_EQ(readBytes(working("Keys.txt")), QByteArray());
    const auto ownerGroupOther = QFileDevice::Permissions::fromInt(0x7077);
    EXPECT_EQ(QFile::permissions(working("Keys.txt")) & ownerGroupOther,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(control<QComboBox>("cbModels")->currentText(), QStringLiteral("gemini-2.5-pro"));
    EXPECT_EQ(control<QComboBox>("editApiKey")->count(), 0);
    EXPECT_EQ(control<QComboBox>("editApiKey")->currentText(), QString());
    EXPECT_EQ(control<QLabel>("CountLabel")->text(), QStringLiteral("0")); // no key yet
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(KeyModelListsTest, LoadsTheListsAndCountsTheShownKeyAndModel) {
    writeBytes(working("Keys.txt"), "k1\r\n\r\nk2\n");
    writeBytes(working("Models.txt"), "\xEF\xBB\xBF"
                                      "m1\r\nm2\r\n");
    countRequests(QStringLiteral("k1"), QStringLiteral("m1"), 5);
    countRequests(QStringLiteral("k1"), QStringLiteral("m2"), 2);
    start();

    EXPECT_EQ(entries(control<QComboBox>("editApiKey")),
              QStringList({QStringLiteral("k1"), QString(), QStringLiteral("k2")}));
    EXPECT_EQ(entries(control<QComboBox>("cbModels")),
              QStringList({QStringLiteral("m1"), QStringLiteral("m2")}));
    EXPECT_EQ(control<QComboBox>("editApiKey")->currentText(), QStringLiteral("k1"));
    EXPECT_EQ(control<QLabel>("CountLabel")->text(), QStringLiteral("5"));

    // Either box changing refreshes the count, typed or picked.
    control<QComboBox>("cbModels")->setCurrentIndex(1);
    EXPECT_EQ(control<QLabel>("CountLabel")->text(), QStringLiteral("2"));
    control<QComboBox>("editApiKey")->setCurrentIndex(2);
    EXPECT_EQ(control<QLabel>("CountLabel")->text(), QStringLiteral("0"));
    control<QComboBox>("editApiKey")->setCurrentIndex(1);
    EXPECT_EQ(control<QLabel>("CountLabel")->text(), QStringLiteral("0"));
    control<QComboBox>("editApiKey")->lineEdit()->clear();
    QTest::keyClicks(control<QComboBox>("editApiKey"), QStringLiteral("k1"));
    EXPECT_EQ(control<QLabel>("CountLabel")->text(), QStringLiteral("2"));

    // Every show reads the files again and shows their first entries.
    writeBytes(working("Models.txt"), "m3\r\n");
    form->hide();
    form->show();
    EXPECT_EQ(entries(control<QComboBox>("cbModels")), QStringList{QStringLiteral("m3")});
    EXPECT_EQ(control<QComboBox>("editApiKey")->currentText(), QStringLiteral("k1"));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(KeyModelListsTest, EnterAddsTheTextAsTypedUnlessItIsListed) {
    writeBytes(working("Models.txt"), "\xEF\xBB\xBF"
                                      "gemini-2.5-pro\r\n");
    start();
    // Keys typed into the box reach it, not only its text field.
    EXPECT_EQ(control<QComboBox>("editApiKey")->lineEdit()->focusProxy(),
              control<QComboBox>("editApiKey"));

    pressEnter(control<QComboBox>("cbModels"), QStringLiteral("GEMINI-2.5-PRO"));
    EXPECT_EQ(entries(control<QComboBox>("cbModels")),
              QStringList{QStringLiteral("gemini-2.5-pro")});
    EXPECT_EQ(form->StatusText(), QStringLiteral("Эта модель уже в списке"));
    // The box itself picks the listed entry on Enter; the handler's own check holds too.
    control<QComboBox>("cbModels")->setEditText(QStringLiteral("Gemini-2.5-Pro"));
    form->findChild<KeyModelPanel*>()->cbModelsKeyUp(Qt::Key_Return);
    EXPECT_EQ(entries(control<QComboBox>("cbModels")),
              QStringList{QStringLiteral("gemini-2.5-pro")});
    pressEnter(control<QComboBox>("cbModels"), QStringLiteral("my-model"));
    EXPECT_EQ(readBytes(working("Models.txt")), QByteArray("\xEF\xBB\xBF"
                                                           "gemini-2.5-pro\r\nmy-model\r\n"));
    EXPECT_EQ(form->StatusText(), QStringLiteral("Модель сохранена"));

    pressEnter(control<QComboBox>("editApiKey"), QStringLiteral("key-1 "));
    EXPECT_EQ(form->StatusText(), QStringLiteral("Ключ сохранён"));
    control<QComboBox>("editApiKey")->setEditText(QStringLiteral("key-2"));
    QTest::keyClick(control<QComboBox>("editApiKey"), Qt::Key_A); // only Enter adds
    pressEnter(control<QComboBox>("editApiKey"), QString());
    pressEnter(control<QComboBox>("editApiKey"), QString());
    EXPECT_EQ(entries(control<QComboBox>("editApiKey")),
              QStringList({QStringLiteral("key-1 "), QString()}));
    EXPECT_EQ(readBytes(working("Keys.txt")), QByteArray("key-1 \r\n\r\n"));
    EXPECT_EQ(QFile::permissions(working("Keys.txt")) &
                  (QFileDevice::ReadGroup | QFileDevice::ReadOther),
              QFileDevice::Permissions());
    EXPECT_TRUE(dialogs.questions.isEmpty());
}

// A removed entry leaves the box too, so it is not sent or saved again by mistake.
TEST_F(KeyModelListsTest, DeletingAsksFirstAndEmptiesTheBox) {
    writeBytes(working("Keys.txt"), "k1\r\nk2\r\n");
    countRequests(QStringLiteral("k1"), QStringLiteral("gemini-2.5-flash"), 3);
    start();
    const QByteArray models = readBytes(working("Models.txt"));

    // A name typed but never added is not asked about.
    control<QComboBox>("cbModels")->setEditText(QStringLiteral("typed-model"));
    control<QAction>("N8")->trigger();
    EXPECT_TRUE(dialogs.questions.isEmpty());

    control<QComboBox>("cbModels")->setEditText(QStringLiteral("GEMINI-2.5-FLASH"));
    dialogs.answers = {false};
    control<QAction>("N8")->trigger();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0].text, kDeleteModel);
    EXPECT_EQ(control<QComboBox>("cbModels")->count(), 3);
    EXPECT_EQ(readBytes(working("Models.txt")), models);

    dialogs.answers = {true};
    control<QAction>("N8")->trigger();
    EXPECT_EQ(
        entries(control<QComboBox>("cbModels")),
        QStringList({QStringLiteral("gemini-2.5-pro"), QStringLiteral("gemini-2.5-flash-lite")}));
    EXPECT_EQ(readBytes(working("Models.txt")),
              QByteArray("gemini-2.5-pro\r\ngemini-2.5-flash-lite\r\n"));
    EXPECT_EQ(control<QComboBox>("cbModels")->currentText(), QString());
    EXPECT_EQ(control<QLabel>("CountLabel")->text(), QStringLiteral("0"));

    control<QComboBox>("editApiKey")->setCurrentIndex(1);
    dialogs.answers = {true};
    control<QAction>("N7")->trigger();
    ASSERT_EQ(dialogs.questions.size(), 3);
    EXPECT_EQ(dialogs.questions[2].text, kDeleteKey);
    EXPECT_EQ(entries(control<QComboBox>("editApiKey")), QStringList{QStringLiteral("k1")});
    EXPECT_EQ(readBytes(working("Keys.txt")), QByteArray("k1\r\n"));
    EXPECT_EQ(control<QComboBox>("editApiKey")->currentText(), QString());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(KeyModelListsTest, AFailedWriteIsShownAndTheBoxKeepsItsChange) {
    start();
    // A folder in the way of a file that was read fine at start.
    ASSERT_TRUE(QFile::remove(working("Keys.txt")));
    ASSERT_TRUE(QDir(workingDir.path()).mkdir(QStringLiteral("Keys.txt")));
    pressEnter(control<QComboBox>("editApiKey"), QStringLiteral("k1"));
    EXPECT_EQ(entries(control<QComboBox>("editApiKey")), QStringList{QStringLiteral("k1")});
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].startsWith(QStringLiteral("Не удалось записать файл")));
}

TEST_F(KeyModelListsTest, AListFileThatCannotBeReadIsNeverWritten) {
    // A folder named like the file: it exists and cannot be read, even by root.
    for (const char* name : {"Keys.txt", "Models.txt"})
        ASSERT_TRUE(QDir(workingDir.path()).mkpath(working(name) + QStringLiteral("/kept")));
    start();
    ASSERT_EQ(dialogs.messages.size(), 2);
    const QString unreadable = QStringLiteral("\" недоступен для чтения: ");
    for (const QString& message : dialogs.messages)
        EXPECT_TRUE(message.startsWith(QStringLiteral("Файл \"")) && message.contains(unreadable))
            << message.toStdString();
    // The rest of the first show still runs.
    EXPECT_EQ(form->StatusText(), QStringLiteral("Новый чат начат."));
    EXPECT_EQ(control<QComboBox>("cbModels")->currentText(), QStringLiteral("gemini-2.5-pro"));

    dialogs.messages.clear();
    pressEnter(control<QComboBox>("editApiKey"), QStringLiteral("k1"));
    pressEnter(control<QComboBox>("cbModels"), QStringLiteral("my-model"));
    control<QComboBox>("cbModels")->setEditText(QStringLiteral("gemini-2.5-flash"));
    control<QAction>("N8")->trigger();
    ASSERT_EQ(dialogs.messages.size(), 3);
    EXPECT_TRUE(dialogs.messages[0].contains(working("Keys.txt") + unreadable))
        << dialogs.messages[0].toStdString();
    EXPECT_TRUE(dialogs.messages[1].contains(working("Models.txt") + unreadable));
    EXPECT_TRUE(dialogs.messages[2].contains(working("Models.txt") + unreadable));
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_EQ(control<QComboBox>("editApiKey")->count(), 0);
    EXPECT_EQ(control<QComboBox>("cbModels")->count(), 3);
    for (const char* name : {"Keys.txt", "Models.txt"}) {
        EXPECT_EQ(QDir(working(name)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList{QStringLiteral("kept")});
    }
    EXPECT_EQ(QDir(workingDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());

    // Once the file can be read again, its entries come first and the new one joins them.
    ASSERT_TRUE(QDir(working("Keys.txt")).removeRecursively());
    writeBytes(working("Keys.txt"), "k0\r\n");
    pressEnter(control<QComboBox>("editApiKey"), QStringLiteral("k1"));
    EXPECT_EQ(entries(control<QComboBox>("editApiKey")),
              QStringList({QStringLiteral("k0"), QStringLiteral("k1")}));
    EXPECT_EQ(readBytes(working("Keys.txt")), QByteArray("k0\r\nk1\r\n"));
    // Once it is gone, the box's entries make a new file.
    ASSERT_TRUE(QDir(working("Models.txt")).removeRecursively());
    pressEnter(control<QComboBox>("cbModels"), QStringLiteral("my-model"));
    EXPECT_EQ(
        readBytes(working("Models.txt")),
        QByteArray("gemini-2.5-pro\r\ngemini-2.5-flash\r\ngemini-2.5-flash-lite\r\nmy-model\r\n"));
    EXPECT_EQ(dialogs.messages.size(), 3);
}

TEST_F(KeyModelListsTest, AListFileWithoutReadPermissionIsNeverWritten) {
    const QString keys = working("Keys.txt");
    writeBytes(keys, "secret-key\r\n");
    ASSERT_TRUE(QFile::setPermissions(keys, QFileDevice::WriteOwner));
    // Root reads past permission bits; as another user for file access (this thread only)
    // the bits hold. The file and the folders then belong to, or are open to, that user.
    std::optional<FileSystemUser> other;
    if (::geteuid() == 0) {
        constexpr uid_t kNobody = 65534;
        ASSERT_EQ(::chown(QFile::encodeName(keys).constData(), kNobody, kNobody), 0);
        for (const QTemporaryDir* dir : {&workingDir, &programDir})
            ASSERT_TRUE(
                QFile::setPermissions(dir->path(), QFileDevice::Permissions::fromInt(0x7777)));
        other.emplace(kNobody);
    }
    if (QFile probe(keys); probe.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "permission bits do not stop this user from reading";

    start();
    pressEnter(control<QComboBox>("editApiKey"), QStringLiteral("k1"));
    other.reset();
    ASSERT_EQ(dialogs.messages.size(), 2);
    EXPECT_TRUE(dialogs.messages[0].contains(QStringLiteral("недоступен для чтения: ")));
    EXPECT_EQ(dialogs.messages[1], dialogs.messages[0]);
    EXPECT_EQ(control<QComboBox>("editApiKey")->count(), 0);
    EXPECT_EQ(readBytes(keys), QByteArray("secret-key\r\n"));
}

// Files above the size limit are each reported once at start and the defaults serve; none is
// written over, not when an entry is added nor when the window closes.
TEST_F(KeyModelListsTest, FilesAboveTheLimitAreReportedOnceAndNeverWritten) {
    const QByteArray padding = "; " + QByteArray(kMaxSmallFileSize, 'x') + "\r\n";
    const QList<std::pair<QString, QByteArray>> files{
        {working("Keys.txt"), "k1\r\n" + padding},
        {working("Models.txt"), "my-model\r\n" + padding},
        {working("settings.ini"), "[Service]\nTimeoutSeconds=30\n" + padding},
        {programDir.filePath(QStringLiteral("window.ini")), "[choice]\nmodel=my-model\n" + padding},
    };
    for (const auto& [path, bytes] : files)
        writeBytes(path, bytes);
    start();
    ASSERT_EQ(dialogs.messages.size(), files.size());
    for (const auto& [path, bytes] : files) {
        const QStringList about = dialogs.messages.filter(path);
        ASSERT_EQ(about.size(), 1) << path.toStdString();
        EXPECT_TRUE(about[0].contains(QStringLiteral("файл больше 1 МБ")))
            << about[0].toStdString();
    }
    EXPECT_EQ(control<QComboBox>("editApiKey")->count(), 0);
    EXPECT_EQ(control<QComboBox>("cbModels")->currentText(), QStringLiteral("gemini-2.5-pro"));
    EXPECT_EQ(geminiDM->ReadTimeoutMs(), 480000);

    pressEnter(control<QComboBox>("editApiKey"), QStringLiteral("k2"));
    EXPECT_EQ(dialogs.messages.size(), files.size() + 1);
    form->close();
    for (const auto& [path, bytes] : files)
        EXPECT_EQ(readBytes(path), bytes) << path.toStdString();
}

TEST_F(KeyModelListsTest, AModelNameTheServiceCouldNotGiveIsRefusedAtInput) {
    start();
    const QStringList before = entries(control<QComboBox>("cbModels"));
    pressEnter(control<QComboBox>("cbModels"), QStringLiteral("../../../etc/passwd"));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages.front().startsWith(QStringLiteral("Имя модели «../../../etc/passwd» не подходит")));
    EXPECT_EQ(entries(control<QComboBox>("cbModels")), before);
}

TEST_F(KeyModelListsTest, AKeyWithControlCharactersIsRefusedAtInput) {
    start();
    const QString refused = QStringLiteral("Ключ не добавлен: в нём есть управляющие символы");
    const QString keys[] = {QStringLiteral("k\t1"),
                            QStringLiteral("k") + QChar(0) + QStringLiteral("1"),
                            QStringLiteral("k\x7F"), QStringLiteral("k\r\n1")};
    for (const QString& key : keys) {
        control<QComboBox>("editApiKey")->setEditText(key);
        form->findChild<KeyModelPanel*>()->editApiKeyKeyUp(Qt::Key_Return);
    }
    ASSERT_EQ(dialogs.messages.size(), std::size(keys));
    for (const QString& message : dialogs.messages)
        EXPECT_TRUE(message.startsWith(refused)) << message.toStdString();
    EXPECT_EQ(control<QComboBox>("editApiKey")->count(), 0);
    EXPECT_EQ(readBytes(working("Keys.txt")), QByteArray());

    // A model name has a rule of its own, which a tab breaks too.
    pressEnter(control<QComboBox>("cbModels"), QStringLiteral("model\tname"));
    EXPECT_EQ(control<QComboBox>("cbModels")->count(), 3);
    EXPECT_EQ(dialogs.messages.size(), std::size(keys) + 1);
}

} // namespace
