#include "text/TextDecoding.h"

#include <gtest/gtest.h>

namespace {

QByteArray bytes(const char* data, qsizetype size) {
    return QByteArray(data, size);
}

struct DecodeCase {
    const char* name;
    QByteArray input;
    QString text;
    TextFormat format;
};

TEST(TextDecodingTest, ChoosesTheEncodingByMarkOrByValidUtf8) {
    const DecodeCase cases[] = {
        {"empty", QByteArray(), QString(), {TextEncoding::Utf8, false}},
        {"ascii",
         QByteArray("key-1\r\n"),
         QStringLiteral("key-1\r\n"),
         {TextEncoding::Utf8, false}},
        {"utf-8 cyrillic",
         QByteArray("\xD0\x9F\xD1\x80\xD0\xB8"),
         QStringLiteral("При"),
         {TextEncoding::Utf8, false}},
        {"legacy cyrillic",
         QByteArray("\xCF\xF0\xE8\r\n"),
         QStringLiteral("При\r\n"),
         {TextEncoding::Windows1251, false}},
        {"utf-8 mark",
         QByteArray("\xEF\xBB\xBF"
                    "ab"),
         QStringLiteral("ab"),
         {TextEncoding::Utf8, true}},
        {"utf-16 le mark",
         bytes("\xFF\xFE"
               "a\0\x1F\x04",
               6),
         QStringLiteral("aП"),
         {TextEncoding::Utf16LE, true}},
        {"utf-16 be mark",
         bytes("\xFE\xFF\0a\x04\x1F", 6),
         QStringLiteral("aП"),
         {TextEncoding::Utf16BE, true}},
        {"mark only", QByteArray("\xFF\xFE"), QString(), {TextEncoding::Utf16LE, true}},
        // A second mark is content, not a mark.
        {"doubled mark",
         QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx"),
         QStringLiteral("\uFEFFx"),
         {TextEncoding::Utf8, true}},
    };
    for (const DecodeCase& c : cases) {
        const DecodedText decoded = DecodeText(c.input);
        EXPECT_EQ(decoded.text, c.text) << c.name;
        EXPECT_EQ(decoded.format, c.format) << c.name;
    }
}

TEST(TextDecodingTest, KeepsTheMarkAsACharacterWhenAsked) {
    const DecodedText utf8 = DecodeText(QByteArray("\xEF\xBB\xBF"
                                                   "ab"),
                                        ByteOrderMark::Keep);
    EXPECT_EQ(utf8.text, QStringLiteral("\uFEFFab"));
    EXPECT_EQ(utf8.format, (TextFormat{TextEncoding::Utf8, true}));
    EXPECT_EQ(DecodeText(bytes("\xFE\xFF\0a", 4), ByteOrderMark::Keep).text,
              QStringLiteral("\uFEFFa"));
    // The kept mark encodes back to the UTF-8 mark.
    EXPECT_EQ(EncodeText(utf8.text, {TextEncoding::Utf8, false}), QByteArray("\xEF\xBB\xBF"
                                                                             "ab"));
    EXPECT_EQ(DecodeText(QByteArray("ab"), ByteOrderMark::Keep).text, QStringLiteral("ab"));
}

TEST(TextDecodingTest, EncodesBackToTheSameBytes) {
    const QByteArray files[] = {
        QByteArray("plain\r\n"),
        QByteArray("\xEF\xBB\xBF"
                   "with mark\r\n"),
        QByteArray("\xD0\x9A\xD0\xBB\xD1\x8E\xD1\x87\r\n"),
        QByteArray("\xCA\xEB\xFE\xF7\r\n"),
        bytes("\xFF\xFE"
              "k\0\x3A\x04\r\0\n\0",
              10),
        bytes("\xFE\xFF\0k\x04\x3A\0\r\0\n", 10),
    };
    for (const QByteArray& file : files) {
        const DecodedText decoded = DecodeText(file);
        EXPECT_EQ(EncodeText(decoded.text, decoded.format), file) << file.toHex().constData();
    }
}

TEST(TextDecodingTest, RefusesTextTheEncodingCannotHold) {
    const TextFormat legacy{TextEncoding::Windows1251, false};
    EXPECT_EQ(EncodeText(QStringLiteral("Ключ"), legacy), QByteArray("\xCA\xEB\xFE\xF7"));
    EXPECT_FALSE(EncodeText(QStringLiteral("Ключ 鍵"), legacy).has_value());
    EXPECT_FALSE(EncodeText(QStringLiteral("\U0001F600"), legacy).has_value());
    EXPECT_EQ(EncodeText(QStringLiteral("鍵"), {TextEncoding::Utf8, true}),
              QByteArray("\xEF\xBB\xBF\xE9\x8D\xB5"));
}

} // namespace
