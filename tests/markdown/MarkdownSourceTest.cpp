#include "markdown/MarkdownSource.h"

#include <gtest/gtest.h>

#include <QBuffer>

#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// The plain decoding every UTF-8 input must match: QStringDecoder, then the line joining.
std::optional<QString> reference(const std::string& bytes, bool joinLines) {
    return decodeSource(QByteArrayView(bytes), QStringConverter::Utf8, joinLines);
}

TEST(Utf8Source, JoinsLinesAsAFileReadLineByLine) {
    const struct {
        std::string bytes;
        QString joined;
    } cases[] = {
        {"", u""_s},
        {"a", u"a\n"_s},
        {"a\r\nb\rc\n", u"a\nb\nc\n"_s},
        {"\r\r\n\n\r", u"\n\n\n\n"_s},
        {"\xEF\xBB\xBF# \xD0\x97\r\n", u"# З\n"_s},
        {"x\xF0\x9F\x98\x80\r", u"x\U0001F600\n"_s},
    };
    for (const auto& c : cases) {
        const QByteArrayView bytes(c.bytes);
        EXPECT_EQ(decodeUtf8Source(bytes, true), c.joined) << c.bytes;
        EXPECT_EQ(decodeUtf8Source(bytes, false), reference(c.bytes, false)) << c.bytes;
    }
}

TEST(Utf8Source, RefusesWhatTheDecoderRefuses) {
    for (const std::string bytes : {"\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                    "\xF8\x88\x80\x80\x80", "\x80", "a\xD0", "a\xE2\x82", "\xFF"}) {
        EXPECT_EQ(decodeUtf8Source(QByteArrayView(bytes), true), std::nullopt) << bytes;
        EXPECT_EQ(reference(bytes, true), std::nullopt) << bytes;
    }
}

// Every special sequence at every offset around the sixteen-byte blocks of the fast path,
// followed by nothing or by more text.
std::vector<std::string> offsetCases() {
    const std::vector<std::string> pieces = {"\r",
                                             "\r\n",
                                             "\n\r",
                                             "\xD0\x96",
                                             "\xE2\x82\xAC",
                                             "\xF0\x9F\x98\x80",
                                             "\xEF\xBF\xBE",
                                             "\xEF\xB7\x90",
                                             "\xEF\xBB\xBF",
                                             "\xC3",
                                             "\xED\xBF\xBF",
                                             "\xF4\x8F\xBF\xBF",
                                             std::string(1, '\0'),
                                             "\xE0\xA4\x85\r\n"};
    std::vector<std::string> cases;
    for (const std::string& piece : pieces)
        for (std::size_t before = 0; before <= 34; ++before)
            for (const std::string& after : {std::string(), std::string(20, 'z') + "\xD1\x8F"})
                cases.push_back(std::string(before, 'a') + piece + after);
    return cases;
}

TEST(Utf8Source, AgreesWithThePlainDecoderAtEveryOffset) {
    for (const std::string& bytes : offsetCases())
        for (const bool join : {false, true})
            EXPECT_EQ(decodeUtf8Source(QByteArrayView(bytes), join), reference(bytes, join))
                << bytes << (join ? ", lines joined" : "");
}

// Read a piece at a time, a character or a CR LF may be cut between two pieces.
TEST(Utf8Source, ReadsAPieceAtATimeAsAWhole) {
    for (const std::string& bytes : offsetCases())
        for (const qsizetype pieceSize : {1, 2, 3, 5, 16, 17})
            for (const bool join : {false, true}) {
                QByteArray data(bytes.data(), qsizetype(bytes.size()));
                QBuffer device(&data);
                ASSERT_TRUE(device.open(QIODevice::ReadOnly));
                EXPECT_EQ(readUtf8Source(device, join, pieceSize), reference(bytes, join))
                    << bytes << ", pieces of " << pieceSize << (join ? ", lines joined" : "");
                // What was read before is not read again, not even when falling back.
                ASSERT_TRUE(device.seek(1));
                EXPECT_EQ(readUtf8Source(device, join, pieceSize), reference(bytes.substr(1), join))
                    << bytes << " from 1, pieces of " << pieceSize;
            }
}

} // namespace
