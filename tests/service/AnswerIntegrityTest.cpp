// Hostile or broken answers from the service: each ends in the answer kept whole or in a
// failure text, never in a lost answer, a huge read or a request sent cut.
#include "service/HttpPost.h"
#include "text/JsonText.h"
#include "ModelServiceFixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using namespace Qt::StringLiterals;

const QString kTooLarge = u"Ошибка: ответ сервера больше 128 МБ, он не принят."_s;
const QString kUnreadable = u"Ошибка: сервер вернул пустой или непонятный ответ"_s;

std::string textAnswer(const std::string& text) {
    return R"({"candidates":[{"content":{"parts":[{"text":")" + text + R"("}]}}]})";
}

// An answer padded with whitespace to exactly `size` bytes, sent in 1 MiB pieces.
FakeReply paddedAnswer(size_t size) {
    const std::string answer = textAnswer("ok");
    constexpr size_t kPiece = 1024 * 1024;
    const size_t padding = size - answer.size();
    std::vector<FakeChunk> chunks{{answer}};
    chunks.push_back({.bytes = std::string(kPiece, ' '), .repeat = padding / kPiece});
    chunks.push_back({std::string(padding % kPiece, ' ')});
    return FakeReply::jsonInPieces(std::move(chunks));
}

class AnswerIntegrityTest : public ModelServiceTest {
protected:
    // A failure reaches the caller; the chat keeps the user's message and gains nothing.
    QString failedOutcome() {
        dm.ClearHistory();
        const QString result = generate(textParts(u"q"_s));
        EXPECT_EQ(dm.ChatHistory(), failedQuestion(result));
        return result;
    }

    QString outcomeFor(const QString& key, const QString& model) {
        Outcomes outcomes;
        dm.GenerateContent(key, model, textParts(u"q"_s), false, recorder(outcomes));
        return awaitOne(outcomes);
    }
};

TEST_F(AnswerIntegrityTest, BodyOverTheLimitIsRefusedAnnouncedOrCounted) {
    // An announced length over the limit is refused before the body is read, on any status.
    for (int status : {200, 500}) {
        FakeReply announced = FakeReply::json(textAnswer("x"), status);
        announced.claimedLength = size_t(kMaxResponseBodyBytes) + 1;
        service.reply(announced);
        EXPECT_EQ(failedOutcome(), kTooLarge) << status;
    }

    // Without a length the bytes are counted: exactly the limit is read, one more is not.
    service.reply(paddedAnswer(size_t(kMaxResponseBodyBytes)));
    dm.ClearHistory();
    EXPECT_EQ(generate(textParts(u"q"_s)), u"ok"_s);
    service.reply(paddedAnswer(size_t(kMaxResponseBodyBytes) + 1));
    EXPECT_EQ(failedOutcome(), kTooLarge);
}

TEST_F(AnswerIntegrityTest, OversizedHeadersAreRefusedByName) {
    FakeReply oneLongLine = FakeReply::json(textAnswer("x"));
    oneLongLine.headers = {{"X-Long", std::string(200 * 1024, 'a')}};
    FakeReply manyLines = FakeReply::json(textAnswer("x"));
    for (int i = 0; i < 40; ++i)
        manyLines.headers.emplace_back("X-Line-" + std::to_string(i), std::string(8 * 1024, 'b'));
    for (const FakeReply& reply : {oneLongLine, manyLines}) {
        service.reply(reply);
        EXPECT_EQ(failedOutcome(),
                  u"Ошибка: заголовки ответа сервера слишком велики, ответ не принят."_s);
    }
}

TEST_F(AnswerIntegrityTest, InvalidUtf8IsKeptWithReplacementCharacters) {
    service.reply(FakeReply::json(textAnswer("a\xFF"
                                             "b\xC3(c \xD0\x96")));
    const QString expected = u"a\uFFFDb\uFFFD(c Ж"_s;
    EXPECT_EQ(generate(textParts(u"q"_s)), expected);
    ASSERT_EQ(dm.ChatHistory().size(), 2);
    EXPECT_EQ(dm.ChatHistory()[1], (THistoryItem{u"model"_s, textParts(expected)}));
}

TEST_F(AnswerIntegrityTest, A200WithoutAReadableJsonObjectIsAFailureKeptNowhere) {
    FakeReply brokenGzip = FakeReply::json(std::string("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03"
                                                       "\xAB\x56\xCA\x4B\xCC",
                                                       15));
    brokenGzip.headers = {{"Content-Encoding", "gzip"}};
    FakeReply html = FakeReply::json("<!DOCTYPE html><html><body>Bad gateway</body></html>");
    html.contentType = "text/html";
    const struct {
        const char* name;
        FakeReply reply;
    } cases[] = {
        {"empty body", FakeReply::json("")},
        {"only whitespace", FakeReply::json(" \r\n\t")},
        {"plain words", FakeReply::json("Hello, world")},
        {"an HTML page", html},
        {"a broken gzip stream", brokenGzip},
        {"bytes that are no text", FakeReply::json(std::string("\xFF\xFE\x00\x01", 4))},
        {"JSON that is no object", FakeReply::json(R"([{"candidates":[]}])")},
        {"JSON cut short", FakeReply::json(R"({"candidates":[{"content":)")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        service.reply(c.reply);
        EXPECT_EQ(failedOutcome(), kUnreadable);
    }
}

TEST_F(AnswerIntegrityTest, NulInAnAnswerIsKeptExactlyInTheChatAndItsFile) {
    service.reply(FakeReply::json(textAnswer(R"(before\u0000after)")));
    const QString expected = u"before"_s + QChar(0) + u"after"_s;
    EXPECT_EQ(generate(textParts(u"q"_s)), expected);
    ASSERT_EQ(dm.ChatHistory().size(), 2);
    EXPECT_EQ(dm.ChatHistory()[1].Parts.value(0).Text, expected);

    const QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(u"chat.json"_s);
    ASSERT_TRUE(dm.SaveHistoryToFile(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains(R"("before\u0000after")"));
    TGeminiDM reopened;
    ASSERT_TRUE(reopened.LoadHistoryFromFile(path));
    EXPECT_EQ(reopened.ChatHistory(), dm.ChatHistory());
}

TEST_F(AnswerIntegrityTest, KeyOrModelWithAControlCharacterIsNeverSent) {
    const QString keyRefused =
        u"Ошибка: ключ API содержит управляющие символы, запрос не отправлен."_s;
    const QString modelRefused =
        u"Ошибка: имя модели содержит управляющие символы, запрос не отправлен."_s;
    const struct {
        QString key;
        QString model;
        QString expected;
    } cases[] = {
        {u"KEY"_s + QChar(0) + u"tail"_s, u"gemini-test"_s, keyRefused},
        {u"KEY\r\nHost: elsewhere"_s, u"gemini-test"_s, keyRefused},
        {u"KEY\t"_s, u"gemini-test"_s, keyRefused},
        {u"KEY"_s + QChar(0x85), u"gemini-test"_s, keyRefused},
        {u"KEY"_s, u"gemini"_s + QChar(0) + u"-other"_s, modelRefused},
    };
    service.reply(FakeReply::json(textAnswer("x")));
    for (const auto& c : cases)
        EXPECT_EQ(outcomeFor(c.key, c.model), c.expected);
    EXPECT_TRUE(service.requests().empty());

    // An ordinary key still goes out as typed.
    EXPECT_EQ(outcomeFor(u"KEY-1"_s, u"gemini-test"_s), u"x"_s);
    // It travels in its header, never in the address.
    const FakeRequest request = onlyRequest();
    EXPECT_EQ(request.target, "/v1beta/models/gemini-test:generateContent");
    const auto header = request.headers.find("x-goog-api-key");
    ASSERT_NE(header, request.headers.end());
    EXPECT_EQ(header->second, "KEY-1");
}

} // namespace
