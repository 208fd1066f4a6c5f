// The whole road of one question: the real window and web view, a real HTTP service on
// loopback, temporary folders and scripted dialogs.
#include "app/ChatPage.h"
#include "text/Clock.h"
#include "FakeModelService.h"
#include "chat/GeminiDM.h"
#include "app/MainWindow.h"
#include "ServiceWindowTest.h"
#include "app/PromptEdit.h"
#include "app/SendPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QClipboard>
#include <QDialog>
#include <QGuiApplication>
#include <QDoubleSpinBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPlainTextEdit>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string textAnswer(const std::string& text) {
    return R"({"candidates":[{"content":{"parts":[{"text":")" + text +
           R"("}]},"finishReason":"STOP"}]})";
}

// The same answer as the one event of a stream, the way text answers come to the window.
FakeReply streamedAnswer(const std::string& text) {
    return FakeReply::events({{"data: " + textAnswer(text) + "\n\n"}});
}

class SendFlowTest : public ServiceWindowTest {
protected:
    void SetUp() override {
        ServiceWindowTest::SetUp();
        service.reply(streamedAnswer("**Привет**"));
    }

    void type(const QString& text) { control<PromptEdit>("memoPrompt")->setPlainText(text); }

    void attach(const QString& path) {
        attachments().SetAttachedFiles(attachments().AttachedFiles() + QStringList{path});
    }

    QString makeFile(const QString& name, qint64 size) {
        const QString path = workingDir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_TRUE(file.resize(size));
        return path;
    }

    void pressCtrlEnter() {
        QTest::keyClick(control<PromptEdit>("memoPrompt"), Qt::Key_Return, Qt::ControlModifier);
    }

    QStringList chatFiles() const {
        return QDir(programDir.filePath(QStringLiteral("chats")))
            .entryList({QStringLiteral("*.json")}, QDir::Files);
    }
};

TEST_F(SendFlowTest, CtrlEnterSendsRendersSavesAndCounts) {
    type(QStringLiteral("Как дела?"));
    pressCtrlEnter();
    waitUntilIdle();

    ASSERT_EQ(service.requests().size(), 1u);
    const FakeRequest request = service.requests().front();
    EXPECT_EQ(request.target, "/v1beta/models/gemini-2.5-flash:streamGenerateContent?alt=sse");
    EXPECT_EQ(request.headers.find("x-goog-api-key")->second, kApiKey);
    EXPECT_EQ(request.body,
              R"({"contents":[{"role":"user","parts":[{"text":"\u041A\u0430\u043A )"
              R"(\u0434\u0435\u043B\u0430?"}]}],"generationConfig":{"temperature":0.2,)"
              R"("topK":1,"topP":1,"maxOutputTokens":300000,"stopSequences":[]},)"
              R"("safetySettings":[{"category":"HARM_CATEGORY_HARASSMENT","threshold":)"
              R"("BLOCK_NONE"},{"category":"HARM_CATEGORY_HATE_SPEECH","threshold":)"
              R"("BLOCK_NONE"},{"category":"HARM_CATEGORY_SEXUALLY_EXPLICIT","threshold":)"
              R"("BLOCK_NONE"},{"category":"HARM_CATEGORY_DANGEROUS_CONTENT","threshold":)"
              R"("BLOCK_NONE"}]})");

    EXPECT_TRUE(
        control<PromptEdit>("memoPrompt")->toPlainText().isEmpty()); // no line break was typed
    const QString page = container();
    EXPECT_TRUE(page.contains(QStringLiteral("Как дела?")));
    EXPECT_TRUE(page.contains(QStringLiteral("<strong>Привет</strong>")));
    EXPECT_EQ(chatFiles(), QStringList{QStringLiteral("Как дела_2025-03-01_142530.json")});
    EXPECT_EQ(control<QListWidget>("ListBox2")->item(0)->text(), QStringLiteral("Как дела"));
    EXPECT_EQ(control<QLabel>("CountLabel")->text(), QStringLiteral("1"));
    EXPECT_EQ(form->StatusText(), QStringLiteral("Готово"));
    EXPECT_TRUE(control<QListWidget>("ListBox2")->isEnabled() &&
                control<QPushButton>("btnNewChat")->isEnabled());
    EXPECT_FALSE(control<QLabel>("TimeoutLabel")->isVisible());
    EXPECT_EQ(geminiDM->ChatHistory().size(), 2);
}

TEST_F(SendFlowTest, PlainEnterAndCtrlShiftEnterReachThePromptBox) {
    type(QStringLiteral("a"));
    control<PromptEdit>("memoPrompt")->moveCursor(QTextCursor::End);
    QTest::keyClick(control<PromptEdit>("memoPrompt"), Qt::Key_Return);
    QTest::keyClick(control<PromptEdit>("memoPrompt"), Qt::Key_Return,
                    Qt::ControlModifier | Qt::ShiftModifier);
    RunEventsFor(100);
    EXPECT_TRUE(service.requests().empty());
    EXPECT_EQ(control<PromptEdit>("memoPrompt")->toPlainText().count(QLatin1Char('\n')), 2);
}

TEST_F(SendFlowTest, ChecksStopTheSendWithTheirMessages) {
    const QString lengthMessage =
        QStringLiteral("Длина текста запроса превышает лимит (30020 символов).");
    const struct {
        const char* name;
        QString key;
        QString model;
        QString prompt;
        bool withFile;
        QStringList messages;
    } cases[] = {
        {"blank key",
         QStringLiteral(" \t "),
         QStringLiteral("gemini-2.5-flash"),
         QStringLiteral("x"),
         false,
         // One message; the welcome page shows where a key is made.
         {QStringLiteral("Пожалуйста, введите API ключ.")}},
        {"blank prompt, no files",
         QStringLiteral("KEY"),
         QStringLiteral("gemini-2.5-flash"),
         QStringLiteral(" \n\t"),
         false,
         {QStringLiteral("Пожалуйста, введите текст запроса (или добавьте файл).")}},
        {"image model with a file",
         QStringLiteral("KEY"),
         QStringLiteral("My-IMAGE-model"),
         QStringLiteral("x"),
         true,
         {QStringLiteral("Генерация изображений не поддерживает одновременную отправку файлов. "
                         "Пожалуйста, отправьте только текстовый запрос.")}},
        {"prompt too long",
         QStringLiteral("KEY"),
         QStringLiteral("gemini-2.5-flash"),
         QString(30021, QLatin1Char('x')),
         false,
         {lengthMessage}},
    };
    const QString file = makeFile(QStringLiteral("a.png"), 10);
    for (const auto& c : cases) {
        form->ResetChatView();
        dialogs.messages.clear();
        attachments().SetAttachedFiles({});
        if (c.withFile)
            attach(file);
        control<QComboBox>("editApiKey")->setEditText(c.key);
        control<QComboBox>("cbModels")->setEditText(c.model);
        type(c.prompt);
        control<QPushButton>("btnSend")->click();
        EXPECT_EQ(dialogs.messages, c.messages) << c.name;
        EXPECT_EQ(form->View().WelcomePageShown(), c.key.trimmed().isEmpty()) << c.name;
        EXPECT_TRUE(control<QPushButton>("btnSend")->isEnabled()) << c.name;
        EXPECT_EQ(control<PromptEdit>("memoPrompt")->toPlainText(), c.prompt) << c.name;
    }
    EXPECT_EQ(control<QLabel>("CountLabel")->text(), QStringLiteral("0")); // nothing was counted
    RunEventsFor(100);
    EXPECT_TRUE(service.requests().empty());

    // The longest prompt allowed goes out.
    attachments().SetAttachedFiles({});
    type(QString(30020, QLatin1Char('x')));
    control<QPushButton>("btnSend")->click();
    waitUntilIdle();
    EXPECT_EQ(service.requests().size(), 1u);
}

TEST_F(SendFlowTest, TheKeyHelpPageIsShownAndANewChatKeepsTheAttachments) {
    QFile help(programDir.filePath(QStringLiteral("AddKey.html")));
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.write("<html><body>Get a key</body></html>");
    help.close();

    control<QComboBox>("editApiKey")->setEditText(QString());
    type(QStringLiteral("x"));
    control<QPushButton>("btnSend")->click();
    EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("Пожалуйста, введите API ключ.")});
    EXPECT_TRUE(control<QWebEngineView>("WebBrowser1")
                    ->url()
                    .toString()
                    .contains(QStringLiteral("AddKey.html")));

    control<QComboBox>("editApiKey")->setEditText(QStringLiteral("KEY"));
    attach(makeFile(QStringLiteral("a.png"), 3));
    control<QPushButton>("btnSend")->click();
    waitUntilIdle();
    ASSERT_EQ(service.requests().size(), 1u);
    EXPECT_NE(service.requests().front().body.find(R"("inline_data":{"mime_type":"image\/png")"),
              std::string::npos);
    EXPECT_TRUE(container().contains(QStringLiteral("<strong>Привет</strong>")));
}

TEST_F(SendFlowTest, FileSizeLimitIsTwentyMebibytes) {
    const QString exact = makeFile(QStringLiteral("exact.png"), 20971520);
    const QString over = makeFile(QStringLiteral("over.png"), 20971521);
    service.discardBodies();

    type(QStringLiteral("look"));
    attach(over);
    control<QPushButton>("btnSend")->click();
    waitUntilIdle();
    // A failure block shows the text as it is, not converted from Markdown.
    EXPECT_TRUE(container().contains(QStringLiteral("Файл \"over.png\" больше 20 МБ")));
    EXPECT_TRUE(service.requests().empty());
    EXPECT_EQ(control<PromptEdit>("memoPrompt")->toPlainText(), QStringLiteral("look"));
    EXPECT_EQ(attachments().AttachedFiles().size(), 1);
    EXPECT_EQ(form->StatusText(), QStringLiteral("Ошибка"));
    EXPECT_TRUE(geminiDM->ChatHistory().isEmpty());

    attachments().SetAttachedFiles({});
    attach(exact);
    control<QPushButton>("btnSend")->click();
    waitUntilIdle();
    ASSERT_EQ(service.requests().size(), 1u);
    EXPECT_GT(service.requests().front().bodySize, 20971520u * 4 / 3);
    EXPECT_EQ(attachments().AttachedFiles().size(), 0);
}

TEST_F(SendFlowTest, AFileThatVanishedEndsTheSendWithAMessage) {
    const QString path = makeFile(QStringLiteral("gone.png"), 5);
    attach(path);
    ASSERT_TRUE(QFile::remove(path));
    control<QPushButton>("btnSend")->click();
    waitUntilIdle();
    EXPECT_TRUE(container().contains(
        QStringLiteral("Ошибка: не удалось прочитать или закодировать файл ") + path));
    EXPECT_TRUE(service.requests().empty());
    EXPECT_EQ(form->StatusText(), QStringLiteral("Ошибка"));
}

TEST_F(SendFlowTest, AServiceErrorIsShownNotKeptAndTheChatIsSaved) {
    service.reply(FakeReply::json(R"({"error":{"code":400,"message":"API key not valid"}})", 400));
    type(QStringLiteral("hi"));
    control<QPushButton>("btnSend")->click();
    waitUntilIdle();
    const QString page = container();
    EXPECT_TRUE(page.contains(QStringLiteral("Ошибка HTTP: HTTP/1.1 400 Bad Request (Код: 400)")));
    EXPECT_TRUE(page.contains(QStringLiteral("API key not valid")));
    EXPECT_EQ(geminiDM->ChatHistory().size(), 1);
    EXPECT_EQ(chatFiles(), QStringList{QStringLiteral("hi_2025-03-01_142530.json")});
    EXPECT_EQ(form->StatusText(), QStringLiteral("Ошибка"));
}

// A failed request is a failure block that says what happened; the prompt and its files
// come back to the prompt box, and "Повторить" sends the very same parts again in place
// of the failed message.
TEST_F(SendFlowTest, AFailureIsExplainedAndRetrySendsTheSameParts) {
    const QString path = makeFile(QStringLiteral("notes.txt"), 3);
    service.reply(FakeReply::json(
        R"({"error":{"code":429,"message":"<b>Quota</b> exceeded","details":[{"@type":)"
        R"("type.googleapis.com/google.rpc.RetryInfo","retryDelay":"90s"}]}})",
        429));
    type(QStringLiteral("first line\nsecond line"));
    attach(path);
    control<QPushButton>("btnSend")->click();
    waitUntilIdle();

    const auto failureText = [&](const char* selector) {
        return evaluateText(QStringLiteral("var e = document.querySelector('.failure-message %1'); "
                                           "e ? e.textContent : null")
                                .arg(QLatin1StringView(selector)));
    };
    EXPECT_EQ(failureText(".message-header strong"), QStringLiteral("⚠ Ошибка"));
    EXPECT_EQ(failureText(".failure-explanation"),
              QStringLiteral("Исчерпана квота запросов (429): повторите через 90 с."));
    EXPECT_EQ(failureText("summary"), QStringLiteral("Подробнее"));
    EXPECT_EQ(failureText(".failure-text"),
              QStringLiteral("Ошибка HTTP: HTTP/1.1 429 Too Many Requests (Код: 429)\n"
                             "Ответ: <b>Quota</b> exceeded"));
    EXPECT_EQ(
        evaluate(QStringLiteral("document.querySelectorAll('.failure-message b').length")).toInt(),
        0);
    EXPECT_EQ(form->StatusText(), QStringLiteral("Ошибка"));
    EXPECT_EQ(control<PromptEdit>("memoPrompt")->toPlainText(),
              QStringLiteral("first line\nsecond line"));
    EXPECT_EQ(attachments().AttachedFiles(), QStringList{path});
    EXPECT_EQ(geminiDM->ChatHistory().size(), 1);

    // The file is gone by now: the parts that were read are what is sent again.
    ASSERT_TRUE(QFile::remove(path));
    service.reply(streamedAnswer("**Готово**"));
    click(QStringLiteral(".failure-message .retry-btn"));
    ASSERT_TRUE(WaitUntil([&] { return service.requests().size() == 2; }, kWaitMs));
    waitUntilIdle();
    const std::vector<FakeRequest> requests = service.requests();
    EXPECT_EQ(requests[1].body, requests[0].body);
    EXPECT_EQ(geminiDM->ChatHistory().size(), 2);
    EXPECT_TRUE(container().contains(QStringLiteral("<strong>Готово</strong>")));
    EXPECT_EQ(form->StatusText(), QStringLiteral("Готово"));
    EXPECT_TRUE(control<PromptEdit>("memoPrompt")->toPlainText().isEmpty());
    EXPECT_TRUE(attachments().AttachedFiles().isEmpty());
    // A used link is gone: a second click sends nothing.
    EXPECT_EQ(evaluate(QStringLiteral("document.querySelectorAll('.retry-btn').length")).toInt(),
              0);
    EXPECT_EQ(evaluate(QStringLiteral("document.querySelectorAll('.user-message').length")).toInt(),
              1);
}

// A page reloaded behind the window's back is built again, and later answers show on it.
TEST_F(SendFlowTest, AnswersShowAfterThePageWasReloaded) {
    type(QStringLiteral("first"));
    pressCtrlEnter();
    waitUntilIdle();
    evaluate(QStringLiteral("location.reload(); 0"));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return evaluate(QStringLiteral("document.querySelectorAll('.model-message').length"))
                       .toInt() == 1;
        },
        kWaitMs));
    service.reply(streamedAnswer("second answer"));
    type(QStringLiteral("second"));
    pressCtrlEnter();
    waitUntilIdle();
    EXPECT_TRUE(container().contains(QStringLiteral("second answer")));
    EXPECT_EQ(control<QWebEngineView>("WebBrowser1")->url(), QUrl(QStringLiteral("about:blank")));
}

TEST_F(SendFlowTest, ImageModelsShowTheImageOrSayTheAnswerWasBad) {
    control<QComboBox>("cbModels")->setEditText(QStringLiteral("gemini-2.5-flash-image"));
    service.reply(FakeReply::json(
        R"({"candidates":[{"content":{"parts":[{"inline_data":{"mime_type":"image/png","data":"iVBORw0KGgo="}}]}}]})"));
    type(QStringLiteral("a cat"));
    control<QPushButton>("btnSend")->click();
    waitUntilIdle();
    EXPECT_TRUE(container().contains(QStringLiteral("data:image/png;base64,iVBORw0KGgo=")));
    EXPECT_EQ(geminiDM->ChatHistory().size(), 1); // a picture is not kept in the conversation

    service.reply(FakeReply::json(
        R"({"candidates":[{"content":{"parts":[{"inline_data":{"mime_type":"image/png"}}]}}]})"));
    type(QStringLiteral("another"));
    control<QPushButton>("btnSend")->click();
    waitUntilIdle();
    EXPECT_TRUE(
        container().contains(QStringLiteral("Ошибка: получен некорректный JSON от модели.")));
}

TEST_F(SendFlowTest, TheTimerCountsMinutesAndSecondsWhileTheRequestRuns) {
    FakeReply held = streamedAnswer("ok");
    held.holdBeforeHeaders = true;
    service.reply(held);
    type(QStringLiteral("slow"));
    control<QPushButton>("btnSend")->click();
    ASSERT_TRUE(WaitUntil([&] { return !service.requests().empty(); }, kWaitMs));
    EXPECT_TRUE(control<QLabel>("TimeoutLabel")->isVisible());
    EXPECT_EQ(control<QLabel>("TimeoutLabel")->text(), QStringLiteral("00:00"));
    control<QTimer>("Timer1")->stop(); // the test ticks by hand
    for (int i = 0; i < 75; ++i)
        control<SendPanel>("Panel2")->Timer1Timer();
    EXPECT_EQ(control<QLabel>("TimeoutLabel")->text(), QStringLiteral("01:15"));
    for (int i = 75; i < 7504; ++i)
        control<SendPanel>("Panel2")->Timer1Timer();
    EXPECT_EQ(control<QLabel>("TimeoutLabel")->text(), QStringLiteral("125:04"));

    // While busy, Ctrl+Enter starts nothing.
    type(QStringLiteral("second"));
    pressCtrlEnter();
    EXPECT_EQ(service.requests().size(), 1u);

    service.release();
    waitUntilIdle();
    EXPECT_FALSE(control<QLabel>("TimeoutLabel")->isVisible());
    EXPECT_EQ(service.requests().size(), 1u);
}

TEST_F(SendFlowTest, AFifoInPlaceOfAFileIsRefusedWithoutWaitingForAWriter) {
    const QString fifo = workingDir.filePath(QStringLiteral("fifo.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // Should the send ever open the FIFO, a writer comes later and lets it go, so the
    // test fails instead of hanging.
    QTimer writer;
    writer.setSingleShot(true);
    QObject::connect(&writer, &QTimer::timeout, [&fifo] {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    });
    writer.start(5000);

    type(QStringLiteral("look"));
    attach(fifo);
    control<QPushButton>("btnSend")->click();
    waitUntilIdle();
    EXPECT_TRUE(writer.isActive());
    EXPECT_TRUE(
        container().contains(QStringLiteral("Файл \"fifo.txt\" имеет неподдерживаемый тип.")));
    EXPECT_TRUE(service.requests().empty());
    EXPECT_EQ(attachments().AttachedFiles().size(), 1);
}

} // namespace

namespace {

// The open chat's parameters: set in "Параметры чата", sent, kept in its file and shown
// again with it; a new chat starts from the defaults.
TEST_F(SendFlowTest, ChatParametersAreSentKeptAndShownWithTheirChat) {
    QPushButton* parametersButton = control<QPushButton>("btnChatParameters");
    EXPECT_EQ(parametersButton->text(), QStringLiteral("Параметры"));
    parametersButton->click();
    auto* dialog = form->findChild<QDialog*>(QStringLiteral("ChatParametersDialog"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Параметры чата"));
    dialog->findChild<QPlainTextEdit*>(QStringLiteral("systemInstruction"))
        ->setPlainText(QStringLiteral("Отвечай кратко"));
    dialog->findChild<QDoubleSpinBox*>(QStringLiteral("temperature"))->setValue(0.75);
    if (const QString shots = qEnvironmentVariable("TOVIK_SCREENSHOT_DIR"); !shots.isEmpty())
        dialog->grab().save(QDir(shots).filePath(QStringLiteral("chat-parameters.png")));
    dialog->findChild<QPushButton*>(QStringLiteral("btnApply"))->click();
    EXPECT_EQ(parametersButton->text(), QStringLiteral("Параметры •"));

    type(QStringLiteral("q"));
    pressCtrlEnter();
    waitUntilIdle();
    ASSERT_EQ(service.requests().size(), 1u);
    const QJsonObject body =
        QJsonDocument::fromJson(QByteArray::fromStdString(service.requests().front().body))
            .object();
    EXPECT_EQ(body.value(QStringLiteral("systemInstruction")).toObject(),
              QJsonObject({{QStringLiteral("parts"),
                            QJsonArray{QJsonObject{{QStringLiteral("text"),
                                                    QStringLiteral("Отвечай кратко")}}}}}));
    EXPECT_EQ(body.value(QStringLiteral("generationConfig"))
                  .toObject()
                  .value(QStringLiteral("temperature"))
                  .toDouble(),
              0.75);
    const QString chat = form->CurrentChatFile();
    QFile file(chat);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject saved = QJsonDocument::fromJson(file.readAll().sliced(3)).object();
    EXPECT_EQ(saved.value(QStringLiteral("chat_settings")).toObject(),
              QJsonObject({{QStringLiteral("system_instruction"), QStringLiteral("Отвечай кратко")},
                           {QStringLiteral("temperature"), 0.75}}));

    form->btnNewChatClick();
    EXPECT_EQ(parametersButton->text(), QStringLiteral("Параметры"));
    EXPECT_TRUE(geminiDM->Parameters().IsDefault());
    form->OpenChat(chat);
    EXPECT_EQ(parametersButton->text(), QStringLiteral("Параметры •"));
    EXPECT_EQ(geminiDM->Parameters().Temperature, 0.75);
    // Back to the defaults: the chat's file no longer keeps any.
    parametersButton->click();
    dialog = form->findChild<QDialog*>(QStringLiteral("ChatParametersDialog"));
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QPushButton*>(QStringLiteral("btnReset"))->click();
    dialog->findChild<QPushButton*>(QStringLiteral("btnApply"))->click();
    EXPECT_EQ(parametersButton->text(), QStringLiteral("Параметры"));
    QFile rewritten(chat);
    ASSERT_TRUE(rewritten.open(QIODevice::ReadOnly));
    EXPECT_FALSE(rewritten.readAll().contains("chat_settings"));
}

} // namespace

namespace {

TEST_F(SendFlowTest, CtrlShiftCCopiesTheLastAnswersMarkdown) {
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    QTest::keyClick(control<PromptEdit>("memoPrompt"), Qt::Key_C,
                    Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    EXPECT_EQ(form->StatusText(), QStringLiteral("В чате ещё нет ответа"));
    type(QStringLiteral("q"));
    pressCtrlEnter();
    waitUntilIdle();
    QTest::keyClick(control<PromptEdit>("memoPrompt"), Qt::Key_C,
                    Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("**Привет**"));
}

} // namespace
