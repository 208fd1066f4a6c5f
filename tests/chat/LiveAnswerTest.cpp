// The streamed answer the window uses: it grows as events arrive, can be stopped, keeps
// what arrived, and ends the way the one-shot answer would for the same text.
#include "ModelServiceFixture.h"

#include <chrono>
#include <memory>
#include <utility>

namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class LiveAnswerTest : public ModelServiceTest {
protected:
    void start() {
        answer = dm.StreamAnswer(u"KEY"_s, u"gemini-test"_s, textParts(u"q"_s), false,
                                 {[this](const QString& text, bool) { grew << text; },
                                  [this](int seconds) { retries << seconds; },
                                  [this](const AnswerEnd& end) {
                                      ends << end;
                                      historyAtEnd = dm.ChatHistory();
                                  }});
    }

    AnswerEnd awaitEnd() {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !ends.isEmpty(); }, kWaitMs));
        QTest::qWait(50);
        EXPECT_EQ(ends.size(), 1);
        return ends.value(0);
    }

    TChatHistory withAnswer(const QString& text, const QString& finishReason = {}) const {
        THistoryItem reply{u"model"_s, textParts(text)};
        reply.FinishReason = finishReason;
        return {{u"user"_s, textParts(u"q"_s)}, reply};
    }
    static QString textOf(const AnswerEnd& end) { return WhatArrived(end.Result).Text(); }

    std::shared_ptr<LiveAnswer> answer;
    QStringList grew;
    QList<int> retries;
    QList<AnswerEnd> ends;
    TChatHistory historyAtEnd;
};

TEST_F(LiveAnswerTest, GrowsWhileTheServiceStillWritesAndEndsAsTheOneShotAnswer) {
    const std::string parts[] = {"**Жирный** и `код`", "\\n\\n```cpp\\nint x;", "\\n```\\n",
                                 "$x^2$"};
    service.reply(FakeReply::events({{TextEvent(parts[0])},
                                     {.bytes = TextEvent(parts[1]), .afterRelease = true},
                                     {TextEvent(parts[2])},
                                     {TextEvent(parts[3])}}));
    start();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !grew.isEmpty(); }, kWaitMs));
    EXPECT_EQ(grew, QStringList{u"**Жирный** и `код`"_s});
    EXPECT_TRUE(answer->Running());
    service.release();
    const AnswerEnd end = awaitEnd();
    EXPECT_TRUE(end.Result && !end.Stopped);
    // The events read before the window took them grew the answer together.
    EXPECT_GE(grew.size(), 2);
    EXPECT_LE(grew.size(), 4);
    EXPECT_EQ(grew.last(), textOf(end));
    const TChatHistory streamed = dm.ChatHistory();
    EXPECT_EQ(historyAtEnd, streamed); // recorded before the caller hears of the end

    // The same answer in one piece gives the same text and the same message.
    std::string whole;
    for (const std::string& part : parts)
        whole += R"({"text":")" + part + R"("},)";
    whole.pop_back();
    service.reply(FakeReply::json(R"({"candidates":[{"content":{"parts":[)" + whole + "]}}]}"));
    dm.ClearHistory();
    EXPECT_EQ(generate(textParts(u"q"_s)), textOf(end));
    // A stream that closes without a finish reason may be cut anywhere: its message says so.
    ASSERT_EQ(streamed.size(), 2);
    EXPECT_EQ(streamed[1].FinishReason, kStreamEndedEarly);
    EXPECT_EQ(dm.ChatHistory(), withAnswer(textOf(end)));
}

TEST_F(LiveAnswerTest, StopKeepsWhatArrivedAndDropsTheRest) {
    service.reply(FakeReply::events(
        {{TextEvent("a")}, {TextEvent("b")}, {.bytes = TextEvent("c"), .afterRelease = true}}));
    start();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !grew.isEmpty() && grew.last() == u"ab"_s; },
                                kWaitMs));
    const qsizetype grown = grew.size();
    answer->Stop();
    // Ended has run by the time Stop returns.
    ASSERT_EQ(ends.size(), 1);
    EXPECT_TRUE(ends[0].Stopped);
    EXPECT_TRUE(ends[0].Result.has_value());
    EXPECT_EQ(textOf(ends[0]), u"ab"_s);
    EXPECT_FALSE(answer->Running());
    service.release();
    QTest::qWait(300);
    EXPECT_EQ(ends.size(), 1);
    EXPECT_EQ(grew.size(), grown);
    EXPECT_EQ(dm.ChatHistory(), withAnswer(u"ab"_s));
}

TEST_F(LiveAnswerTest, StopBeforeAnythingArrivedIsAFailureThatKeepsOnlyTheQuestion) {
    FakeReply held = FakeReply::events({{TextEvent("late")}});
    held.holdBeforeHeaders = true;
    service.reply(held);
    start();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !service.requests().empty(); }, kWaitMs));
    answer->Stop();
    ASSERT_EQ(ends.size(), 1);
    EXPECT_TRUE(ends[0].Stopped && !ends[0].Result);
    EXPECT_EQ(ends[0].Result.error().Text, u"Остановлено"_s);
    service.release();
    QTest::qWait(200);
    EXPECT_EQ(dm.ChatHistory(), failedQuestion(u"Остановлено"_s));
}

TEST_F(LiveAnswerTest, ADroppedConnectionKeepsTheTextSoFarAndSaysWhatBroke) {
    service.reply(FakeReply::events(
        {{TextEvent("part")}, {.bytes = TextEvent("x"), .dropConnection = true}}));
    start();
    const AnswerEnd end = awaitEnd();
    ASSERT_FALSE(end.Result.has_value());
    EXPECT_FALSE(end.Stopped);
    // The failure carries what came before it.
    EXPECT_EQ(textOf(end), u"part"_s);
    const RequestFailure& failure = end.Result.error();
    EXPECT_TRUE(failure.Text.startsWith(u"Исключение: "_s)) << failure.Text.toStdString();
    EXPECT_EQ(failure.Cause, FailureCause::ConnectionLost);
    EXPECT_EQ(dm.ChatHistory(), withAnswer(u"part"_s, kConnectionLost.toString()));
}

TEST_F(LiveAnswerTest, AnAnswerWithoutTextSaysWhyAndKeepsNothing) {
    service.reply(FakeReply::events({{ServerEvent(
        R"({"candidates":[{"content":{"parts":[{"text":""}]},"finishReason":"MAX_TOKENS"}]})")}}));
    start();
    const AnswerEnd end = awaitEnd();
    ASSERT_FALSE(end.Result.has_value());
    EXPECT_EQ(end.Result.error().Text, u"Ответ обрезан: достигнут предел длины"_s);
    EXPECT_EQ(dm.ChatHistory(), failedQuestion(u"Ответ обрезан: достигнут предел длины"_s));
}

TEST_F(LiveAnswerTest, TellsTokenCountsAndKeepsTheSourcesInEitherSpelling) {
    service.reply(FakeReply::events(
        {{TextEvent("a")},
         {ServerEvent(
             R"({"candidates":[{"content":{"parts":[{"text":"b"}]},"groundingMetadata":)"
             R"({"groundingChunks":[{"web":{"uri":"https://a.example/","title":"A"}}]}}]})")},
         {ServerEvent(
             R"({"candidates":[{"content":{"parts":[{"text":"c"}]},"finish_reason":"STOP",)"
             R"("grounding_metadata":{"grounding_chunks":[{"web":{"uri":"https://a.example/",)"
             R"("title":"A"}},{"web":{"uri":"https://b.example/"}}]}}],"usageMetadata":)"
             R"({"promptTokenCount":12,"candidatesTokenCount":3,"thoughtsTokenCount":40,)"
             R"("totalTokenCount":55}})")}}));
    start();
    const AnswerEnd end = awaitEnd();
    ASSERT_TRUE(end.Result.has_value());
    EXPECT_EQ(end.Result->Text(), u"abc"_s);
    EXPECT_EQ(end.Result->Facts.Usage, (TokenUsage{12, 3, 40, 55}));
    const QList<WebSource> sources = {{u"A"_s, u"https://a.example/"_s},
                                      {u"https://b.example/"_s, u"https://b.example/"_s}};
    EXPECT_EQ(end.Result->Facts.Sources, sources);
    EXPECT_EQ(dm.ChatHistory().last().Sources, sources);
}

TEST_F(LiveAnswerTest, ABusyServiceIsTriedAgainAndTheWaitIsTold) {
    service.replies(
        {FakeReply::json(R"({"error":{"code":503,"details":[{"@type":"type.googleapis.com/)"
                         R"(google.rpc.RetryInfo","retryDelay":"0.05s"}]}})",
                         503),
         FakeReply::events({{TextEvent("ok")}})});
    start();
    const AnswerEnd end = awaitEnd();
    EXPECT_EQ(retries, QList<int>{1});
    EXPECT_EQ(textOf(end), u"ok"_s);
    EXPECT_EQ(service.requests().size(), 2u);
}

TEST_F(LiveAnswerTest, StopEndsTheWaitBeforeARetry) {
    service.reply(FakeReply::json(R"({"error":{"code":503}})", 503)); // 2 s before the retry
    start();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !retries.isEmpty(); }, kWaitMs));
    answer->Stop();
    // The request thread holds the answer until it ends, so once it has let go no retry
    // can follow.
    const std::weak_ptr<LiveAnswer> held = std::exchange(answer, nullptr);
    ASSERT_FALSE(held.expired());
    ASSERT_TRUE(QTest::qWaitFor([&] { return held.expired(); }, kWaitMs));
    EXPECT_EQ(service.requests().size(), 1u);
}

} // namespace
