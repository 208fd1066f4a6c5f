#include "ModelServiceFixture.h"
#include "service/RetryPolicy.h"

#include <memory>
#include <optional>

namespace {

using namespace Qt::StringLiterals;

class RequestFailureTest : public ModelServiceTest {
protected:
    // A failure reaches the caller; the chat keeps the user's message and gains nothing.
    QString failedOutcome() {
        const QString result = generate(textParts(u"q"_s));
        EXPECT_EQ(dm.ChatHistory(), failedQuestion(result));
        return result;
    }

    // How the request for "q" ended, as the typed callback tells it.
    RequestResult resultOf() {
        std::optional<RequestResult> got;
        dm.GenerateContent(u"KEY"_s, u"gemini-test"_s, textParts(u"q"_s), false,
                           ResultCallback([&](const RequestResult& r) { got = r; }));
        EXPECT_TRUE(WaitUntil([&] { return got.has_value(); }, kWaitMs));
        return got.value_or(ModelAnswer{});
    }
};

TEST_F(RequestFailureTest, HttpErrorCarriesTheStatusLineAsReceived) {
    struct Case {
        FakeReply reply;
        QString expected;
    };
    FakeReply customLine = FakeReply::json(
        R"({"error":{"code":400,"message":"API key not valid. Please pass a valid API key.","status":"INVALID_ARGUMENT"}})",
        400);
    customLine.statusLine = "HTTP/1.1 400 Not Today";
    const Case cases[] = {
        {customLine, u"Ошибка HTTP: HTTP/1.1 400 Not Today (Код: 400)\r\n"
                     u"Ответ: API key not valid. Please pass a valid API key."_s},
        {FakeReply::json("plain words %1, not JSON", 400),
         u"Ошибка HTTP: HTTP/1.1 400 Bad Request (Код: 400)\r\nОтвет: plain words %1, not JSON"_s},
        {FakeReply::json(R"({"error":{"code":404}})", 404),
         u"Ошибка HTTP: HTTP/1.1 404 Not Found (Код: 404)\r\nОтвет: {\"error\":{\"code\":404}}"_s},
        // A redirect is not followed: the key in the address stays with the service.
        {FakeReply::json("moved", 307),
         u"Ошибка HTTP: HTTP/1.1 307 Temporary Redirect (Код: 307)\r\nОтвет: moved"_s},
    };
    for (const Case& c : cases) {
        service.reply(c.reply);
        dm.ClearHistory();
        EXPECT_EQ(failedOutcome(), c.expected);
    }
    EXPECT_EQ(service.requests().size(), std::size(cases));
}

// An error body whose RetryInfo asks for the given delay.
std::string retryAfter(const char* delay) {
    return std::string(R"({"error":{"message":"try later","details":[{"@type":)"
                       R"("type.googleapis.com/google.rpc.RetryInfo","retryDelay":")") +
           delay + R"("}]}})";
}

TEST_F(RequestFailureTest, RefusalsAreRetriedOnlyAsAdvised) {
    const QString tryLater = u"Ошибка HTTP: HTTP/1.1 %1 (Код: %2)\r\nОтвет: try later"_s;
    // A quota refusal without a delay fails at once.
    service.reply(FakeReply::json(R"({"error":{"message":"try later"}})", 429));
    EXPECT_EQ(failedOutcome(), tryLater.arg(u"429 Too Many Requests"_s, u"429"_s));
    EXPECT_EQ(service.requests().size(), 1u);

    // A busy service that asks for a short pause is tried three more times, then reported.
    service.reply(FakeReply::json(retryAfter("0.02s"), 503));
    dm.ClearHistory();
    EXPECT_EQ(failedOutcome(), tryLater.arg(u"503 Service Unavailable"_s, u"503"_s));
    EXPECT_EQ(service.requests().size(), 1u + 1 + kMaxRetries);

    // One that asks for more than a minute fails at once; the outcome names the wait.
    service.reply(FakeReply::json(retryAfter("61.5s"), 429));
    dm.ClearHistory();
    EXPECT_EQ(failedOutcome(), tryLater.arg(u"429 Too Many Requests"_s, u"429"_s));
    EXPECT_EQ(service.requests().size(), 2u + 1 + kMaxRetries);
}

TEST_F(RequestFailureTest, ARetriedRequestThatSucceedsIsAnAnswer) {
    service.replies({FakeReply::json(retryAfter("0.01s"), 503),
                     FakeReply::json(R"({"candidates":[{"content":{"parts":[{"text":"ok"}]}}]})")});
    EXPECT_EQ(generate(textParts(u"q"_s)), u"ok"_s);
    const std::vector<FakeRequest> requests = service.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].body, requests[1].body);
}

TEST(RetryPolicyTest, ReadsTheDelayTheServiceAsksFor) {
    const struct {
        std::string body;
        std::optional<int> delayMs;
    } cases[] = {
        {retryAfter("2s"), 2000},
        {retryAfter("0.0011s"), 2},
        {retryAfter("0s"), 0},
        {retryAfter("-1s"), std::nullopt},
        {retryAfter("2"), std::nullopt},
        {R"({"error":{"details":[{"@type":"type.googleapis.com/google.rpc.RetryInfo",)"
         R"("retry_delay":{"seconds":"3","nanos":500000000}}]}})",
         3500},
        {R"({"error":{"message":"try later"}})", std::nullopt},
        {"not json", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RetryDelayMs(c.body), c.delayMs) << c.body;
}

TEST(RetryPolicyTest, AdvisesByStatusDelayAndAttempts) {
    using enum RetryAdvice::Kind;
    const std::string asksTwo = retryAfter("2s");
    const std::string asksAsObject =
        R"({"error":{"details":[{"@type":"type.googleapis.com/google.rpc.RetryInfo",)"
        R"("retry_delay":{"seconds":"3","nanos":500000000}}]}})";
    const struct {
        int status;
        std::string body;
        int retriesDone;
        RetryAdvice::Kind what;
        int delayMs;
    } cases[] = {
        {500, "", 0, RetryAfter, 2000},
        {503, "not json", 1, RetryAfter, 4000},
        {500, "{}", 2, RetryAfter, 8000},
        {500, "{}", 3, GiveUp, 0},
        {503, asksTwo, 0, RetryAfter, 2000},
        {429, asksTwo, 2, RetryAfter, 2000},
        {429, asksAsObject, 0, RetryAfter, 3500},
        {429, asksTwo, 3, GiveUp, 0},
        {429, "{}", 0, GiveUp, 0},
        {429, retryAfter("60s"), 0, RetryAfter, 60000},
        {429, retryAfter("60.001s"), 0, WaitTooLong, 60001},
        {503, retryAfter("-1s"), 0, RetryAfter, 2000},
        {400, asksTwo, 0, GiveUp, 0},
        {404, "", 0, GiveUp, 0},
    };
    for (const auto& c : cases) {
        const RetryAdvice advice = AdviseRetry(c.status, c.body, c.retriesDone);
        EXPECT_EQ(advice.What, c.what) << c.status << " " << c.body << " " << c.retriesDone;
        EXPECT_EQ(advice.DelayMs, c.delayMs) << c.status << " " << c.body << " " << c.retriesDone;
    }
}

// The failure says what failed where it was seen, so the window can explain it without
// reading the text: the status, the error's reason and the delay the service asks for.
TEST_F(RequestFailureTest, FailuresCarryTheCauseStatusAndErrorDetails) {
    const auto failureOf = [&] {
        const RequestResult result = resultOf();
        EXPECT_FALSE(result.has_value());
        return result.error();
    };
    const struct {
        const char* name;
        FakeReply reply;
        int status;
        const char16_t* reason;
        int delay;
    } cases[] = {
        {"quota with a delay",
         FakeReply::json(R"({"error":{"code":429,"message":"Quota exceeded","details":[)"
                         R"({"@type":"type.googleapis.com/google.rpc.QuotaFailure"},)"
                         R"({"@type":"type.googleapis.com/google.rpc.RetryInfo",)"
                         R"("retryDelay":"61.2s"}]}})",
                         429),
         429, u"", 62},
        {"bad key",
         FakeReply::json(R"({"error":{"code":400,"details":[{"@type":)"
                         R"("type.googleapis.com/google.rpc.ErrorInfo","reason":)"
                         R"("API_KEY_INVALID"}]}})",
                         400),
         400, u"API_KEY_INVALID", 0},
        {"bad gateway, an HTML page", FakeReply::json("<html><h1>502</h1></html>", 502), 502, u"",
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        service.reply(c.reply);
        const RequestFailure failure = failureOf();
        EXPECT_EQ(failure.Cause, FailureCause::HttpStatus);
        EXPECT_EQ(failure.HttpStatus, c.status);
        EXPECT_EQ(failure.ErrorReason, QString::fromUtf16(c.reason));
        EXPECT_EQ(failure.RetryDelaySeconds, c.delay);
    }

    dm.SetReadTimeoutMs(300);
    FakeReply silent = FakeReply::json(R"({"candidates":[]})");
    silent.holdBeforeHeaders = true;
    service.reply(silent);
    EXPECT_EQ(failureOf().Cause, FailureCause::TimedOut);
    service.release();

    dm.SetBaseUrl(QString::fromStdString(std::make_unique<FakeModelService>()->baseUrl()));
    const RequestFailure refused = failureOf();
    EXPECT_EQ(refused.Cause, FailureCause::NoConnection);
    EXPECT_EQ(refused.HttpStatus, 0);
}

// An answer and a failure are told apart where the answer is read; a failure keeps what
// had come before it, and the conversation keeps that too.
TEST_F(RequestFailureTest, AFailureCarriesWhatArrivedBeforeIt) {
    const struct {
        const char* name;
        FakeReply reply;
        bool answered;
        QString failure;
        QString arrivedText;
        QString finishOrBlock;
    } cases[] = {
        {"a whole answer",
         FakeReply::json(
             R"({"candidates":[{"content":{"parts":[{"text":"whole"}]},"finishReason":"STOP"}]})"),
         true,
         {},
         u"whole"_s,
         u"STOP"_s},
        {"an error after part of the answer",
         FakeReply::json(R"({"candidates":[{"content":{"parts":[{"text":"so far"}]}}],)"
                         R"("error":{"message":"boom"}})"),
         false,
         u"Ошибка: boom"_s,
         u"so far"_s,
         {}},
        {"a blocked prompt",
         FakeReply::json(R"({"promptFeedback":{"blockReason":"SAFETY"}})"),
         false,
         u"Запрос заблокирован фильтром безопасности"_s,
         {},
         u"SAFETY"_s},
        {"a refusal",
         FakeReply::json(R"({"error":{"message":"no"}})", 403),
         false,
         u"Ошибка HTTP: HTTP/1.1 403 Forbidden (Код: 403)\r\nОтвет: no"_s,
         {},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        service.reply(c.reply);
        dm.ClearHistory();
        const RequestResult result = resultOf();
        EXPECT_EQ(result.has_value(), c.answered);
        EXPECT_EQ(result.error().Text, c.failure);
        const ModelAnswer& arrived = WhatArrived(result);
        EXPECT_EQ(arrived.Text(), c.arrivedText);
        EXPECT_EQ(arrived.Facts.FinishReason + arrived.Facts.BlockReason, c.finishOrBlock);
        if (c.arrivedText.isEmpty()) {
            EXPECT_EQ(dm.ChatHistory(), failedQuestion(c.failure));
        } else {
            ASSERT_EQ(dm.ChatHistory().size(), 2);
            EXPECT_EQ(AnswerText(dm.ChatHistory()[1].Parts), c.arrivedText);
        }
    }
}

TEST_F(RequestFailureTest, RefusedConnectionIsAnException) {
    // A port that was just free: nothing listens there any more.
    dm.SetBaseUrl(QString::fromStdString(std::make_unique<FakeModelService>()->baseUrl()));
    EXPECT_TRUE(failedOutcome().startsWith(u"Исключение: ConnectionError - "_s));
}

TEST_F(RequestFailureTest, SilentServerTimesOutBeforeAndDuringTheBody) {
    dm.SetReadTimeoutMs(300);
    const QString expected = u"Исключение: TimeoutError - no data from the server for 300 ms"_s;

    FakeReply silent = FakeReply::json(R"({"candidates":[]})");
    silent.holdBeforeHeaders = true;
    service.reply(silent);
    EXPECT_EQ(failedOutcome(), expected);

    service.reply(FakeReply::jsonInPieces(
        {{R"({"candidates":[{"content":)"},
         {.bytes = R"({"parts":[{"text":"x"}]}}]})", .afterRelease = true}}));
    dm.ClearHistory();
    EXPECT_EQ(failedOutcome(), expected);
}

TEST_F(RequestFailureTest, SlowButSteadyAnswerIsNotATimeOut) {
    dm.SetReadTimeoutMs(400);
    // Each piece comes within the time-out, though the whole takes longer than it.
    const std::chrono::milliseconds pause(150);
    service.reply(FakeReply::jsonInPieces({{R"({"candidates":[{"content":)", pause},
                                           {R"({"parts":[{"text":"slow")", pause},
                                           {R"(}]}}]})", pause},
                                           {" ", pause}}));
    EXPECT_EQ(generate(textParts(u"q"_s)), u"slow"_s);
}

class UntrustedServiceTest : public ModelServiceTest {
protected:
    UntrustedServiceTest() : ModelServiceTest(FakeModelService::Transport::HttpsSelfSigned) {}
};

TEST_F(UntrustedServiceTest, SelfSignedCertificateIsRefused) {
    service.reply(FakeReply::json(R"({"candidates":[{"content":{"parts":[{"text":"x"}]}}]})"));
    const QString result = generate(textParts(u"q"_s));
    EXPECT_TRUE(result.startsWith(u"Исключение: TlsError - "_s)) << result.toStdString();
    EXPECT_TRUE(service.requests().empty());
    EXPECT_EQ(dm.ChatHistory(), failedQuestion(result));
}

} // namespace
