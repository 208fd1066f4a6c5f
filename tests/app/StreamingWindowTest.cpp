// Live answers in the real window: the answer grows on the page while the loopback service
// is still writing it, the Send button stops it, and what the service sends is all read.
#include "ServiceWindowTest.h"
#include "app/MainWindow.h"
#include "app/PromptEdit.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

class StreamingWindowTest : public ServiceWindowTest {
protected:
    void send(const QString& prompt) {
        control<PromptEdit>("memoPrompt")->setPlainText(prompt);
        control<QPushButton>("btnSend")->click();
    }

    bool pageHolds(const QString& text) {
        return WaitUntil([&] { return container().contains(text); }, kWaitMs);
    }

    // The conversation after the question "q", with the answer when one is given; the
    // window's clock stands still, so both were written at its one time.
    TChatHistory userAnd(const QString& answer, const QString& finishReason = {}) const {
        TChatHistory history{
            {QStringLiteral("user"), {MakeTextPart(QStringLiteral("q"))}, {}, Clock::now()}};
        if (!answer.isNull()) {
            history.append({QStringLiteral("model"), {MakeTextPart(answer)}, {}, Clock::now()});
            history.last().FinishReason = finishReason;
        }
        return history;
    }

    // The user picks the chat list's entry of this name.
    void pickChat(const QString& name) {
        auto* list = control<QListWidget>("ListBox2");
        const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        list->setCurrentItem(found.first());
    }

    // The question "q" alone, kept as a request that failed and is never sent again.
    TChatHistory failedQuestion(const QString& reason) const {
        TChatHistory history = userAnd(QString());
        history.first().Failure = reason;
        return history;
    }
};

TEST_F(StreamingWindowTest, TheAnswerGrowsBeforeTheLastEventAndEndsAsTheWholeAnswerWould) {
    service.reply(FakeReply::events(
        {{TextEvent("**Привет**, ")},
         {.bytes = LastTextEvent("`мир`\\n\\n| a |\\n|---|\\n| 1 |"), .afterRelease = true}}));
    send(QStringLiteral("q"));
    // The service still holds the rest back.
    ASSERT_TRUE(pageHolds(QStringLiteral("<strong>Привет</strong>")));
    EXPECT_TRUE(container().contains(QStringLiteral("Печатает…")));
    EXPECT_EQ(control<QPushButton>("btnSend")->text(), QStringLiteral("Стоп"));
    EXPECT_EQ(geminiDM->ChatHistory(), userAnd(QString()));

    service.release();
    waitUntilIdle();
    const QString answer = QStringLiteral("**Привет**, `мир`\n\n| a |\n|---|\n| 1 |");
    EXPECT_EQ(geminiDM->ChatHistory(), userAnd(answer));
    EXPECT_TRUE(savedChat().contains("`\\u043C\\u0438\\u0440`\\n\\n| a |"));
    // The page is exactly the page of the saved chat shown again: the same blocks a
    // whole answer gets, and nothing of the live state left.
    const QString streamed = container();
    EXPECT_FALSE(streamed.contains(QStringLiteral("Печатает…")));
    form->View().RebuildChatPage();
    EXPECT_EQ(container(), streamed);

    // The key went in its header, never in the address.
    const FakeRequest request = service.requests().at(0);
    EXPECT_EQ(request.headers.find("x-goog-api-key")->second, "SECRET-KEY");
    EXPECT_EQ(request.target.find("SECRET"), std::string::npos);
}

TEST_F(StreamingWindowTest, StopAfterTwoEventsKeepsExactlyThoseAndTheWindowIsIdleAtOnce) {
    service.reply(FakeReply::events({{TextEvent("first ")},
                                     {.bytes = TextEvent("second"), .delay = 100ms},
                                     {.bytes = TextEvent(" third"), .afterRelease = true}}));
    send(QStringLiteral("q"));
    ASSERT_TRUE(pageHolds(QStringLiteral("first second")));
    EXPECT_EQ(form->StatusText(), QStringLiteral("Получение ответа…"));
    control<QPushButton>("btnSend")->click();
    EXPECT_TRUE(idle());
    EXPECT_EQ(form->StatusText(), QStringLiteral("Остановлено"));
    EXPECT_EQ(geminiDM->ChatHistory(), userAnd(QStringLiteral("first second")));
    EXPECT_TRUE(savedChat().contains("\"first second\""));
    EXPECT_TRUE(pageHolds(QStringLiteral("(остановлено)")));

    service.release();
    RunEventsFor(300);
    EXPECT_FALSE(container().contains(QStringLiteral("third")));
    EXPECT_FALSE(container().contains(QStringLiteral("Печатает…")));
    EXPECT_EQ(geminiDM->ChatHistory(), userAnd(QStringLiteral("first second")));
    // The mark is the page's alone.
    EXPECT_FALSE(savedChat().contains("\\u043E\\u0441\\u0442\\u0430\\u043D"));
    // The next question written, the status of the last one goes.
    QTest::keyClick(control<PromptEdit>("memoPrompt"), Qt::Key_A);
    EXPECT_TRUE(form->StatusText().isEmpty());
}

TEST_F(StreamingWindowTest, EscapeBeforeAnythingArrivedLeavesTheQuestionAndSaysStopped) {
    FakeReply held = FakeReply::events({{TextEvent("late")}});
    held.holdBeforeHeaders = true;
    service.reply(held);
    send(QStringLiteral("q"));
    ASSERT_TRUE(WaitUntil([&] { return !service.requests().empty(); }, kWaitMs));
    QTest::keyClick(control<PromptEdit>("memoPrompt"), Qt::Key_Escape);
    EXPECT_TRUE(idle());
    EXPECT_EQ(form->StatusText(), QStringLiteral("Остановлено"));
    EXPECT_TRUE(pageHolds(QStringLiteral("Остановлено")));
    EXPECT_EQ(geminiDM->ChatHistory(), failedQuestion(QStringLiteral("Остановлено")));
    // Nothing came, so the question is back in the box and can be sent again as it was.
    EXPECT_EQ(control<PromptEdit>("memoPrompt")->toPlainText(), QStringLiteral("q"));
    EXPECT_EQ(evaluate(QStringLiteral("document.querySelectorAll('.retry-btn').length")).toInt(),
              1);
    service.release();
    RunEventsFor(200);
    EXPECT_FALSE(container().contains(QStringLiteral("late")));
}

TEST_F(StreamingWindowTest, ADroppedConnectionKeepsThePartialTextAndOffersToGoOn) {
    service.reply(FakeReply::events(
        {{TextEvent("partial answer")}, {.bytes = TextEvent("lost"), .dropConnection = true}}));
    send(QStringLiteral("q"));
    waitUntilIdle();
    const QString page = container();
    const qsizetype text = page.indexOf(QStringLiteral("partial answer"));
    const qsizetype note = page.indexOf(QStringLiteral("соединение оборвалось до конца ответа"));
    const qsizetype details = page.indexOf(QStringLiteral("Исключение: "));
    EXPECT_GE(text, 0);
    EXPECT_GT(note, text);
    EXPECT_GT(details, note);
    EXPECT_EQ(geminiDM->ChatHistory(),
              userAnd(QStringLiteral("partial answer"), kConnectionLost.toString()));
    EXPECT_EQ(form->StatusText(),
              QStringLiteral("Ответ оборван: соединение оборвалось до конца ответа"));
    // What arrived is kept, so the question is not offered again in its place; the answer
    // can go on instead.
    EXPECT_EQ(evaluate(QStringLiteral("document.querySelectorAll('.retry-btn').length")).toInt(),
              0);
    EXPECT_EQ(
        evaluate(QStringLiteral("document.querySelectorAll('.continue-btn').length")).toInt(), 1);
}

TEST_F(StreamingWindowTest, ABusyServiceIsTriedAgainAfterTheDelayItNames) {
    service.replies(
        {FakeReply::json(R"({"error":{"code":503,"message":"busy","details":[{"@type":)"
                         R"("type.googleapis.com/google.rpc.RetryInfo","retryDelay":"0.4s"}]}})",
                         503),
         FakeReply::events({{TextEvent("done")}})});
    send(QStringLiteral("q"));
    ASSERT_TRUE(pageHolds(QStringLiteral("Повтор через 1 с…")));
    waitUntilIdle();
    EXPECT_TRUE(container().contains(QStringLiteral("<p>done</p>")));
    EXPECT_FALSE(container().contains(QStringLiteral("busy")));
    EXPECT_EQ(service.requests().size(), 2u);
}

TEST_F(StreamingWindowTest, AnEmptyAnswerSaysWhyAndIsNeitherKeptNorSent) {
    service.reply(FakeReply::events({{ServerEvent(
        R"({"candidates":[{"content":{"parts":[{"text":""}]},"finishReason":"MAX_TOKENS"}]})")}}));
    send(QStringLiteral("q"));
    waitUntilIdle();
    EXPECT_TRUE(container().contains(QStringLiteral("Ответ обрезан: достигнут предел длины")));
    EXPECT_EQ(geminiDM->ChatHistory(),
              failedQuestion(QStringLiteral("Ответ обрезан: достигнут предел длины")));

    service.reply(FakeReply::events({{TextEvent("ok")}}));
    send(QStringLiteral("again"));
    waitUntilIdle();
    ASSERT_EQ(service.requests().size(), 2u);
    const std::string body = service.requests().at(1).body;
    EXPECT_EQ(body.find(R"("text":"")"), std::string::npos);
    EXPECT_EQ(body.find(R"("role":"model")"), std::string::npos);
}

TEST_F(StreamingWindowTest, ACamelCaseImageIsShownAndShownAgainWhenTheChatIsReopened) {
    control<QComboBox>("cbModels")->setEditText(QStringLiteral("gemini-2.5-flash-image"));
    service.reply(
        FakeReply::json(R"({"candidates":[{"content":{"parts":[{"text":"Вот ваш рисунок:"},)"
                        R"({"inlineData":{"mimeType":"image/png","data":"iVBORw0KGgo="}}]}}]})"));
    send(QStringLiteral("a cat"));
    waitUntilIdle();
    const QString image = QStringLiteral("data:image/png;base64,iVBORw0KGgo=");
    EXPECT_TRUE(container().contains(image));
    const FakeRequest request = service.requests().at(0);
    EXPECT_EQ(request.target, "/v1beta/models/gemini-2.5-flash-image:generateContent");
    EXPECT_EQ(request.headers.find("x-goog-api-key")->second, "SECRET-KEY");

    const QString path = form->CurrentChatFile();
    form->btnNewChatClick();
    EXPECT_FALSE(container().contains(image));
    form->OpenChat(path);
    EXPECT_TRUE(pageHolds(image));

    // A text model is never sent the picture.
    control<QComboBox>("cbModels")->setEditText(QStringLiteral("gemini-2.5-flash"));
    service.reply(FakeReply::events({{TextEvent("nice")}}));
    send(QStringLiteral("describe"));
    waitUntilIdle();
    EXPECT_EQ(service.requests().at(1).body.find("iVBOR"), std::string::npos);
}

TEST_F(StreamingWindowTest, AnImageRequestStopsToo) {
    control<QComboBox>("cbModels")->setEditText(QStringLiteral("gemini-2.5-flash-image"));
    FakeReply held = FakeReply::json(
        R"({"candidates":[{"content":{"parts":[{"inlineData":{"mimeType":"image/png","data":"QUFB"}}]}}]})");
    held.holdBeforeHeaders = true;
    service.reply(held);
    send(QStringLiteral("a cat"));
    ASSERT_TRUE(WaitUntil([&] { return !service.requests().empty(); }, kWaitMs));
    EXPECT_EQ(control<QPushButton>("btnSend")->text(), QStringLiteral("Стоп"));
    control<QPushButton>("btnSend")->click();
    EXPECT_TRUE(idle());
    EXPECT_TRUE(pageHolds(QStringLiteral("Остановлено")));
    service.release();
    RunEventsFor(300);
    EXPECT_FALSE(container().contains(QStringLiteral("QUFB")));
    ASSERT_EQ(geminiDM->ChatHistory().size(), 1);
    EXPECT_TRUE(geminiDM->ChatHistory()[0].Images.isEmpty());
}

TEST_F(StreamingWindowTest, TokenCountsAndSourcesOfTheAnswerAreShown) {
    service.reply(FakeReply::events({{ServerEvent(
        R"({"candidates":[{"content":{"parts":[{"text":"Погода ясная."}]},)"
        R"("groundingMetadata":{"groundingChunks":[{"web":{"uri":"https://weather.example/",)"
        R"("title":"weather.example"}}]}}],"usageMetadata":{"promptTokenCount":8,)"
        R"("candidatesTokenCount":5,"thoughtsTokenCount":120,"totalTokenCount":133}})")}}));
    send(QStringLiteral("q"));
    waitUntilIdle();
    const QString link = QStringLiteral("<a href=\"https://weather.example/\">weather.example</a>");
    EXPECT_TRUE(container().contains(link));
    const QString usage = control<QLabel>("UsageLabel")->text();
    EXPECT_TRUE(
        usage.contains(QStringLiteral("запрос 8")) && usage.contains(QStringLiteral("ответ 5")) &&
        usage.contains(QStringLiteral("мысли 120")) && usage.contains(QStringLiteral("всего 133")))
        << usage.toStdString();

    // An answer that tells no counts does not leave the last one's standing.
    service.reply(FakeReply::events({{TextEvent("без счёта")}}));
    send(QStringLiteral("q2"));
    waitUntilIdle();
    EXPECT_EQ(control<QLabel>("UsageLabel")->text(), QString());

    const QString path = form->CurrentChatFile();
    form->btnNewChatClick();
    form->OpenChat(path);
    EXPECT_TRUE(pageHolds(link));
}

TEST_F(StreamingWindowTest, ClosingTheWindowMidAnswerSavesWhatArrived) {
    service.reply(FakeReply::events(
        {{TextEvent("kept part")}, {.bytes = TextEvent(" never"), .afterRelease = true}}));
    send(QStringLiteral("q"));
    ASSERT_TRUE(pageHolds(QStringLiteral("kept part")));
    const QString chats = programDir.filePath(QStringLiteral("chats"));
    form->close();
    const QStringList files = QDir(chats).entryList({QStringLiteral("*.json")}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile file(QDir(chats).filePath(files.at(0)));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("\"kept part\""));
    service.release();
}

} // namespace

namespace {

TEST_F(StreamingWindowTest, APictureAndACutAnswerAreShownKeptAndCanGoOn) {
    service.reply(FakeReply::events(
        {{TextEvent("Вот рисунок:")},
         {ServerEvent(R"({"candidates":[{"content":{"parts":[{"inlineData":{"mimeType":)"
                      R"("image/png","data":"iVBORw0KGgo="}},{"text":"и подпись"}]},)"
                      R"("finishReason":"MAX_TOKENS"}]})")}}));
    send(QStringLiteral("q"));
    waitUntilIdle();
    const QString page = container();
    const qsizetype text = page.indexOf(QStringLiteral("Вот рисунок:"));
    const qsizetype picture = page.indexOf(QStringLiteral("data:image/png;base64,iVBORw0KGgo="));
    const qsizetype caption = page.indexOf(QStringLiteral("и подпись"));
    EXPECT_TRUE(text >= 0 && picture > text && caption > picture);
    EXPECT_TRUE(page.contains(QStringLiteral("Ответ оборван: достигнут лимит длины ответа")));
    EXPECT_NE(form->StatusText(), QStringLiteral("Готово"));
    EXPECT_TRUE(savedChat().contains(R"({"inline_data":{"mime_type":"image\/png")"));
    EXPECT_TRUE(savedChat().contains(R"("finish_reason":"MAX_TOKENS")"));

    // "Продолжить" asks the same model to go on, with the whole answer as it came.
    service.reply(FakeReply::events({{LastTextEvent("дальше")}}));
    click(QStringLiteral(".continue-btn"));
    ASSERT_TRUE(WaitUntil([&] { return service.requests().size() == 2; }, kWaitMs));
    waitUntilIdle();
    const std::string body = service.requests().at(1).body;
    EXPECT_NE(body.find(R"("data":"iVBORw0KGgo=")"), std::string::npos);
    EXPECT_NE(body.find(R"("role":"user","parts":[{"text":"\u041F\u0440\u043E\u0434)"),
              std::string::npos);
    EXPECT_EQ(form->StatusText(), QStringLiteral("Готово"));
    EXPECT_EQ(evaluate(QStringLiteral("document.querySelectorAll('.continue-btn').length")).toInt(),
              0);

    // The reopened chat shows the picture in its place again.
    form->View().RebuildChatPage();
    EXPECT_TRUE(pageHolds(QStringLiteral("data:image/png;base64,iVBORw0KGgo=")));
}

TEST_F(StreamingWindowTest, AFailedQuestionStaysOnThePageButIsNeverSentAgain) {
    service.reply(FakeReply::json(
        R"({"error":{"code":400,"message":"Unable to process input image.","status":"INVALID_ARGUMENT"}})",
        400));
    send(QStringLiteral("refused"));
    waitUntilIdle();
    EXPECT_EQ(form->StatusText(), QStringLiteral("Ошибка"));
    EXPECT_TRUE(savedChat().contains(R"("failure":)"));

    control<PromptEdit>("memoPrompt")->clear();
    service.reply(FakeReply::events({{LastTextEvent("ok")}}));
    send(QStringLiteral("next"));
    waitUntilIdle();
    ASSERT_EQ(service.requests().size(), 2u);
    const std::string body = service.requests().at(1).body;
    EXPECT_EQ(body.find("refused"), std::string::npos) << body;
    EXPECT_NE(body.find(R"({"text":"next"})"), std::string::npos);
    // Shown again with its failure when the chat is opened anew.
    form->View().RebuildChatPage();
    EXPECT_TRUE(pageHolds(QStringLiteral("Unable to process input image.")));
    EXPECT_TRUE(container().contains(QStringLiteral("refused")));
}

// Another chat can be read while an answer comes: the answer goes on into its own chat
// and file, and coming back shows it as it grows.
TEST_F(StreamingWindowTest, AnotherChatCanBeReadWhileTheAnswerGoesIntoItsOwn) {
    TChatHistory other;
    other.append(THistoryItem{QStringLiteral("user"), {MakeTextPart(QStringLiteral("old"))}});
    other.append(THistoryItem{QStringLiteral("model"), {MakeTextPart(QStringLiteral("kept"))}});
    geminiDM->SetChatHistory(other);
    ASSERT_TRUE(geminiDM->SaveHistoryToFile(chatPath(QStringLiteral("other.json"))));
    geminiDM->SetChatHistory({});
    ASSERT_TRUE(form->LoadChatList());
    form->btnNewChatClick();
    service.reply(FakeReply::events({{TextEvent("first part")},
                                     {.bytes = LastTextEvent(", the end"), .afterRelease = true}}));
    send(QStringLiteral("q"));
    ASSERT_TRUE(pageHolds(QStringLiteral("first part")));

    pickChat(QStringLiteral("other"));
    ASSERT_TRUE(pageHolds(QStringLiteral("kept")));
    EXPECT_FALSE(container().contains(QStringLiteral("first part")));
    EXPECT_EQ(geminiDM->ChatHistory(), other);
    EXPECT_TRUE(form->RequestRunning());
    // The question is in its file already, under its own entry.
    pickChat(QStringLiteral("q"));
    EXPECT_TRUE(pageHolds(QStringLiteral("first part")));
    EXPECT_TRUE(container().contains(QStringLiteral("Печатает…")));
    EXPECT_EQ(geminiDM->ChatHistory(), userAnd(QString()));

    pickChat(QStringLiteral("other"));
    ASSERT_TRUE(pageHolds(QStringLiteral("kept")));
    service.release();
    waitUntilIdle();
    EXPECT_EQ(form->StatusText(), QStringLiteral("Ответ получен в чате «q»"));
    EXPECT_EQ(geminiDM->ChatHistory(), other);
    EXPECT_FALSE(container().contains(QStringLiteral("the end")));

    pickChat(QStringLiteral("q"));
    EXPECT_TRUE(pageHolds(QStringLiteral("first part, the end")));
    EXPECT_EQ(geminiDM->ChatHistory(), userAnd(QStringLiteral("first part, the end")));
    EXPECT_TRUE(savedChat().contains("\"first part, the end\""));
}

// A new chat started while an answer comes leaves it running in its own chat; deleting that
// chat asks to stop the answer first, and saying no keeps both.
TEST_F(StreamingWindowTest, ANewChatLeavesTheAnswerRunningAndItsChatIsDeletedOnlyOnceStopped) {
    service.reply(FakeReply::events({{TextEvent("part")},
                                     {.bytes = LastTextEvent(" rest"), .afterRelease = true}}));
    send(QStringLiteral("q"));
    ASSERT_TRUE(pageHolds(QStringLiteral("part")));
    form->btnNewChatClick();
    EXPECT_TRUE(geminiDM->ChatHistory().isEmpty());
    EXPECT_TRUE(form->RequestRunning());
    const QString runningChat =
        QDir(chatPath(QString())).entryList({QStringLiteral("q_*.json")}).value(0);
    ASSERT_FALSE(runningChat.isEmpty());

    pickChat(QStringLiteral("q"));
    ASSERT_TRUE(pageHolds(QStringLiteral("part")));
    dialogs.answers = {true, false};
    control<QAction>("N6")->trigger();
    EXPECT_EQ(dialogs.questions.last().text,
              QStringLiteral("В этот чат ещё приходит ответ. Остановить его и удалить чат?"));
    EXPECT_TRUE(form->RequestRunning());
    EXPECT_TRUE(QFileInfo::exists(chatPath(runningChat)));

    dialogs.answers = {true, true};
    control<QAction>("N6")->trigger();
    EXPECT_TRUE(idle());
    EXPECT_FALSE(QFileInfo::exists(chatPath(runningChat)));
    EXPECT_TRUE(geminiDM->ChatHistory().isEmpty());
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(u'\n').toStdString();
}

// While a question's files are read for sending, its chat stays shown: the request goes
// into the chat the question is on.
TEST_F(StreamingWindowTest, TheChatStaysWhileTheQuestionsFilesAreRead) {
    QFile file(workingDir.filePath(QStringLiteral("notes.txt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("notes");
    file.close();
    attachments().SetAttachedFiles({file.fileName()});
    service.reply(FakeReply::events({{LastTextEvent("seen")}}));
    send(QStringLiteral("q"));
    // The files are read beside the window; nothing has been sent yet.
    form->btnNewChatClick();
    EXPECT_EQ(form->StatusText(), QStringLiteral("Файлы вопроса ещё читаются — подождите"));
    waitUntilIdle();
    ASSERT_EQ(geminiDM->ChatHistory().size(), 2);
    EXPECT_EQ(geminiDM->ChatHistory().first().Parts.size(), 2);
    EXPECT_TRUE(pageHolds(QStringLiteral("seen")));
    EXPECT_TRUE(container().contains(QStringLiteral("notes.txt")));
    EXPECT_TRUE(savedChat().contains("\"seen\""));
}

} // namespace
