#include "service/HttpPost.h"
#include "ModelServiceFixture.h"

namespace {

using namespace Qt::StringLiterals;

struct Delivery {
    QString chunk;
    bool isFinal = false;
    bool operator==(const Delivery&) const = default;
};

void PrintTo(const Delivery& d, std::ostream* out) {
    *out << '{' << d.chunk.toStdString() << ", " << d.isFinal << '}';
}

// Chunks read before the window takes them come as one delivery: what matters is the
// text of the chunks in order, then the final delivery.
QList<Delivery> joined(const QList<Delivery>& deliveries) {
    QList<Delivery> result{{QString(), false}};
    for (const Delivery& delivery : deliveries) {
        if (delivery.isFinal)
            result.append(delivery);
        else
            result.first().chunk += delivery.chunk;
    }
    return result;
}

class StreamingTest : public ModelServiceTest {
protected:
    void startStream(const QString& prompt = u"q"_s) {
        dm.GenerateContentStream(u"KEY"_s, u"gemini-test"_s, textParts(prompt), false,
                                 [this](const QString& chunk, bool isFinal) {
                                     deliveries.append({chunk, isFinal});
                                     allOnUiThread = allOnUiThread && onUiThread();
                                     if (isFinal)
                                         historyAtFinal = dm.ChatHistory();
                                 });
    }

    QList<Delivery> awaitFinal() {
        EXPECT_TRUE(QTest::qWaitFor(
            [this] { return !deliveries.isEmpty() && deliveries.last().isFinal; }, kWaitMs));
        QTest::qWait(50);
        EXPECT_TRUE(allOnUiThread);
        return deliveries;
    }

    QList<Delivery> deliveries;
    bool allOnUiThread = true;
    TChatHistory historyAtFinal;
};

TEST_F(StreamingTest, DeliversTheEventsInOrderThenTheFinalEmptyChunk) {
    service.reply(FakeReply::events(
        {{"DATA:"
          R"({"candidates":[{"content":{"parts":[{"text":"a"}]}}]})"
          "\r\n\r\n"
          ": a comment line\n"
          R"(data:  {"candidates":[{"content":{"parts":)"
          "\n"
          R"(data: [{"text":"b"},{"inline_data":{"data":"QQ=="}}]}}]})"
          "\r\r"
          R"(data: {"candidates":[{"content":{"parts":[{"inline_data":{"data":"QQ=="}}]}}]})"
          "\n\n"
          "data: [DONE]\n\n" +
          TextEvent("c") +
          // The last event has no blank line after it and is dropped.
          R"(data: {"candidates":[{"content":{"parts":[{"text":"z"}]}}]})"
          "\n"}}));
    startStream();

    EXPECT_EQ(joined(awaitFinal()), (QList<Delivery>{{u"abc"_s, false}, {QString(), true}}));
    const FakeRequest request = onlyRequest();
    EXPECT_EQ(request.target, "/v1beta/models/gemini-test:streamGenerateContent?alt=sse");
    // The caller sees the final delivery before the answer is recorded.
    EXPECT_EQ(historyAtFinal, (TChatHistory{{u"user"_s, textParts(u"q"_s)}}));
    EXPECT_EQ(dm.ChatHistory(),
              (TChatHistory{{u"user"_s, textParts(u"q"_s)}, {u"model"_s, textParts(u"abc"_s)}}));
}

TEST_F(StreamingTest, FirstChunkArrivesWhileTheAnswerIsStillComing) {
    service.reply(FakeReply::events(
        {{TextEvent("first")}, {.bytes = TextEvent("second"), .afterRelease = true}}));
    startStream();

    // The server holds the rest of the answer until the first chunk has been seen.
    EXPECT_TRUE(QTest::qWaitFor([this] { return !deliveries.isEmpty(); }, kWaitMs));
    EXPECT_EQ(deliveries, (QList<Delivery>{{u"first"_s, false}}));
    service.release();

    EXPECT_EQ(awaitFinal(),
              (QList<Delivery>{{u"first"_s, false}, {u"second"_s, false}, {QString(), true}}));
    EXPECT_EQ(dm.ChatHistory().last(), (THistoryItem{u"model"_s, textParts(u"firstsecond"_s)}));
}

TEST_F(StreamingTest, FailureIsTheFinalDeliveryAndRecordsNothing) {
    service.reply(FakeReply::json(R"({"error":{"message":"overloaded"}})", 400));
    startStream();
    EXPECT_EQ(
        awaitFinal(),
        (QList<Delivery>{
            {u"Ошибка HTTP: HTTP/1.1 400 Bad Request (Код: 400)\r\nОтвет: overloaded"_s, true}}));
    EXPECT_EQ(service.requests().size(), 1u);
    EXPECT_EQ(dm.ChatHistory(),
              failedQuestion(u"Ошибка HTTP: HTTP/1.1 400 Bad Request (Код: 400)\r\nОтвет: overloaded"_s));
}

TEST_F(StreamingTest, TimeOutAfterSomeChunksEndsTheStreamAsAFailure) {
    dm.SetReadTimeoutMs(300);
    service.reply(FakeReply::events(
        {{TextEvent("part")}, {.bytes = TextEvent("never"), .afterRelease = true}}));
    startStream();
    EXPECT_EQ(awaitFinal(),
              (QList<Delivery>{
                  {u"part"_s, false},
                  {u"Исключение: TimeoutError - no data from the server for 300 ms"_s, true}}));
    EXPECT_EQ(dm.ChatHistory().size(), 1);
}

TEST_F(StreamingTest, BlankAnswerRecordsNothingAndAGenuineErrorWordIsKept) {
    service.reply(FakeReply::events({{TextEvent(" ") + TextEvent("\\n")}}));
    startStream();
    // Blank text is no answer: the stream ends saying so.
    EXPECT_EQ(awaitFinal().last(), (Delivery{u"Модель вернула пустой ответ"_s, true}));
    EXPECT_EQ(dm.ChatHistory(), failedQuestion(u"Модель вернула пустой ответ"_s));

    deliveries.clear();
    dm.ClearHistory();
    service.reply(FakeReply::events({{TextEvent("Ошибка") + TextEvent(" бывает.")}}));
    startStream();
    EXPECT_EQ(joined(awaitFinal()),
              (QList<Delivery>{{u"Ошибка бывает."_s, false}, {QString(), true}}));
    EXPECT_EQ(dm.ChatHistory().last(), (THistoryItem{u"model"_s, textParts(u"Ошибка бывает."_s)}));
}

TEST_F(StreamingTest, StreamOverTheSizeLimitEndsAsARefusalAndRecordsNothing) {
    // Blank lines past the limit: the events before it still come, the rest is refused.
    constexpr size_t kPiece = 1024 * 1024;
    service.reply(FakeReply::events(
        {{TextEvent("a")},
         {.bytes = std::string(kPiece, '\n'), .repeat = size_t(kMaxResponseBodyBytes) / kPiece}}));
    startStream();
    EXPECT_EQ(awaitFinal(),
              (QList<Delivery>{{u"a"_s, false},
                               {u"Ошибка: ответ сервера больше 128 МБ, он не принят."_s, true}}));
    EXPECT_EQ(dm.ChatHistory().size(), 1);
}

TEST_F(StreamingTest, InvalidUtf8InAnEventIsKeptWithReplacementCharacters) {
    service.reply(FakeReply::events({{TextEvent("a\xFF"
                                                "b")}}));
    startStream();
    EXPECT_EQ(awaitFinal(), (QList<Delivery>{{u"a\uFFFDb"_s, false}, {QString(), true}}));
    EXPECT_EQ(dm.ChatHistory().last(), (THistoryItem{u"model"_s, textParts(u"a\uFFFDb"_s)}));
}

TEST_F(StreamingTest, KeyWithAControlCharacterIsRefusedAsTheFinalDelivery) {
    dm.GenerateContentStream(u"KEY"_s + QChar(0) + u"x"_s, u"gemini-test"_s, textParts(u"q"_s),
                             false, [this](const QString& chunk, bool isFinal) {
                                 deliveries.append({chunk, isFinal});
                             });
    EXPECT_EQ(
        awaitFinal(),
        (QList<Delivery>{
            {u"Ошибка: ключ API содержит управляющие символы, запрос не отправлен."_s, true}}));
    EXPECT_TRUE(service.requests().empty());
    EXPECT_EQ(dm.ChatHistory().size(), 1);
}

} // namespace
