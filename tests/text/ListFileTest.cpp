#include "text/ListFile.h"
#include "text/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

TEST(ListFileTest, SplitsLinesAtEveryKindOfBreak) {
    const struct {
        QString text;
        QStringList lines;
    } cases[] = {
        {QString(), {}},
        {QStringLiteral("a"), {QStringLiteral("a")}},
        {QStringLiteral("a\r\n"), {QStringLiteral("a")}},
        {QStringLiteral("\r\n"), {QString()}},
        {QStringLiteral("k1\r\n\r\nk2\r\n"),
         {QStringLiteral("k1"), QString(), QStringLiteral("k2")}},
        {QStringLiteral("a\rb\nc\r\nd"),
         {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")}},
        {QStringLiteral("a\n\r"), {QStringLiteral("a"), QString()}},
        {QStringLiteral("a\r\n\r\n"), {QStringLiteral("a"), QString()}},
        {QStringLiteral(" key \t\r\n"), {QStringLiteral(" key \t")}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitListLines(c.text), c.lines) << c.text.toStdString();
}

TEST(ListFileTest, JoinsLinesEachEndedByCrLf) {
    EXPECT_EQ(JoinListLines({}), QString());
    EXPECT_EQ(JoinListLines({QString()}), QStringLiteral("\r\n"));
    EXPECT_EQ(JoinListLines({QStringLiteral("a"), QString(), QStringLiteral("b ")}),
              QStringLiteral("a\r\n\r\nb \r\n"));
}

class ListFileFilesTest : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }

    static void writeBytes(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    static QByteArray readBytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir dir;
    QString error;
};

TEST_F(ListFileFilesTest, WritesBackInTheEncodingAndMarkItWasReadIn) {
    const struct {
        const char* name;
        QByteArray before;
        QByteArray after; // once "x" is appended
    } cases[] = {
        {"utf-8 mark", QByteArray("\xEF\xBB\xBFm1\r\n"), QByteArray("\xEF\xBB\xBFm1\r\nx\r\n")},
        {"utf-16 le", QByteArray("\xFF\xFEm\0\r\0\n\0", 8),
         QByteArray("\xFF\xFEm\0\r\0\n\0x\0\r\0\n\0", 14)},
        {"utf-16 be", QByteArray("\xFE\xFF\0m\0\r\0\n", 8),
         QByteArray("\xFE\xFF\0m\0\r\0\n\0x\0\r\0\n", 14)},
        {"utf-8 cyrillic", QByteArray("\xD0\xBA\xD0\xBB\r\n"),
         QByteArray("\xD0\xBA\xD0\xBB\r\nx\r\n")},
        {"legacy cyrillic", QByteArray("\xEA\xEB\n"), QByteArray("\xEA\xEB\r\nx\r\n")},
        {"ascii, lone breaks", QByteArray("a\rb\n"), QByteArray("a\r\nb\r\nx\r\n")},
    };
    for (const auto& c : cases) {
        const QString file = path("Models.txt");
        writeBytes(file, c.before);
        Expected<ListFile> list = ReadListFile(file);
        ASSERT_TRUE(list) << c.name;
        list->lines.append(QStringLiteral("x"));
        ASSERT_TRUE(WriteListFile(file, list->lines, list->format, FileAccess::Default));
        EXPECT_EQ(readBytes(file).toHex(' '), c.after.toHex(' ')) << c.name;
    }
}

TEST_F(ListFileFilesTest, CyrillicEntriesSurviveARoundTrip) {
    const QString file = path("Models.txt");
    writeBytes(file, QByteArray("модель-1\r\n"));
    const Expected<ListFile> list = ReadListFile(file);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->lines, QStringList{QStringLiteral("модель-1")});
    EXPECT_EQ(list->format, (TextFormat{TextEncoding::Utf8, false}));
}

TEST_F(ListFileFilesTest, TextTheOldEncodingCannotHoldIsWrittenAsUtf8WithAMark) {
    const QString file = path("Models.txt");
    const Expected<TextFormat> written =
        WriteListFile(file, {QStringLiteral("мод"), QStringLiteral("模型")},
                      {TextEncoding::Windows1251, false}, FileAccess::Default);
    ASSERT_TRUE(written);
    EXPECT_EQ(readBytes(file), QByteArray("\xEF\xBB\xBF"
                                          "мод\r\n模型\r\n"));
    EXPECT_EQ(*written, (TextFormat{TextEncoding::Utf8, true}));
}

TEST_F(ListFileFilesTest, NewFilesArePlainAndAnEmptyListIsAnEmptyFile) {
    ASSERT_TRUE(
        WriteListFile(path("a.txt"), {QStringLiteral("gemini-2.5-pro")}, {}, FileAccess::Default));
    EXPECT_EQ(readBytes(path("a.txt")), QByteArray("gemini-2.5-pro\r\n"));
    ASSERT_TRUE(WriteListFile(path("a.txt"), {}, {}, FileAccess::Default));
    EXPECT_EQ(readBytes(path("a.txt")), QByteArray());
}

TEST_F(ListFileFilesTest, OwnerOnlyFilesAreCreatedAndRewrittenPrivate) {
    const QString file = path("Keys.txt");
    const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                        QFileDevice::WriteOther;
    ASSERT_TRUE(WriteListFile(file, {QStringLiteral("k1")}, {}, FileAccess::OwnerOnly));
    EXPECT_EQ(QFile::permissions(file) & (owner | others), owner);

    ASSERT_TRUE(
        QFile::setPermissions(file, owner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    ASSERT_TRUE(WriteListFile(file, {QStringLiteral("k2")}, {}, FileAccess::OwnerOnly));
    EXPECT_EQ(QFile::permissions(file) & (owner | others), owner);
    EXPECT_EQ(readBytes(file), QByteArray("k2\r\n"));
}

TEST_F(ListFileFilesTest, FailuresComeBackWithAMessage) {
    const Expected<ListFile> missing = ReadListFile(path("missing.txt"));
    ASSERT_FALSE(missing);
    EXPECT_TRUE(missing.error().contains(QStringLiteral("missing.txt")))
        << missing.error().toStdString();

    // A folder in the way can be neither read nor replaced.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Keys.txt")));
    const Expected<ListFile> folder = ReadListFile(path("Keys.txt"));
    ASSERT_FALSE(folder);
    EXPECT_FALSE(folder.error().isEmpty());
    const Expected<TextFormat> written =
        WriteListFile(path("Keys.txt"), {QStringLiteral("k")}, {}, FileAccess::OwnerOnly);
    ASSERT_FALSE(written);
    EXPECT_TRUE(written.error().startsWith(QStringLiteral("Не удалось записать файл")))
        << written.error().toStdString();
    EXPECT_TRUE(QFileInfo(path("Keys.txt")).isDir());
}

// A list above the limit is neither read nor written: what the program writes it can always
// read back.
TEST_F(ListFileFilesTest, ListsAboveTheLimitAreNeitherReadNorWritten) {
    const QString file = path("Keys.txt");
    const QByteArray large = "k1\r\n" + QByteArray(kMaxSmallFileSize, 'x') + "\r\n";
    writeBytes(file, large);
    const Expected<ListFile> read = ReadListFile(file);
    ASSERT_FALSE(read);
    EXPECT_TRUE(read.error().endsWith(QStringLiteral("недоступен для чтения: файл больше 1 МБ")))
        << read.error().toStdString();

    const QString pipe = path("Models.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_TRUE(ReadListFile(pipe).error().endsWith(QStringLiteral(": это не файл")));

    const QStringList tooMany(kMaxSmallFileSize / 8, QStringLiteral("abcdefg"));
    const Expected<TextFormat> written = WriteListFile(file, tooMany, {}, FileAccess::Default);
    ASSERT_FALSE(written);
    EXPECT_TRUE(written.error().endsWith(QStringLiteral(": файл был бы больше 1 МБ")))
        << written.error().toStdString();
    EXPECT_EQ(readBytes(file), large);
}

// Lines are counted as the file would hold them: in its encoding, with its mark and a line
// break each.
TEST(ListFileTest, CountsTheLinesThatFitUnderTheLimit) {
    const QString eight = QStringLiteral("abcdefgh");
    const QStringList current{QStringLiteral("м1")};
    const struct {
        TextFormat format;
        qsizetype currentBytes;
        qsizetype bytesPerLine;
    } cases[] = {
        {{TextEncoding::Utf8, false}, 5, 10},
        {{TextEncoding::Utf8, true}, 8, 10},
        {{TextEncoding::Windows1251, false}, 4, 10},
        {{TextEncoding::Utf16LE, true}, 10, 20},
    };
    for (const auto& c : cases) {
        const qsizetype fit = (kMaxSmallFileSize - c.currentBytes) / c.bytesPerLine;
        const QStringList added(fit + 5, eight);
        EXPECT_EQ(ListLinesThatFit(current, added, c.format), fit);
        EXPECT_EQ(ListLinesThatFit(current, added.first(fit), c.format), fit);
        EXPECT_EQ(ListLinesThatFit(current, added.first(3), c.format), 3);
    }
    // The old encoding cannot hold it: the file would be written anew in another.
    EXPECT_EQ(ListLinesThatFit(current, {eight, QStringLiteral("模型"), eight},
                               {TextEncoding::Windows1251, false}),
              1);
}

} // namespace
