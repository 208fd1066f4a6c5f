// The chat page under strain in the real web view: its render process dying under it, and
// a message longer than the page shows.
#include "chat/GeminiDM.h"
#include "app/MainWindow.h"
#include "page/MessageBlocks.h"
#include "PageTest.h"
#include "app/PromptEdit.h"

#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <csignal>

namespace {

class ChatPageResilienceTest : public PageTest {};

TEST_F(ChatPageResilienceTest, DeadRenderProcessGivesTheConversationBack) {
    geminiDM->ChatHistory() = {
        {QStringLiteral("user"), {MakeTextPart(QStringLiteral("first"))}},
        {QStringLiteral("model"), {MakeTextPart(QStringLiteral("**answer**"))}},
        {QStringLiteral("model"), {MakeInlinePart(QStringLiteral("image/png"), "iVBO")}},
    };
    form->ResetChatView();
    form->View().RenderHistory();
    const QString blocks =
        BuildUserMessageHtml(QStringLiteral("first"), {}, {}) +
        BuildModelMessageHtml(QStringLiteral("**answer**"), {}) +
        BuildImageMessageHtml(QStringLiteral("image/png"), QStringLiteral("iVBO"), {});
    ASSERT_EQ(container(), blocks);
    control<PromptEdit>("memoPrompt")->setPlainText(QStringLiteral("draft"));

    const auto killRenderer = [&] {
        const qint64 pid = control<QWebEngineView>("WebBrowser1")->page()->renderProcessPid();
        ASSERT_GT(pid, 0);
        ASSERT_EQ(::kill(pid_t(pid), SIGKILL), 0);
        ASSERT_TRUE(WaitUntil(
            [&] {
                return control<QWebEngineView>("WebBrowser1")->page()->renderProcessPid() != pid;
            },
            kPageTimeoutMs));
    };
    killRenderer();
    ASSERT_TRUE(WaitUntil([&] { return container() == blocks; }, kPageTimeoutMs));
    EXPECT_EQ(
        form->StatusText(),
        QStringLiteral("Процесс отображения чата завершился аварийно; страница построена заново."));
    EXPECT_EQ(control<PromptEdit>("memoPrompt")->toPlainText(), QStringLiteral("draft"));

    // Dying again before anything new was shown stops the rebuilding; the next block
    // shown starts it again.
    killRenderer();
    ASSERT_TRUE(WaitUntil(
        [&] {
            return form->StatusText() ==
                   QStringLiteral(
                       "Страницу чата не удалось показать заново; откройте чат ещё раз.");
        },
        kPageTimeoutMs));
    form->ResetChatView();
    form->View().RenderHistory();
    ASSERT_EQ(container(), blocks);
    killRenderer();
    EXPECT_TRUE(WaitUntil([&] { return container() == blocks; }, kPageTimeoutMs));
}

TEST_F(ChatPageResilienceTest, LongMessagesShowTheirStartAndNUL) {
    // Four bytes a piece: 2800 KB in all, 2048 KB shown.
    const QString longAnswer = QStringView(u"a\0b ", 4).toString().repeated(700 * 1024);
    geminiDM->ChatHistory() = {
        {QStringLiteral("user"), {MakeTextPart(QStringLiteral("long please"))}},
        {QStringLiteral("model"), {MakeTextPart(longAnswer)}},
    };
    form->ResetChatView();
    form->View().RenderHistory();
    EXPECT_EQ(evaluateText(QStringLiteral("document.querySelector('.display-note').innerText")),
              QStringLiteral("показано 2048 из 2800 КБ"));
    const int shown = evaluate(QStringLiteral("document.querySelector('.model-message "
                                              ".message-content p').innerText.length"))
                          .toInt();
    EXPECT_LE(shown, 2 * 1024 * 1024);
    EXPECT_GE(shown, 2 * 1024 * 1024 - 4);
    EXPECT_EQ(evaluateText(QStringLiteral("document.querySelector('.model-message "
                                          ".message-content p').innerText.slice(0, 7)")),
              QStringLiteral("a\uFFFDb a\uFFFDb"));
    EXPECT_EQ(geminiDM->ChatHistory().at(1).Parts.first().Text, longAnswer);
}

} // namespace
