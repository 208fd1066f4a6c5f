#include "store/ApiKeyStatsU.h"
#include "text/Clock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kPro = QStringLiteral("gemini-2.5-pro");
const QString kFlash = QStringLiteral("gemini-2.5-flash");
const QString kKey = QStringLiteral("AIza-Sy_09");

// A key's counter file: the first 32 hexadecimal digits of the key's SHA-256.
QString digestName(const QString& key) {
    return QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256)
                                   .toHex()
                                   .left(32)) +
           QStringLiteral(".txt");
}

QFileDevice::Permissions ownerGroupOther(const QString& path) {
    return QFile::permissions(path) & QFileDevice::Permissions::fromInt(0x7077);
}

QDateTime at(int month, int day, int hour, int minute, int second = 0) {
    return QDateTime(QDate(2025, month, day), QTime(hour, minute, second));
}

class ApiKeyStatsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(programDir.isValid());
        standAt(at(3, 1, 12, 0));
    }
    void TearDown() override { Clock::setSource({}); }

    static void standAt(const QDateTime& moment) {
        Clock::setSource([moment] { return moment; });
    }

    QString statsPath(const QString& name) const {
        return QDir(ApiStatsDir(programDir.path())).filePath(name);
    }

    QByteArray keyFile(const QString& key = kKey) const { return readFile(digestName(key)); }

    QByteArray readFile(const QString& name) const {
        QFile file(statsPath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    void writeKeyFile(const QByteArray& bytes, const QString& name = digestName(kKey)) const {
        ASSERT_TRUE(QDir().mkpath(ApiStatsDir(programDir.path())));
        QFile file(statsPath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // The count; a failure ends the test.
    int get(const QString& model, const QString& key = kKey) const {
        return GetTodayRequestCount(programDir.path(), key, model).value();
    }
    int increment(const QString& model, const QString& key = kKey) const {
        return IncrementTodayRequestCount(programDir.path(), key, model).value();
    }

    QTemporaryDir programDir;
};

TEST_F(ApiKeyStatsTest, TheDayStartsAtThreeInTheMorning) {
    const struct {
        QDateTime now;
        QDate day;
    } cases[] = {
        {at(3, 2, 2, 30), QDate(2025, 3, 1)},
        {at(3, 2, 0, 0), QDate(2025, 3, 1)},
        {at(3, 2, 2, 59, 59), QDate(2025, 3, 1)},
        {at(3, 2, 3, 0), QDate(2025, 3, 2)},
        {at(3, 2, 23, 59), QDate(2025, 3, 2)},
        {at(3, 1, 1, 0), QDate(2025, 2, 28)},
        {QDateTime(QDate(2025, 1, 1), QTime(0, 30)), QDate(2024, 12, 31)},
    };
    for (const auto& c : cases) {
        standAt(c.now);
        EXPECT_EQ(StatsDay(), c.day) << c.now.toString().toStdString();
    }
}

TEST_F(ApiKeyStatsTest, CountsRequestsPerModelInTheKeysFile) {
    standAt(at(3, 2, 2, 30));
    EXPECT_EQ(get(kPro), 0);
    EXPECT_FALSE(QDir(ApiStatsDir(programDir.path())).exists()); // reading never creates it

    EXPECT_EQ(increment(kPro), 1);
    EXPECT_EQ(keyFile(), QByteArray("2025-03-01;gemini-2.5-pro;1\r\n"));
    EXPECT_EQ(increment(kPro), 2);
    EXPECT_EQ(keyFile(), QByteArray("2025-03-01;gemini-2.5-pro;2\r\n"));

    EXPECT_EQ(increment(kFlash), 1);
    EXPECT_EQ(keyFile(),
              QByteArray("2025-03-01;gemini-2.5-pro;2\r\n2025-03-01;gemini-2.5-flash;1\r\n"));
    EXPECT_EQ(get(kPro), 2);
    EXPECT_EQ(get(kFlash), 1);
    EXPECT_EQ(get(kPro, QStringLiteral("other-key")), 0);

    // Another spelling of the same model continues its count and renames the line.
    EXPECT_EQ(increment(QStringLiteral("Gemini-2.5-PRO")), 3);
    EXPECT_EQ(keyFile(),
              QByteArray("2025-03-01;Gemini-2.5-PRO;3\r\n2025-03-01;gemini-2.5-flash;1\r\n"));

    // At 03:00 a new day begins and the old lines go at its first request.
    standAt(at(3, 2, 3, 0));
    EXPECT_EQ(get(kPro), 0);
    EXPECT_EQ(increment(kPro), 1);
    EXPECT_EQ(keyFile(), QByteArray("2025-03-02;gemini-2.5-pro;1\r\n"));
}

TEST_F(ApiKeyStatsTest, ReadsTheFirstMatchingLineOfToday) {
    const struct {
        const char* file;
        QString model;
        int count;
    } cases[] = {
        {"2025-03-01;gemini-2.5-pro;abc\r\n", kPro, 0},
        {"2025-02-28;gemini-2.5-pro;7\r\n", kPro, 0},
        {"2025-02-28;gemini-2.5-pro;7\r\n2025-03-01;gemini-2.5-pro;4\r\n", kPro, 4},
        {"2025-03-01;GEMINI-2.5-PRO;5\r\n2025-03-01;gemini-2.5-pro;6\r\n", kPro, 5},
        {"2025-03-01;gemini-2.5-pro\r\ngarbage\r\n\r\n2025-03-01;gemini-2.5-pro;8", kPro, 8},
        {"2025-03-01;my model;3\r\n", QStringLiteral("my model"), 3},
        {"2025-03-01;модель;3\r\n", QStringLiteral("МОДЕЛЬ"), 0}, // Latin letters only fold
        {"2025-03-01;gemini-2.5-pro;9\r\n", kFlash, 0},
        {"\xEF\xBB\xBF"
         "2025-03-01;gemini-2.5-pro;2\r\n",
         kPro, 2},
    };
    for (const auto& c : cases) {
        writeKeyFile(QByteArray(c.file));
        EXPECT_EQ(get(c.model), c.count) << c.file;
    }
}

TEST_F(ApiKeyStatsTest, AnIncrementKeepsOnlyTodaysUsableLines) {
    writeKeyFile("\xEF\xBB\xBF"
                 "2025-02-28;gemini-2.5-pro;7\r\n"
                 "2025-03-01;gemini-2.5-flash;2\r\n"
                 "garbage\r\n"
                 "2025-03-01;gemini-2.5-pro;abc\r\n");
    EXPECT_EQ(increment(kPro), 1);
    EXPECT_EQ(keyFile(), QByteArray("\xEF\xBB\xBF"
                                    "2025-03-01;gemini-2.5-flash;2\r\n"
                                    "2025-03-01;gemini-2.5-pro;1\r\n"));
}

TEST_F(ApiKeyStatsTest, AModelNameWithBlanksIsCounted) {
    const QString model = QStringLiteral("my model");
    EXPECT_EQ(increment(model), 1);
    EXPECT_EQ(increment(model), 2);
    EXPECT_EQ(get(model), 2);
    EXPECT_EQ(keyFile(), QByteArray("2025-03-01;my model;2\r\n"));
}

TEST_F(ApiKeyStatsTest, BlankKeyOrModelCountsNothingAndWritesNothing) {
    const QString blanks[] = {QString(), QStringLiteral(" "), QStringLiteral("\t \r\n")};
    for (const QString& blank : blanks) {
        EXPECT_EQ(get(kPro, blank), 0);
        EXPECT_EQ(get(blank), 0);
        EXPECT_FALSE(IncrementTodayRequestCount(programDir.path(), blank, kPro));
        EXPECT_FALSE(IncrementTodayRequestCount(programDir.path(), kKey, blank));
    }
    EXPECT_TRUE(QDir(programDir.path()).isEmpty());
}

TEST_F(ApiKeyStatsTest, EveryKeyStaysInsideTheCounterFolder) {
    const QString keys[] = {
        QStringLiteral("../x"),
        QStringLiteral("..\\y"),
        QStringLiteral("a/b"),
        QStringLiteral("/etc/z"),
        QStringLiteral("."),
        QStringLiteral(".."),
        QStringLiteral("line\nbreak"),
        QStringLiteral("%2F"),
        QString(300, u'k'),
        QString(300, u'/'),
    };
    for (const QString& key : keys) {
        EXPECT_EQ(increment(kPro, key), 1) << key.toStdString();
        EXPECT_EQ(increment(kPro, key), 2) << key.toStdString();
        EXPECT_EQ(get(kPro, key), 2) << key.toStdString();
    }
    // Nothing beside the counter folder, and a file of its own for every key.
    EXPECT_EQ(
        QDir(programDir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        QStringList{QStringLiteral("ApiStats")});
    const QStringList files =
        QDir(ApiStatsDir(programDir.path())).entryList(QDir::Files | QDir::Hidden | QDir::System);
    EXPECT_EQ(files.size(), std::size(keys)) << files.join(u' ').toStdString();
}

TEST_F(ApiKeyStatsTest, TheFileIsNamedByADigestAndOnlyItsOwnerMayReadIt) {
    EXPECT_EQ(increment(kPro), 1);
    const QString dir = ApiStatsDir(programDir.path());
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), QStringList{digestName(kKey)});
    EXPECT_EQ(ownerGroupOther(dir),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(ownerGroupOther(statsPath(digestName(kKey))),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    // A folder and a file an earlier version left open are closed at the next increment.
    ASSERT_TRUE(QFile::setPermissions(dir, QFileDevice::Permissions::fromInt(0x7055)));
    ASSERT_TRUE(QFile::setPermissions(statsPath(digestName(kKey)),
                                      QFileDevice::Permissions::fromInt(0x6044)));
    EXPECT_EQ(increment(kPro), 2);
    EXPECT_EQ(ownerGroupOther(dir),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(ownerGroupOther(statsPath(digestName(kKey))),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

TEST_F(ApiKeyStatsTest, TodaysCountUnderTheOldNameContinuesAndMoves) {
    const struct {
        QString key;
        QString oldName;
    } cases[] = {
        {kKey, QStringLiteral("AIza-Sy_09.txt")},
        {QStringLiteral("a/b%"), QStringLiteral("a%2Fb%25.txt")},
    };
    for (const auto& c : cases) {
        writeKeyFile("\xEF\xBB\xBF"
                     "2025-03-01;gemini-2.5-pro;4\r\n",
                     c.oldName);
        // Reading finds the old file and leaves it where it is.
        EXPECT_EQ(get(kPro, c.key), 4);
        EXPECT_TRUE(QFile::exists(statsPath(c.oldName)));

        EXPECT_EQ(increment(kPro, c.key), 5);
        EXPECT_EQ(keyFile(c.key), QByteArray("\xEF\xBB\xBF"
                                             "2025-03-01;gemini-2.5-pro;5\r\n"));
        EXPECT_FALSE(QFile::exists(statsPath(c.oldName)));
        EXPECT_EQ(get(kPro, c.key), 5);
    }
}

TEST_F(ApiKeyStatsTest, FailuresComeBackWithAMessage) {
    // A folder where the key's file should be.
    ASSERT_TRUE(QDir().mkpath(statsPath(digestName(kKey))));
    for (const Expected<int>& count : {GetTodayRequestCount(programDir.path(), kKey, kPro),
                                       IncrementTodayRequestCount(programDir.path(), kKey, kPro)}) {
        ASSERT_FALSE(count);
        EXPECT_TRUE(count.error().contains(digestName(kKey))) << count.error().toStdString();
    }

    // A file where the counter folder should be.
    QTemporaryDir other;
    QFile blocker(QDir(other.path()).filePath(QStringLiteral("ApiStats")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const Expected<int> counted = IncrementTodayRequestCount(other.path(), kKey, kPro);
    ASSERT_FALSE(counted);
    EXPECT_TRUE(counted.error().contains(QStringLiteral("ApiStats")))
        << counted.error().toStdString();
    EXPECT_EQ(GetTodayRequestCount(other.path(), kKey, kPro).value(), 0);
}

} // namespace
