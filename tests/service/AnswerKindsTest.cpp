// Every kind of answer the service streams, from its events to what the chat keeps, what
// its file holds and what the next request sends back.
#include "store/ChatFile.h"
#include "ModelServiceFixture.h"
#include "service/RequestBody.h"

#include <vector>

namespace {

using namespace Qt::StringLiterals;

std::string event(const std::string& candidate) {
    return ServerEvent(R"({"candidates":[)" + candidate + "]}");
}

std::string parts(const std::string& list, const std::string& finish = {}) {
    std::string candidate = R"({"content":{"role":"model","parts":[)" + list + "]}";
    if (!finish.empty())
        candidate += R"(,"finishReason":")" + finish + '"';
    return candidate + '}';
}

const std::string kServiceError = ServerEvent(
    R"({"error":{"code":400,"message":"Request contains an invalid argument.","status":"INVALID_ARGUMENT"}})");

class AnswerKindsTest : public ModelServiceTest {
protected:
    AnswerEnd stream(std::vector<std::string> events) {
        std::vector<FakeChunk> chunks;
        for (std::string& e : events)
            chunks.push_back({std::move(e)});
        service.reply(FakeReply::events(std::move(chunks)));
        std::optional<AnswerEnd> end;
        dm.ClearHistory();
        auto answer = dm.StreamAnswer(u"KEY"_s, u"gemini-test"_s, textParts(u"q"_s), false,
                                      {{}, {}, [&end](const AnswerEnd& e) { end = e; }});
        EXPECT_TRUE(QTest::qWaitFor([&end] { return end.has_value(); }, kWaitMs));
        return end.value_or(AnswerEnd{});
    }

    // The body of the request that would follow with the question "next".
    std::string nextBody() const {
        TChatHistory history = dm.ChatHistory();
        history.append({u"user"_s, textParts(u"next"_s)});
        return BuildContentRequestBody(history, false).toStdString();
    }

    // The chat written to its file and read back is the chat.
    void expectFileKeepsTheChat() const {
        ChatFileContent read;
        EXPECT_TRUE(ReadChatFileText(ChatFileText({dm.ChatHistory(), {}}), read));
        EXPECT_EQ(read.History, dm.ChatHistory());
    }
};

TEST_F(AnswerKindsTest, EachKindIsShownKeptAndSentBackAsItShouldBe) {
    struct Case {
        const char* name;
        std::vector<std::string> events;
        // What the chat keeps as the model's message; nothing when the request failed.
        std::optional<TContentParts> kept;
        QString finishReason;
        // The failure the user is told, also after a kept answer.
        QString failure;
        std::vector<std::string> sentBack;
        std::vector<std::string> neverSent;
    };
    TContentPart thought = MakeTextPart(u"Think."_s);
    thought.Thought = true;
    TContentPart signedText = MakeTextPart(u"Answer"_s);
    signedText.ThoughtSignature = u"c2ln"_s;
    TContentPart call;
    call.PartType = TPartType::ptFunctionCall;
    // Kept as parsed: members in the parser's order, in the program's JSON text form.
    call.Text = uR"({"args":{"city":"\u041C"},"name":"get_weather"})"_s;
    TContentPart code;
    code.PartType = TPartType::ptExecutableCode;
    code.Text = uR"x({"code":"print(1)","language":"PYTHON"})x"_s;
    TContentPart result;
    result.PartType = TPartType::ptCodeExecutionResult;
    result.Text = uR"({"outcome":"OUTCOME_OK","output":"1\n"})"_s;
    const std::string png = R"({"inlineData":{"mimeType":"image/png","data":"iVBO"}})";

    const Case cases[] = {
        {"a picture among the text",
         {event(parts(R"({"text":"Вот "})")), event(parts(png)),
          event(parts(R"({"text":"и всё."})", "STOP"))},
         TContentParts{MakeTextPart(u"Вот "_s), MakeInlinePart(u"image/png"_s, "iVBO"),
                       MakeTextPart(u"и всё."_s)},
         {},
         {},
         {R"({"inline_data":{"mime_type":"image\/png","data":"iVBO"}})"},
         {}},
        {"a picture alone is an answer",
         {event(parts(png, "STOP"))},
         TContentParts{MakeInlinePart(u"image/png"_s, "iVBO")},
         {},
         {},
         {R"("role":"model")"},
         {}},
        {"an error event after text keeps the text",
         {event(parts(R"({"text":"Начало"})")), kServiceError},
         TContentParts{MakeTextPart(u"Начало"_s)},
         {},
         u"Ошибка: Request contains an invalid argument."_s,
         {R"("role":"model")"},
         {}},
        {"an error event alone fails the request",
         {kServiceError},
         std::nullopt,
         {},
         u"Ошибка: Request contains an invalid argument."_s,
         {R"({"text":"next"})"},
         {R"({"text":"q"})"}},
        {"cut at the length limit",
         {event(parts(R"({"text":"Длинный"})", "MAX_TOKENS"))},
         TContentParts{MakeTextPart(u"Длинный"_s)},
         u"MAX_TOKENS"_s,
         {},
         {R"("role":"model")"},
         {}},
        {"a stream that closes without a finish reason",
         {event(parts(R"({"text":"a"})"))},
         TContentParts{MakeTextPart(u"a"_s)},
         kStreamEndedEarly.toString(),
         {},
         {},
         {}},
        {"a function call is kept but never sent back alone",
         {event(parts(R"({"functionCall":{"name":"get_weather","args":{"city":"М"}}})", "STOP"))},
         TContentParts{call},
         {},
         {},
         {},
         {"functionCall", R"("role":"model")"}},
        {"code and its result are kept and sent back",
         {event(parts(R"x({"executableCode":{"language":"PYTHON","code":"print(1)"}},)x"
                      R"({"codeExecutionResult":{"outcome":"OUTCOME_OK","output":"1\n"}})",
                      "STOP"))},
         TContentParts{code, result},
         {},
         {},
         {R"x({"executableCode":{"code":"print(1)","language":"PYTHON"}})x"},
         {}},
        {"thoughts are kept apart and their signature goes back with its part",
         {event(parts(R"({"text":"Think.","thought":true})")),
          event(parts(R"({"text":"Answer","thoughtSignature":"c2ln"})", "STOP"))},
         TContentParts{thought, signedText},
         {},
         {},
         {R"({"text":"Answer","thoughtSignature":"c2ln"})"},
         {"Think."}},
        {"thoughts alone are no answer",
         {event(parts(R"({"text":"Think.","thought":true})", "MAX_TOKENS"))},
         std::nullopt,
         {},
         u"Ответ обрезан: достигнут предел длины"_s,
         {},
         {"Think.", R"({"text":"q"})"}},
        {"a blocked prompt fails the request",
         {ServerEvent(R"({"promptFeedback":{"blockReason":"PROHIBITED_CONTENT"}})")},
         std::nullopt,
         {},
         u"Запрос заблокирован (причина: PROHIBITED_CONTENT)"_s,
         {},
         {R"({"text":"q"})"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AnswerEnd end = stream(c.events);
        EXPECT_EQ(end.Result.has_value(), c.failure.isEmpty());
        if (!c.failure.isEmpty()) {
            EXPECT_EQ(end.Result.error().Text, c.failure);
        }
        if (c.kept) {
            ASSERT_EQ(dm.ChatHistory().size(), 2);
            const THistoryItem& answer = dm.ChatHistory()[1];
            EXPECT_EQ(answer.Parts, *c.kept);
            EXPECT_EQ(answer.FinishReason, c.finishReason);
            EXPECT_TRUE(dm.ChatHistory()[0].Failure.isEmpty());
        } else {
            EXPECT_EQ(dm.ChatHistory(), failedQuestion(c.failure));
        }
        expectFileKeepsTheChat();
        const std::string body = nextBody();
        for (const std::string& sent : c.sentBack)
            EXPECT_NE(body.find(sent), std::string::npos) << sent << " in " << body;
        for (const std::string& unsent : c.neverSent)
            EXPECT_EQ(body.find(unsent), std::string::npos) << unsent << " in " << body;
    }
}

TEST_F(AnswerKindsTest, CitationsAreKeptBesideTheSourcesOnceEach) {
    const std::string citations =
        R"(,"citationMetadata":{"citationSources":[{"startIndex":0,"endIndex":5,)"
        R"("uri":"https://c.example/","license":"mit"},{"uri":"https://c.example/",)"
        R"("license":"mit","startIndex":0,"endIndex":5}]})";
    const AnswerEnd end =
        stream({event(R"({"content":{"parts":[{"text":"quoted"}]},"finishReason":"RECITATION")" +
                      citations + "}")});
    ASSERT_TRUE(end.Kept.has_value());
    const QList<Citation> expected{{u"https://c.example/"_s, u"mit"_s, 0, 5}};
    EXPECT_EQ(end.Kept->Citations, expected);
    EXPECT_EQ(end.Kept->FinishReason, u"RECITATION"_s);
    expectFileKeepsTheChat();
    EXPECT_EQ(nextBody().find("c.example"), std::string::npos);
}

TEST_F(AnswerKindsTest, ThoughtsAreAskedForOnlyWhenTheUserWantsThem) {
    const TChatHistory history{{u"user"_s, textParts(u"q"_s)}};
    const QByteArray plain = BuildContentRequestBody(history, false);
    const QByteArray asking = BuildContentRequestBody(history, false, true);
    EXPECT_FALSE(plain.contains("thinkingConfig"));
    EXPECT_TRUE(asking.contains(
        R"("stopSequences":[],"thinkingConfig":{"includeThoughts":true}},"safetySettings")"));
    QByteArray without = asking;
    without.replace(R"(,"thinkingConfig":{"includeThoughts":true})", "");
    EXPECT_EQ(without, plain);
}

// The service counts what it receives: a request that never reached it is not counted.
TEST_F(AnswerKindsTest, OnlyRequestsThatReachedTheServiceAreCounted) {
    QStringList counted;
    dm.SetRequestSentHandler(
        [&counted](const QString& key, const QString& model) { counted << key + u'/' + model; });
    service.reply(FakeReply::events({{LastTextEvent("ok")}}));
    stream({LastTextEvent("ok")});
    EXPECT_EQ(counted, QStringList{u"KEY/gemini-test"_s});

    service.reply(FakeReply::json(R"({"error":{"message":"bad"}})", 400));
    generate(textParts(u"q"_s));
    EXPECT_EQ(counted.size(), 2);

    dm.SetBaseUrl(u"http://127.0.0.1:9"_s); // nothing listens there
    generate(textParts(u"q"_s));
    QTest::qWait(50);
    EXPECT_EQ(counted.size(), 2);
}

} // namespace
