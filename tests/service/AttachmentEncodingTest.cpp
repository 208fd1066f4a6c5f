#include "chat/GeminiDM.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace Qt::Literals::StringLiterals;

TEST(MimeTypeFromFileExt, FindsTheTypeByTheLastExtension) {
    const struct {
        QString fileName;
        QString expected;
    } cases[] = {
        {u"photo.JPG"_s, u"image/jpeg"_s},
        {u"C:\\Users\\me\\photo.jpeg"_s, u"image/jpeg"_s},
        {u"/home/me/notes.Md"_s, u"text/markdown"_s},
        {u"app.jsx"_s, u"text/plain"_s},
        {u"app.js"_s, u"text/javascript"_s},
        {u"data.json"_s, u"text/plain"_s},
        {u"clip.MOV"_s, u"video/mov"_s},
        {u"song.mp3"_s, u"audio/mp3"_s},
        {u"film.flv"_s, u"video/x-flv"_s},
        {u"phone.3gpp"_s, u"video/3gpp"_s},
        {u"main.cpp"_s, u"text/x-c++src"_s},
        {u"main.c"_s, u"text/x-csrc"_s},
        {u"table.tsv"_s, u"text/tab-separated-values"_s},
        {u"report.docx"_s,
         u"application/vnd.openxmlformats-officedocument.wordprocessingml.document"_s},
        {u"sheet.xlsx"_s, u"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"_s},
        {u"slides.pptx"_s,
         u"application/vnd.openxmlformats-officedocument.presentationml.presentation"_s},
        {u"doc.pdf"_s, u"application/pdf"_s},
        {u"build/.makefile"_s, u"text/plain"_s},
        {u".dockerfile"_s, u"text/plain"_s},
        {u"vars.KSH"_s, u"text/plain"_s},
        {u"Makefile"_s, QString()},
        {u"Dockerfile"_s, QString()},
        {u"backup.tar.gz"_s, QString()},
        {u"/home/me/my.folder/README"_s, QString()},
        {u"C:\\my.folder\\README"_s, QString()},
        {u"C:.txt\\x"_s, QString()},
        {u"name."_s, QString()},
        {u"movie.mkv"_s, QString()},
        {u"photo.jpg "_s, QString()},
        // Only A to Z are lowered: the Kelvin sign does not become "k".
        {u"script.\u212Ash"_s, QString()},
        {QString(), QString()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TGeminiDM::GetMimeTypeFromFileExt(c.fileName), c.expected)
            << c.fileName.toStdString();
}

class FileToBase64Test : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString file(const QString& name, const QByteArray& bytes) const {
        const QString path = dir.filePath(name);
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        EXPECT_EQ(out.write(bytes), bytes.size());
        return path;
    }

    // What the service receives, decoded back to bytes.
    static QByteArray sent(const QString& path) {
        const QByteArray base64 = TGeminiDM::FileToBase64(path);
        EXPECT_FALSE(base64.contains('\r') || base64.contains('\n'));
        const auto decoded =
            QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
        EXPECT_TRUE(decoded.decodingStatus == QByteArray::Base64DecodingStatus::Ok);
        return decoded.decoded;
    }

    QTemporaryDir dir;
};

TEST_F(FileToBase64Test, TextFilesReachTheServiceAsUtf8) {
    const QByteArray utf8Bom("\xEF\xBB\xBF");
    const QByteArray privetUtf8 = u"Привет, мир\r\n"_s.toUtf8();
    QByteArray utf16le("\xFF\xFE");
    QByteArray utf16be("\xFE\xFF");
    for (char16_t unit : u"Привет, мир\r\n"_s.toStdU16String()) {
        utf16le += char(unit & 0xFF);
        utf16le += char(unit >> 8);
        utf16be += char(unit >> 8);
        utf16be += char(unit & 0xFF);
    }
    const QByteArray privet1251("\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0\r\n");

    const struct {
        const char* name;
        QByteArray content;
        QByteArray expected;
    } cases[] = {
        {"utf8-mark.txt", utf8Bom + privetUtf8, utf8Bom + privetUtf8},
        {"utf16le-mark.md", utf16le, utf8Bom + privetUtf8},
        {"utf16be-mark.csv", utf16be, utf8Bom + privetUtf8},
        {"cp1251.txt", privet1251, privetUtf8},
        {"cp1251.json", privet1251, privetUtf8},
        {"utf8-no-mark.TXT", privetUtf8, privetUtf8},
        {"ascii.py", "print('hi')\n", "print('hi')\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sent(file(QLatin1StringView(c.name), c.content)), c.expected) << c.name;
}

TEST_F(FileToBase64Test, OtherFilesAreSentByteForByte) {
    QByteArray everyByte;
    for (int i = 0; i < 4096; ++i)
        everyByte += char(i * 7 % 256);
    const QByteArray png = QByteArray("\x89PNG\r\n\x1A\n", 8) + everyByte;
    const QByteArray pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n" + everyByte;
    EXPECT_EQ(sent(file(u"image.png"_s, png)), png);
    EXPECT_EQ(sent(file(u"paper.pdf"_s, pdf)), pdf);
    // No type: still byte for byte, the panel is what refuses such files.
    EXPECT_EQ(sent(file(u"blob.bin"_s, everyByte)), everyByte);
}

TEST_F(FileToBase64Test, MissingEmptyAndFolderGiveNothing) {
    for (const QString& path : {dir.filePath(u"missing.txt"_s), dir.filePath(u"missing.png"_s),
                                file(u"empty.txt"_s, {}), file(u"empty.png"_s, {}), dir.path()})
        EXPECT_TRUE(TGeminiDM::FileToBase64(path).isEmpty()) << path.toStdString();
}

} // namespace
