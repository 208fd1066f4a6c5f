#include "ModelServiceFixture.h"
#include "service/RequestBody.h"

namespace {

using namespace Qt::StringLiterals;

const std::string kTextAnswer =
    R"({"candidates":[{"content":{"parts":[{"text":"Hello"}],"role":"model"}}]})";

const std::string kSafetySettings =
    R"("safetySettings":[{"category":"HARM_CATEGORY_HARASSMENT","threshold":"BLOCK_NONE"},)"
    R"({"category":"HARM_CATEGORY_HATE_SPEECH","threshold":"BLOCK_NONE"},)"
    R"({"category":"HARM_CATEGORY_SEXUALLY_EXPLICIT","threshold":"BLOCK_NONE"},)"
    R"({"category":"HARM_CATEGORY_DANGEROUS_CONTENT","threshold":"BLOCK_NONE"}])";

class GenerationTest : public ModelServiceTest {};

TEST_F(GenerationTest, PostsTheConversationAsTheExactJsonBody) {
    service.reply(FakeReply::json(kTextAnswer));
    dm.ChatHistory() = {
        {u"user"_s,
         {MakeTextPart(u"Привет"_s), MakeInlinePart(u"image/png"_s, "iVBO/w==", u"a.png"_s)}},
        {u"model"_s, {MakeTextPart(u"Да"_s)}},
    };

    EXPECT_EQ(generate(textParts(u"Ещё \"x\"\n"_s)), u"Hello"_s);

    const FakeRequest request = onlyRequest();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/v1beta/models/gemini-test:generateContent");
    EXPECT_EQ(request.headers.count("Content-Type"), 1u);
    EXPECT_EQ(request.headers.find("Content-Type")->second, "application/json");
    EXPECT_EQ(request.headers.count("Expect"), 0u);
    EXPECT_EQ(request.body,
              R"({"contents":[)"
              R"({"role":"user","parts":[{"text":"\u041F\u0440\u0438\u0432\u0435\u0442"},)"
              R"({"inline_data":{"mime_type":"image\/png","data":"iVBO\/w=="}}]},)"
              R"({"role":"model","parts":[{"text":"\u0414\u0430"}]},)"
              R"({"role":"user","parts":[{"text":"\u0415\u0449\u0451 \"x\"\n"}]}],)"
              R"("generationConfig":{"temperature":0.2,"topK":1,"topP":1,)"
              R"("maxOutputTokens":300000,"stopSequences":[]},)" +
                  kSafetySettings + "}");
}

TEST_F(GenerationTest, EmptyTextPartsAndItemsLeftEmptyAreNotSent) {
    // A chat saved by an earlier version with an empty answer in it.
    dm.ChatHistory() = {
        {u"user"_s, textParts(u"a"_s)},
        {u"model"_s, textParts(QString())},
        {u"user"_s, {MakeTextPart(QString()), MakeInlinePart(u"image/png"_s, "QQ")}}};
    service.reply(FakeReply::json(kTextAnswer));
    generate(textParts(u" "_s));
    EXPECT_TRUE(onlyRequest().body.starts_with(
        R"({"contents":[{"role":"user","parts":[{"text":"a"}]},)"
        R"({"role":"user","parts":[{"inline_data":{"mime_type":"image\/png","data":"QQ"}}]},)"
        R"({"role":"user","parts":[{"text":" "}]}],)"));
}

TEST_F(GenerationTest, AsksForWebSearchOnlyWhenWanted) {
    service.reply(FakeReply::json(kTextAnswer));
    generate(textParts(u"a"_s), true);
    generate(textParts(u"b"_s), false);

    const std::vector<FakeRequest> requests = service.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].body.ends_with(kSafetySettings + R"(,"tools":[{"googleSearch":{}}]})"));
    EXPECT_TRUE(requests[1].body.ends_with(kSafetySettings + "}"));
}

TEST_F(GenerationTest, ImageRequestSendsThePromptAloneAndRecordsItWithTheSuffix) {
    service.reply(FakeReply::json(
        R"({"candidates":[{"content":{"parts":[{"text":"Вот"},{"inlineData":{"mimeType":"image/jpeg","data":"/9j/"}}]}}]})"));
    dm.ChatHistory() = {{u"user"_s, {MakeTextPart(u"old"_s)}}};

    EXPECT_EQ(generateImage(u"Кот"_s), uR"({"mime_type":"image\/jpeg","base64_data":"\/9j\/"})"_s);

    const FakeRequest request = onlyRequest();
    EXPECT_EQ(request.target, "/v1beta/models/gemini-image:generateContent");
    EXPECT_EQ(request.body,
              R"({"contents":[{"role":"user","parts":[{"text":"\u041A\u043E\u0442"}]}],)"
              R"("generationConfig":{},)" +
                  kSafetySettings + "}");
    // The picture is kept with the request, where it is never sent; the words that came
    // with it are the model's message.
    ASSERT_EQ(dm.ChatHistory().size(), 3);
    THistoryItem asked{u"user"_s, {MakeTextPart(u"Кот (запрос на генерацию изображения)"_s)}};
    asked.Images = {MakeInlinePart(u"image/jpeg"_s, "/9j/")};
    EXPECT_EQ(dm.ChatHistory()[1], asked);
    EXPECT_EQ(dm.ChatHistory()[2], (THistoryItem{u"model"_s, {MakeTextPart(u"Вот"_s)}}));
    EXPECT_EQ(BuildContentRequestBody(dm.ChatHistory(), false).count("9j"), 0);
}

// The question is stamped when it is sent, the answer when it arrives.
TEST_F(GenerationTest, MessagesCarryTheTimeTheyWereWritten) {
    QDateTime now(QDate(2025, 3, 1), QTime(14, 25, 30));
    Clock::setSource([&now] { return now; });
    service.reply(FakeReply::json(R"({"candidates":[{"content":{"parts":[{"text":"a"}]}}]})"));
    Outcomes outcomes;
    dm.GenerateContent(u"KEY"_s, u"gemini-test"_s, textParts(u"q"_s), false, recorder(outcomes));
    const QDateTime asked = now;
    now = now.addSecs(5);
    awaitOne(outcomes);
    ASSERT_EQ(dm.ChatHistory().size(), 2);
    EXPECT_EQ(dm.ChatHistory()[0].Time, asked);
    EXPECT_EQ(dm.ChatHistory()[1].Time, now);
}

TEST_F(GenerationTest, ReadsAnswersIntoOneResultAndRecordsTheModelMessage) {
    struct Case {
        const char* name;
        std::string body;
        QString result;
        // The model parts recorded, or nothing when the answer is a failure.
        std::optional<TContentParts> recorded;
    };
    const QString noAnswer = u"Ошибка: получен пустой или некорректный ответ от сервера."_s;
    const Case cases[] = {
        {"text parts joined",
         R"({"candidates":[{"content":{"parts":[{"text":"a"},7,{"text":"b"},{"text":{}}]}},{"content":{"parts":[{"text":"x"}]}}]})",
         u"ab"_s, TContentParts{MakeTextPart(u"ab"_s)}},
        {"the first picture is the result, every part is kept in its place",
         R"({"candidates":[{"content":{"parts":[{"text":"a"},{"inline_data":{"data":"QU/C"}},{"inline_data":{"mime_type":"image/gif","data":"R0"}}]}}]})",
         uR"({"mime_type":"image\/png","base64_data":"QU\/C"})"_s,
         TContentParts{MakeTextPart(u"a"_s), MakeInlinePart(u"image/png"_s, "QU/C"),
                       MakeInlinePart(u"image/gif"_s, "R0")}},
        {"inline part with null members",
         R"({"candidates":[{"content":{"parts":[{"inline_data":{"mime_type":null,"data":null}}]}}]})",
         uR"({"mime_type":"image\/png","base64_data":""})"_s,
         TContentParts{MakeInlinePart(u"image/png"_s, "")}},
        {"a text answer that is an image description is stored as one",
         R"({"candidates":[{"content":{"parts":[{"text":"{\"mime_type\":\"image/webp\",\"base64_data\":\"UklG\"}"}]}}]})",
         uR"({"mime_type":"image/webp","base64_data":"UklG"})"_s,
         TContentParts{MakeInlinePart(u"image/webp"_s, "UklG")}},
        {"body that is not JSON", "Hello, world",
         u"Ошибка: сервер вернул пустой или непонятный ответ"_s, std::nullopt},
        // An answer without text is a failure that says why, never an empty message.
        {"candidate without content", R"({"candidates":[{"finishReason":"SAFETY"}]})",
         u"Ответ заблокирован фильтром безопасности"_s, std::nullopt},
        {"empty parts, cut at the length limit",
         R"({"candidates":[{"content":{"parts":[]},"finish_reason":"MAX_TOKENS"}]})",
         u"Ответ обрезан: достигнут предел длины"_s, std::nullopt},
        {"empty text, stopped normally", R"({"candidates":[{"content":{"parts":[{"text":""}]}}]})",
         u"Модель вернула пустой ответ"_s, std::nullopt},
        {"prompt blocked", R"({"promptFeedback":{"blockReason":"SAFETY"}})",
         u"Запрос заблокирован фильтром безопасности"_s, std::nullopt},
        {"camelCase image answer",
         R"({"candidates":[{"content":{"parts":[{"inlineData":{"mimeType":"image/webp","data":"UklG"}}]}}]})",
         uR"({"mime_type":"image\/webp","base64_data":"UklG"})"_s,
         TContentParts{MakeInlinePart(u"image/webp"_s, "UklG")}},
        {"no candidates, with an error message", R"({"error":{"message":"Квота исчерпана"}})",
         u"Ошибка: Квота исчерпана"_s, std::nullopt},
        {"no candidates, no message", R"({"usageMetadata":{}})", noAnswer, std::nullopt},
        {"empty candidates", R"({"candidates":[]})", noAnswer, std::nullopt},
        {"first candidate not an object", R"({"candidates":[1]})",
         u"Исключение: AnswerFormatError - the first candidate is not an object"_s, std::nullopt},
        {"MIME type that is not a string",
         R"({"candidates":[{"content":{"parts":[{"inline_data":{"mime_type":{}}}]}}]})",
         uR"(Исключение: AnswerFormatError - "mime_type" is not a string)"_s, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service.reply(FakeReply::json(c.body));
        dm.ClearHistory();
        EXPECT_EQ(generate(textParts(u"q"_s)), c.result);
        const TChatHistory& history = dm.ChatHistory();
        if (c.recorded) {
            ASSERT_EQ(history.size(), 2);
            EXPECT_EQ(history[1], (THistoryItem{u"model"_s, *c.recorded}));
        } else {
            EXPECT_EQ(history, failedQuestion(c.result));
        }
    }
}

TEST_F(GenerationTest, KeepsAGenuineAnswerThatBeginsWithTheWordError) {
    for (const QString& answer : {u"Ошибка в строке 3: нет точки с запятой."_s,
                                  u"ОШИБКА: так и есть"_s, u"исключение из правил"_s}) {
        QByteArray body = R"({"candidates":[{"content":{"parts":[{"text":")";
        body += answer.toUtf8() + R"("}]}}]})";
        service.reply(FakeReply::json(body.toStdString()));
        dm.ClearHistory();

        EXPECT_EQ(generate(textParts(u"q"_s)), answer);
        ASSERT_EQ(dm.ChatHistory().size(), 2);
        EXPECT_EQ(dm.ChatHistory()[1], (THistoryItem{u"model"_s, {MakeTextPart(answer)}}));
    }
}

TEST_F(GenerationTest, SendsTheTrimmedConversationWhileTheChatKeepsEverything) {
    service.reply(FakeReply::json(kTextAnswer));
    // 50000 + 30000 estimated tokens: with the new message the whole exceeds 80000.
    dm.ChatHistory() = {
        {u"user"_s, {MakeTextPart(QString(100000, u'a'))}},
        {u"model"_s, {MakeTextPart(QString(60000, u'b'))}},
    };
    Outcomes outcomes;
    dm.GenerateContent(u"KEY"_s, u"gemini-test"_s, textParts(u"hi"_s), false, recorder(outcomes));
    // The user's message is in at once, before any answer.
    ASSERT_EQ(dm.ChatHistory().size(), 3);
    EXPECT_EQ(dm.ChatHistory()[2], (THistoryItem{u"user"_s, textParts(u"hi"_s)}));
    // What the thread sends is its own copy, whatever happens to the live chat meanwhile.
    dm.ChatHistory()[2].Parts[0].Text = u"changed"_s;
    awaitOne(outcomes);

    const QJsonArray contents = bodyObject(onlyRequest())["contents"_L1].toArray();
    ASSERT_EQ(contents.size(), 2);
    EXPECT_EQ(contents[0]["role"_L1].toString(), u"model"_s);
    EXPECT_EQ(contents[1]["parts"_L1][0]["text"_L1].toString(), u"hi"_s);
    ASSERT_EQ(dm.ChatHistory().size(), 4);
    EXPECT_EQ(dm.ChatHistory()[0].Parts[0].Text.size(), 100000);
    EXPECT_EQ(dm.ChatHistory()[3], (THistoryItem{u"model"_s, textParts(u"Hello"_s)}));
}

TEST_F(GenerationTest, GoesThroughTheProxyNamedInTheEnvironment) {
    service.reply(FakeReply::json(kTextAnswer));
    // The fake service plays the proxy for a host that does not exist.
    const QByteArray savedNoProxy = qgetenv("no_proxy");
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");
    qputenv("http_proxy", QByteArray::fromStdString(service.baseUrl()));
    dm.SetBaseUrl(u"http://model.invalid"_s);
    const QString result = generate(textParts(u"q"_s));
    qunsetenv("http_proxy");
    qputenv("no_proxy", savedNoProxy);
    qputenv("NO_PROXY", savedNoProxy);

    EXPECT_EQ(result, u"Hello"_s);
    EXPECT_EQ(onlyRequest().target,
              "http://model.invalid/v1beta/models/gemini-test:generateContent");
}

TEST_F(GenerationTest, ServiceAddressAndTimeOutHaveTheirDefaults) {
    const TGeminiDM fresh;
    EXPECT_EQ(fresh.BaseUrl(), u"https://generativelanguage.googleapis.com"_s);
    EXPECT_EQ(fresh.ReadTimeoutMs(), 480000);
}

} // namespace
