// The action bars of the chat's messages, used the way a user does (the mouse, the
// keyboard) on the real window, with a real HTTP service on loopback.
#include "ServiceWindowTest.h"
#include "app/PromptEdit.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QWebEngineView>

#include <gtest/gtest.h>

namespace {

FakeReply answer(const std::string& text) {
    return FakeReply::events({{LastTextEvent(text)}});
}

// The "contents" of a request body, the rest left out.
std::string contentsOf(const std::string& body) {
    return body.substr(0, body.find(R"(,"generationConfig")"));
}

class MessageActionsTest : public ServiceWindowTest {
protected:
    void SetUp() override {
        ServiceWindowTest::SetUp();
        form->ResetChatView();
    }

    PromptEdit* prompt() const { return control<PromptEdit>("memoPrompt"); }

    void send(const QString& text, const std::string& reply) {
        service.reply(answer(reply));
        prompt()->setPlainText(text);
        QTest::keyClick(prompt(), Qt::Key_Return, Qt::ControlModifier);
        waitUntilIdle();
    }

    // Two questions, each answered, saved.
    void twoExchanges() {
        send(QStringLiteral("Первый вопрос"), "**Первый** ответ");
        send(QStringLiteral("Второй вопрос"), "Второй ответ");
        ASSERT_EQ(geminiDM->ChatHistory().size(), 4);
    }

    static QString selector(qsizetype message, const char* action) {
        return QStringLiteral(".message-actions[data-item=\"%1\"] .%2").arg(message).arg(QLatin1StringView(action));
    }

    // The mouse rests on the message's block, then clicks the action its bar shows.
    void clickAction(qsizetype message, const char* action) {
        QWidget* target = control<QWebEngineView>("WebBrowser1")->focusProxy();
        ASSERT_NE(target, nullptr);
        evaluate(QStringLiteral("document.querySelector('%1').closest('.message-wrapper')"
                                ".scrollIntoView({block: 'center'}); 0")
                     .arg(selector(message, action)));
        const QVariantList box =
            evaluate(QStringLiteral("var r = document.querySelector('%1').closest("
                                    "'.message-wrapper').getBoundingClientRect(); "
                                    "[r.x + r.width / 2, r.y + r.height / 2]")
                         .arg(selector(message, action)))
                .toList();
        ASSERT_EQ(box.size(), 2);
        QTest::mouseMove(target, QPoint(box[0].toInt(), box[1].toInt()));
        ASSERT_TRUE(WaitUntil(
            [&] {
                return evaluate(QStringLiteral("getComputedStyle(document.querySelector('%1')"
                                               ".parentElement).opacity == '1'")
                                    .arg(selector(message, action)))
                    .toBool();
            },
            kWaitMs));
        const QPoint at = centreOf(selector(message, action));
        QTest::mouseMove(target, at);
        QTest::mouseClick(target, Qt::LeftButton, {}, at);
    }

    // What each message's bar offers a user who sees it, "index:title,title" per message.
    QStringList shownBars() {
        return evaluate(QStringLiteral(
                            "Array.from(document.querySelectorAll('.message-actions')).map(b => "
                            "b.dataset.item + ':' + Array.from(b.querySelectorAll('a'))"
                            ".filter(a => getComputedStyle(a).display != 'none')"
                            ".map(a => a.textContent).join(','))"))
            .toStringList();
    }

    // The texts of the messages the chat's file holds.
    QStringList savedTexts() const {
        TGeminiDM reader;
        if (!reader.LoadHistoryFromFile(form->CurrentChatFile()).Opened())
            return {QStringLiteral("(unreadable)")};
        QStringList texts;
        for (const THistoryItem& item : reader.ChatHistory())
            texts.append(AnswerText(item.Parts));
        return texts;
    }

    QStringList messageTexts() {
        return evaluate(QStringLiteral("Array.from(document.querySelectorAll('.message-content'))"
                                       ".map(c => c.innerText.trim())"))
            .toStringList();
    }

};

TEST_F(MessageActionsTest, EachMessageOffersItsActionsOnHoverAndByKeyboard) {
    twoExchanges();
    const QStringList bars{QStringLiteral("0:Копировать,Изменить,Удалить"),
                           QStringLiteral("1:Копировать,Удалить"),
                           QStringLiteral("2:Копировать,Изменить,Удалить"),
                           QStringLiteral("3:Копировать,Ответить заново,Удалить")};
    EXPECT_EQ(shownBars(), bars);
    // The same once the chat is opened from its file.
    form->OpenChat(form->CurrentChatFile());
    EXPECT_EQ(shownBars(), bars);
    EXPECT_EQ(evaluateText(QStringLiteral(
                  "getComputedStyle(document.querySelector('.message-actions')).opacity")),
              QStringLiteral("0"));

    // Tab from the top of the page reaches the first message's bar, which shows itself,
    // and Enter copies the question.
    QGuiApplication::clipboard()->clear();
    QWidget* page = control<QWebEngineView>("WebBrowser1")->focusProxy();
    page->setFocus();
    evaluate(QStringLiteral("document.activeElement && document.activeElement.blur(); 0"));
    QTest::keyClick(page, Qt::Key_Tab);
    ASSERT_TRUE(WaitUntil(
        [&] {
            return evaluateText(QStringLiteral("document.activeElement.textContent")) ==
                   QStringLiteral("Копировать");
        },
        kWaitMs));
    EXPECT_EQ(evaluateText(QStringLiteral(
                  "getComputedStyle(document.activeElement.parentElement).opacity")),
              QStringLiteral("1"));
    if (const QString shots = qEnvironmentVariable("TOVIK_SCREENSHOT_DIR"); !shots.isEmpty()) {
        form->resize(760, 520);
        RunEventsFor(500);
        form->grab().save(QDir(shots).filePath(QStringLiteral("message-actions-760x520.png")));
    }
    QTest::keyClick(page, Qt::Key_Return);
    EXPECT_TRUE(WaitUntil(
        [] { return QGuiApplication::clipboard()->text() == QStringLiteral("Первый вопрос"); },
        kWaitMs));

    // The mouse copies an answer as the model wrote it.
    clickAction(1, "copy");
    EXPECT_TRUE(WaitUntil(
        [] { return QGuiApplication::clipboard()->text() == QStringLiteral("**Первый** ответ"); },
        kWaitMs))
        << QGuiApplication::clipboard()->text().toStdString();
}

TEST_F(MessageActionsTest, DeletingAsksFirstAndTakesAQuestionWithItsAnswer) {
    twoExchanges();
    const QByteArray saved = savedChat();

    // Nothing is deleted on the default answer.
    clickAction(0, "delete");
    ASSERT_TRUE(WaitUntil([&] { return !dialogs.questions.isEmpty(); }, kWaitMs));
    EXPECT_EQ(dialogs.questions.last().text, QStringLiteral("Удалить вопрос и ответ на него?"));
    EXPECT_EQ(geminiDM->ChatHistory().size(), 4);
    EXPECT_EQ(savedChat(), saved);

    dialogs.answers = {true};
    clickAction(0, "delete");
    ASSERT_TRUE(WaitUntil([&] { return geminiDM->ChatHistory().size() == 2; }, kWaitMs));
    EXPECT_EQ(AnswerText(geminiDM->ChatHistory()[0].Parts), QStringLiteral("Второй вопрос"));
    EXPECT_EQ(savedTexts(),
              (QStringList{QStringLiteral("Второй вопрос"), QStringLiteral("Второй ответ")}));
    EXPECT_EQ(messageTexts(), (QStringList{QStringLiteral("Второй вопрос"),
                                           QStringLiteral("Второй ответ")}));
    // The messages after it answer to their new places.
    EXPECT_EQ(shownBars(), (QStringList{QStringLiteral("0:Копировать,Изменить,Удалить"),
                                        QStringLiteral("1:Копировать,Ответить заново,Удалить")}));
    clickAction(0, "copy");
    EXPECT_TRUE(WaitUntil(
        [] { return QGuiApplication::clipboard()->text() == QStringLiteral("Второй вопрос"); },
        kWaitMs));

    // An answer goes alone; the last message gone, the file holds an empty chat.
    dialogs.answers = {true};
    clickAction(1, "delete");
    ASSERT_TRUE(WaitUntil([&] { return geminiDM->ChatHistory().size() == 1; }, kWaitMs));
    EXPECT_EQ(dialogs.questions.last().text, QStringLiteral("Удалить ответ?"));
    dialogs.answers = {true};
    clickAction(0, "delete");
    ASSERT_TRUE(WaitUntil([&] { return geminiDM->ChatHistory().isEmpty(); }, kWaitMs));
    EXPECT_EQ(dialogs.questions.last().text, QStringLiteral("Удалить вопрос?"));
    EXPECT_TRUE(savedTexts().isEmpty());
    EXPECT_TRUE(messageTexts().isEmpty());
}

TEST_F(MessageActionsTest, ADeletionThatCannotBeSavedChangesNothing) {
    twoExchanges();
    const QString path = form->CurrentChatFile();
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkdir(path));
    const TChatHistory before = geminiDM->ChatHistory();
    dialogs.answers = {true};
    clickAction(2, "delete");
    ASSERT_TRUE(WaitUntil([&] { return !dialogs.messages.isEmpty(); }, kWaitMs));
    EXPECT_EQ(geminiDM->ChatHistory(), before);
    EXPECT_EQ(messageTexts().size(), 4);
}

TEST_F(MessageActionsTest, AnEditedQuestionTakesThePlaceOfItAndWhatFollowed) {
    const QString file = workingDir.filePath(QStringLiteral("notes.txt"));
    QFile notes(file);
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly) && notes.write("заметки") > 0);
    notes.close();
    attachments().SetAttachedFiles({file});
    twoExchanges();

    // Escape gives the prompt box back as it was.
    prompt()->setPlainText(QStringLiteral("черновик"));
    clickAction(0, "edit");
    ASSERT_TRUE(WaitUntil(
        [&] { return prompt()->toPlainText() == QStringLiteral("Первый вопрос"); }, kWaitMs));
    EXPECT_EQ(attachments().Names(), QStringList{QStringLiteral("notes.txt")});
    QTest::keyClick(prompt(), Qt::Key_Escape);
    EXPECT_EQ(prompt()->toPlainText(), QStringLiteral("черновик"));
    EXPECT_EQ(attachments().Count(), 0);

    clickAction(0, "edit");
    ASSERT_TRUE(WaitUntil(
        [&] { return prompt()->toPlainText() == QStringLiteral("Первый вопрос"); }, kWaitMs));
    prompt()->setPlainText(QStringLiteral("Исправленный вопрос"));
    // The answers after it would be lost: asked first, and the default keeps them.
    QTest::keyClick(prompt(), Qt::Key_Return, Qt::ControlModifier);
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions.last().text,
              QStringLiteral("Изменить вопрос? Ответы после него будут удалены."));
    EXPECT_EQ(service.requests().size(), 2u);
    EXPECT_EQ(geminiDM->ChatHistory().size(), 4);

    dialogs.answers = {true};
    service.reply(answer("Новый ответ"));
    QTest::keyClick(prompt(), Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(WaitUntil([&] { return service.requests().size() == 3u; }, kWaitMs));
    waitUntilIdle();
    ASSERT_EQ(service.requests().size(), 3u);
    // Sent alone with the file its message kept.
    const std::string sent = contentsOf(service.requests().back().body);
    EXPECT_EQ(sent.find("role\":\"model"), std::string::npos) << sent;
    EXPECT_NE(sent.find(QByteArray("заметки").toBase64().toStdString()), std::string::npos);
    const TChatHistory& history = geminiDM->ChatHistory();
    ASSERT_EQ(history.size(), 2);
    EXPECT_EQ(AnswerText(history[0].Parts), QStringLiteral("Исправленный вопрос"));
    EXPECT_EQ(history[0].Parts.size(), 2);
    EXPECT_EQ(AnswerText(history[1].Parts), QStringLiteral("Новый ответ"));
    EXPECT_EQ(savedTexts(), (QStringList{QStringLiteral("Исправленный вопрос"),
                                         QStringLiteral("Новый ответ")}));
    EXPECT_EQ(messageTexts().size(), 2);
    EXPECT_TRUE(prompt()->toPlainText().isEmpty());
}

TEST_F(MessageActionsTest, ANewAnswerReplacesTheLastOne) {
    twoExchanges();
    const std::string secondContents = contentsOf(service.requests().back().body);
    service.reply(answer("Другой ответ"));
    clickAction(3, "regenerate");
    ASSERT_TRUE(WaitUntil([&] { return service.requests().size() == 3u; }, kWaitMs));
    waitUntilIdle();
    EXPECT_EQ(contentsOf(service.requests().back().body), secondContents);
    const TChatHistory& history = geminiDM->ChatHistory();
    ASSERT_EQ(history.size(), 4);
    EXPECT_EQ(AnswerText(history[3].Parts), QStringLiteral("Другой ответ"));
    EXPECT_EQ(savedTexts().last(), QStringLiteral("Другой ответ"));
    EXPECT_EQ(messageTexts().last(), QStringLiteral("Другой ответ"));
    EXPECT_EQ(shownBars().last(), QStringLiteral("3:Копировать,Ответить заново,Удалить"));
}

// A new answer or an edit that brings nothing back, failed or stopped, leaves the chat, its
// file and its page as they were, and the edit waits in the prompt box to be sent again.
TEST_F(MessageActionsTest, AReplacementThatBringsNothingLeavesTheChatAsItWas) {
    struct Case {
        const char* name;
        const char* action;
        bool stop;
    };
    for (const Case& c : {Case{"failed new answer", "regenerate", false},
                          Case{"stopped new answer", "regenerate", true},
                          Case{"failed edit", "edit", false}}) {
        SCOPED_TRACE(c.name);
        form->btnNewChatClick();
        service.release();
        twoExchanges();
        const TChatHistory before = geminiDM->ChatHistory();
        const QByteArray saved = savedChat();
        const QStringList shown = messageTexts();

        // A refusal the request does not wait out and try again.
        FakeReply reply = FakeReply::json(R"({"error":{"code":400,"message":"refused"}})", 400);
        reply.holdBeforeHeaders = c.stop;
        service.reply(reply);
        const size_t sent = service.requests().size();
        const bool edit = QByteArray(c.action) == "edit";
        clickAction(edit ? 2 : 3, c.action);
        if (edit) {
            ASSERT_TRUE(WaitUntil([&] { return !prompt()->toPlainText().isEmpty(); }, kWaitMs));
            prompt()->setPlainText(QStringLiteral("Правка"));
            dialogs.answers = {true};
            QTest::keyClick(prompt(), Qt::Key_Return, Qt::ControlModifier);
        }
        ASSERT_TRUE(WaitUntil([&] { return service.requests().size() == sent + 1; }, kWaitMs));
        if (c.stop)
            control<QPushButton>("btnSend")->click();
        waitUntilIdle();
        EXPECT_EQ(geminiDM->ChatHistory(), before);
        EXPECT_EQ(savedChat(), saved);
        ASSERT_TRUE(WaitUntil([&] { return messageTexts().size() == shown.size() + 1; }, kWaitMs));
        EXPECT_EQ(messageTexts().first(shown.size()), shown);
        if (edit) {
            EXPECT_EQ(prompt()->toPlainText(), QStringLiteral("Правка"));
            // Still an edit: sent again, it replaces the question.
            service.reply(answer("Ответ на правку"));
            dialogs.answers = {true};
            QTest::keyClick(prompt(), Qt::Key_Return, Qt::ControlModifier);
            ASSERT_TRUE(WaitUntil([&] { return service.requests().size() == sent + 2; }, kWaitMs));
            waitUntilIdle();
            ASSERT_EQ(geminiDM->ChatHistory().size(), 4);
            EXPECT_EQ(AnswerText(geminiDM->ChatHistory()[2].Parts), QStringLiteral("Правка"));
        }
    }
}

// A link an answer writes itself that looks like an action does nothing.
TEST_F(MessageActionsTest, AnAnswersOwnLinkIsNoAction) {
    send(QStringLiteral("Вопрос"), "[удалить](#msg-00000000000000000000000000000000-delete-0)");
    click(QStringLiteral(".message-content a[href^=\"#msg-\"]"));
    RunEventsFor(300);
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_EQ(geminiDM->ChatHistory().size(), 2);
}

} // namespace

namespace {

// Up in the empty prompt box takes up the last question; Escape ends the edit, and stops a
// running answer, from wherever focus is.
TEST_F(MessageActionsTest, UpTakesUpTheLastQuestionAndEscapeWorksAnywhere) {
    twoExchanges();
    QTest::keyClick(prompt(), Qt::Key_Up);
    EXPECT_EQ(prompt()->toPlainText(), QStringLiteral("Второй вопрос"));
    QWidget* search = control<QWidget>("Edit1");
    search->setFocus();
    QTest::keyClick(search, Qt::Key_Escape);
    EXPECT_TRUE(prompt()->toPlainText().isEmpty());

    FakeReply held = answer("не дождётесь");
    held.holdBeforeHeaders = true;
    service.reply(held);
    prompt()->setPlainText(QStringLiteral("Третий"));
    QTest::keyClick(prompt(), Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(WaitUntil([&] { return service.requests().size() == 3u; }, kWaitMs));
    search->setFocus();
    QTest::keyClick(search, Qt::Key_Escape);
    EXPECT_TRUE(idle());
    service.release();
}

} // namespace
