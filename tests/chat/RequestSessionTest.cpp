// The request session without a window: what a request's end shows, the "Повторить" and
// "Продолжить" links as single-use tokens, stopping, and the status of a live answer.
#include "ModelServiceFixture.h"

#include "chat/RequestSession.h"

#include <QSignalSpy>

namespace {

using namespace Qt::StringLiterals;

class RequestSessionTest : public ModelServiceTest {
protected:
    RequestSessionTest() {
        QObject::connect(&session, &RequestSession::Ended,
                         [this](const RequestEnd& end) { ends << end; });
    }

    SentRequest textRequest(const QString& prompt = u"q"_s) const {
        return {.ApiKey = u"KEY"_s,
                .ModelName = u"gemini-test"_s,
                .Prompt = prompt,
                .Files = {u"/tmp/a.txt"_s},
                .Parts = textParts(prompt),
                .WebSearch = true};
    }

    RequestEnd awaitEnd() {
        EXPECT_TRUE(WaitUntil([this] { return !ends.isEmpty(); }, kWaitMs));
        EXPECT_EQ(ends.size(), 1);
        EXPECT_FALSE(session.Running());
        return ends.isEmpty() ? RequestEnd{} : ends.takeFirst();
    }

    RequestSession session{dm};
    QList<RequestEnd> ends;
};

TEST_F(RequestSessionTest, AFailureWithNothingKeptCanBeSentAgainOnceWithItsToken) {
    service.reply(FakeReply::json(R"({"error":{"code":400,"message":"bad"}})", 400));
    session.Start(textRequest());
    EXPECT_TRUE(session.Running());
    const RequestEnd end = awaitEnd();
    ASSERT_TRUE(end.Failure.has_value());
    EXPECT_EQ(end.Failure->HttpStatus, 400);
    EXPECT_TRUE(end.Live);
    EXPECT_FALSE(end.Answer.has_value());
    EXPECT_FALSE(end.RetryToken.isEmpty());
    EXPECT_EQ(session.FailedRequest().Prompt, u"q"_s);
    EXPECT_EQ(session.FailedRequest().Files, QStringList{u"/tmp/a.txt"_s});
    ASSERT_EQ(dm.ChatHistory().size(), 1);
    EXPECT_FALSE(dm.ChatHistory().last().Failure.isEmpty());

    EXPECT_FALSE(session.TakeRetry(u"another"_s).has_value());
    EXPECT_FALSE(session.TakeRetry(QString()).has_value());
    const std::optional<SentRequest> again = session.TakeRetry(end.RetryToken);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->Parts, textParts(u"q"_s));
    EXPECT_TRUE(again->WebSearch);
    // The failed message makes way for the one sent again.
    EXPECT_TRUE(dm.ChatHistory().isEmpty());
    EXPECT_FALSE(session.TakeRetry(end.RetryToken).has_value());
}

TEST_F(RequestSessionTest, AnAnswerCutShortCanBeContinuedUntilTheLinksAreForgotten) {
    service.reply(FakeReply::events({{LastTextEvent("Начало", "MAX_TOKENS")}}));
    session.Start(textRequest());
    const RequestEnd end = awaitEnd();
    ASSERT_TRUE(end.Answer.has_value());
    EXPECT_EQ(end.Answer->FinishReason, u"MAX_TOKENS"_s);
    EXPECT_FALSE(end.Failure.has_value());
    EXPECT_TRUE(end.RetryToken.isEmpty());
    ASSERT_FALSE(end.ContinueToken.isEmpty());

    const std::optional<SentRequest> next = session.TakeContinue(end.ContinueToken);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->Prompt, ContinuePrompt());
    EXPECT_EQ(next->Parts, textParts(ContinuePrompt()));
    EXPECT_TRUE(next->Files.isEmpty());
    EXPECT_EQ(next->ModelName, u"gemini-test"_s);
    EXPECT_TRUE(next->WebSearch);
    EXPECT_FALSE(session.TakeContinue(end.ContinueToken).has_value());

    service.reply(FakeReply::events({{LastTextEvent("Ещё", "MAX_TOKENS")}}));
    session.Start(*next);
    const RequestEnd second = awaitEnd();
    session.ForgetLinks();
    EXPECT_FALSE(session.TakeContinue(second.ContinueToken).has_value());
}

TEST_F(RequestSessionTest, ABrokenConnectionKeepsTheAnswerWithANoteThatCanGoOn) {
    service.reply(FakeReply::events({{TextEvent("Часть")}, {.bytes = TextEvent("потеряно"), .dropConnection = true}}));
    session.Start(textRequest());
    const RequestEnd end = awaitEnd();
    ASSERT_TRUE(end.Answer.has_value());
    EXPECT_EQ(end.Answer->FinishReason, kConnectionLost.toString());
    EXPECT_FALSE(end.BrokeOff.isEmpty());
    EXPECT_FALSE(end.Failure.has_value());
    EXPECT_FALSE(end.ContinueToken.isEmpty());
}

TEST_F(RequestSessionTest, StopEndsTheRequestBeforeItReturns) {
    FakeReply held = FakeReply::events({{TextEvent("Пишу")}, {.bytes = TextEvent(" дальше"),
                                                              .afterRelease = true}});
    service.reply(held);
    QSignalSpy text(&session, &RequestSession::LiveTextChanged);
    session.Start(textRequest());
    ASSERT_TRUE(WaitUntil([&] { return !text.isEmpty(); }, kWaitMs));
    session.Stop();
    EXPECT_FALSE(session.Running());
    ASSERT_EQ(ends.size(), 1);
    EXPECT_TRUE(ends.first().Stopped);
    ASSERT_TRUE(ends.first().Answer.has_value());
    EXPECT_EQ(AnswerText(ends.first().Answer->Parts), u"Пишу"_s);
    service.release();
    session.Stop(); // nothing runs: nothing more ends
    EXPECT_EQ(ends.size(), 1);
}

TEST_F(RequestSessionTest, AnImageAnswerGivesItsPicturesApartFromItsWords) {
    service.reply(FakeReply::json(
        R"({"candidates":[{"content":{"parts":[{"text":"Вот"},{"inlineData":{"mimeType":"image/jpeg","data":"/9j/"}}]}}],)"
        R"("usageMetadata":{"promptTokenCount":3,"candidatesTokenCount":5,"totalTokenCount":8}})"));
    SentRequest request = textRequest(u"Кот"_s);
    request.Image = true;
    session.Start(request);
    const RequestEnd end = awaitEnd();
    EXPECT_FALSE(end.Live || end.Failure.has_value());
    ASSERT_EQ(end.Pictures.size(), 1);
    EXPECT_EQ(end.Pictures.first().MimeType, u"image/jpeg"_s);
    ASSERT_TRUE(end.Answer.has_value());
    EXPECT_EQ(AnswerText(end.Answer->Parts), u"Вот"_s);
    ASSERT_TRUE(session.LastUsage().has_value());
    EXPECT_EQ(session.LastUsage()->Total, 8);
}

TEST_F(RequestSessionTest, StoppingAnImageRequestIsAFailureThatCanBeSentAgain) {
    FakeReply held = FakeReply::json(R"({"candidates":[]})");
    held.holdBeforeHeaders = true;
    service.reply(held);
    SentRequest request = textRequest(u"Кот"_s);
    request.Image = true;
    session.Start(request);
    ASSERT_TRUE(WaitUntil([&] { return !service.requests().empty(); }, kWaitMs));
    session.Stop();
    ASSERT_EQ(ends.size(), 1);
    const RequestEnd end = ends.first();
    EXPECT_TRUE(end.Stopped);
    ASSERT_TRUE(end.Failure.has_value());
    EXPECT_EQ(end.Failure->Text, u"Остановлено"_s);
    EXPECT_FALSE(end.RetryToken.isEmpty());
    EXPECT_FALSE(session.LastUsage().has_value());
    service.release();
}

TEST_F(RequestSessionTest, TheLiveStatusTellsThinkingTypingTimeAndRetries) {
    service.reply(FakeReply::events(
        {{ServerEvent(R"({"candidates":[{"content":{"parts":[{"text":"хм","thought":true}]}}]})")},
         {.bytes = LastTextEvent("Ответ"), .afterRelease = true}}));
    QSignalSpy started(&session, &RequestSession::LiveStarted);
    QSignalSpy status(&session, &RequestSession::LiveStatusChanged);
    session.RestartClock();
    session.Start(textRequest());
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started.first().first().toString(), u"Печатает… 00:00"_s);
    ASSERT_TRUE(WaitUntil([&] { return !status.isEmpty(); }, kWaitMs));
    EXPECT_EQ(status.last().first().toString(), u"Размышляет… 00:00"_s);
    for (int i = 0; i < 65; ++i)
        session.Tick();
    EXPECT_EQ(status.last().first().toString(), u"Размышляет… 01:05"_s);
    service.release();
    awaitEnd();
    EXPECT_EQ(RequestSession::ElapsedText(7504), u"125:04"_s);
}

} // namespace
