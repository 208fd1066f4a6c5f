#include "app/ChatPage.h"
#include "page/ChatPageTemplate.h"
#include "text/Clock.h"
#include "page/ConversationHtml.h"
#include "chat/GeminiDM.h"
#include "LinkCatcher.h"
#include "app/MainWindow.h"
#include "page/MessageActionBar.h"
#include "page/MessageBlocks.h"
#include "PageTest.h"
#include "app/PromptEdit.h"
#include "SampleConversation.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <QWebEngineView>

#include <gtest/gtest.h>

namespace {

const QDateTime kNow(QDate(2025, 11, 3), QTime(14, 5, 9));

class ChatPageTest : public PageTest {
protected:
    ChatPageTest() : PageTest(kNow) {}

    // With no key chosen the window starts on its welcome page; these tests are about
    // the chat's own page, which a new chat starts blank.
    void SetUp() override {
        PageTest::SetUp();
        form->ResetChatView();
    }
};

TEST_F(ChatPageTest, FirstAppendWritesTheTemplateOntoABlankPage) {
    EXPECT_EQ(evaluateText(QStringLiteral("document.documentElement.outerHTML")),
              QStringLiteral("<html><head></head><body></body></html>"));
    EXPECT_TRUE(
        evaluate(QStringLiteral("document.getElementById('chat-container') === null")).toBool());

    form->View().AddUserMessage(QStringLiteral("hello"), {});
    const QString block = WithMessageActions(BuildUserMessageHtml(QStringLiteral("hello"), {}),
                                             form->View().Page().ActionToken(), 0, true);
    QString expected = ChatPageTemplate();
    expected.replace(QStringLiteral("<div id=\"chat-container\"></div>"),
                     QStringLiteral("<div id=\"chat-container\">") + block +
                         QStringLiteral("</div>"));
    EXPECT_EQ(QStringLiteral("<!DOCTYPE html>") +
                  evaluateText(QStringLiteral("document.documentElement.outerHTML")),
              expected);
    EXPECT_EQ(evaluateText(QStringLiteral("typeof copyCode + ' ' + typeof autoScrollToBottom")),
              QStringLiteral("function function"));
}

TEST_F(ChatPageTest, ContainerHoldsTheAppendedBlocksInOrder) {
    // Appends made while the blank page is still loading wait for it, in order.
    form->ResetChatView();
    QString expected;
    for (int i = 0; i < 30; ++i) {
        const QString text = QStringLiteral("message %1").arg(i);
        form->View().AddUserMessage(text, {});
        expected += BuildUserMessageHtml(text, {});
        if (i % 10 == 0)
            form->View().ScrollChatBy(130);
    }
    form->View().AddUserMessage(QStringLiteral("two\r\nlines"),
                         {QStringLiteral("/tmp/some dir/a.txt"), QStringLiteral("/b.png")});
    expected += BuildUserMessageHtml(QStringLiteral("two\r\nlines"),
                                     {QStringLiteral("a.txt"), QStringLiteral("b.png")});
    form->View().AddImageMessage(QStringLiteral("image/png"), QStringLiteral("iVBORw0KGgo="));
    expected += BuildImageMessageHtml(QStringLiteral("image/png"), QStringLiteral("iVBORw0KGgo="));
    form->View().ScrollChatToBottom();
    EXPECT_EQ(container(), expected);
}

TEST_F(ChatPageTest, EscapedPromptReadsAsTyped) {
    // What the user sees: the characters as typed, the entity as its character, and
    // the same line breaks, whichever line ends the text has.
    form->View().AddUserMessage(QStringLiteral("a <b> & c &amp; d\r\nnext line\nthird\rfourth"), {});
    EXPECT_EQ(evaluateText(QStringLiteral(
                  "document.querySelector('.user-message .message-content p').innerText")),
              QStringLiteral("a <b> & c & d\nnext line\nthird\nfourth"));
}

// The browser's menu (back, reload, view source) is replaced by the page's own.
TEST_F(ChatPageTest, RightClickOffersOnlyCopyAndSelectAll) {
    form->View().AddUserMessage(QStringLiteral("words to copy"), {});
    QWidget* target = control<QWebEngineView>("WebBrowser1")->focusProxy();
    ASSERT_NE(target, nullptr);
    QTest::mouseClick(target, Qt::RightButton, {},
                      centreOf(QStringLiteral(".user-message .message-content p")));
    QMenu* menu = control<QMenu>("ChatPageMenu");
    ASSERT_TRUE(WaitUntil([&] { return menu->isVisible(); }, kPageTimeoutMs));
    QStringList captions;
    for (const QAction* action : menu->actions())
        captions << action->text();
    EXPECT_EQ(captions,
              (QStringList{QStringLiteral("Копировать"), QStringLiteral("Выделить всё")}));
    menu->hide();

    EXPECT_FALSE(control<QAction>("ChatPageCopy")->isEnabled());
    control<QAction>("ChatPageSelectAll")->trigger();
    ASSERT_TRUE(
        WaitUntil([&] { return control<QAction>("ChatPageCopy")->isEnabled(); }, kPageTimeoutMs));
    QGuiApplication::clipboard()->clear();
    control<QAction>("ChatPageCopy")->trigger();
    EXPECT_TRUE(
        WaitUntil([&] { return QGuiApplication::clipboard()->text().contains(u"words to copy"); },
                  kPageTimeoutMs));
}

// A long chat shows its latest part first; the older parts go in before it while the
// view stays at the latest message, and another chat opened meanwhile gets none of them.
TEST_F(ChatPageTest, LongChatsFillInOlderPartsAboveTheLatest) {
    TChatHistory history;
    for (int i = 0; i < 120; ++i)
        history.append({i % 2 ? QStringLiteral("model") : QStringLiteral("user"),
                        {MakeTextPart(QStringLiteral("message %1 ").arg(i).repeated(300))}});
    geminiDM->ChatHistory() = history;
    const QString whole = BuildConversationHtml(history);
    ASSERT_GT(whole.size(), 400 * 1024);
    form->ResetChatView();
    form->View().RenderHistory();
    ASSERT_TRUE(WaitUntil([&] { return container() == whole; }, kPageTimeoutMs));
    EXPECT_TRUE(evaluate(QStringLiteral("var c = document.querySelectorAll('.message-wrapper'); "
                                        "var r = c[c.length - 1].getBoundingClientRect(); "
                                        "r.bottom <= window.innerHeight && r.bottom > 0"))
                    .toBool());

    form->ResetChatView();
    form->View().RenderHistory();
    geminiDM->ChatHistory() = {{QStringLiteral("user"), {MakeTextPart(QStringLiteral("other"))}}};
    form->ResetChatView();
    form->View().RenderHistory();
    RunEventsFor(500);
    EXPECT_EQ(container(), BuildUserMessageHtml(QStringLiteral("other"), {}, {}));
}

// A reopened chat shows each message's own time and opens at its latest message.
TEST_F(ChatPageTest, ReopenedChatShowsStoredTimesAtItsLatestMessage) {
    TChatHistory history;
    for (int i = 0; i < 40; ++i) {
        THistoryItem item{i % 2 ? QStringLiteral("model") : QStringLiteral("user"),
                          {MakeTextPart(QStringLiteral("message %1").arg(i))}};
        item.Time = QDateTime(QDate(2024, 5, 6), QTime(7, 8, i));
        history.append(item);
    }
    geminiDM->ChatHistory() = history;
    form->ResetChatView();
    form->View().RenderHistory();
    EXPECT_EQ(
        evaluateText(QStringLiteral("Array.from(document.querySelectorAll('.timestamp')).slice(-2)"
                                    ".map(t => t.textContent).join('|')")),
        QStringLiteral("07:08:38 - 06.05.2024|07:08:39 - 06.05.2024"));
    EXPECT_TRUE(WaitUntil(
        [&] {
            return evaluate(QStringLiteral("var c = document.querySelectorAll('.message-wrapper'); "
                                           "var r = c[c.length - 1].getBoundingClientRect(); "
                                           "window.scrollY > 0 && r.bottom <= window.innerHeight"))
                .toBool();
        },
        kPageTimeoutMs));
}

TEST_F(ChatPageTest, CopyButtonCopiesItsOwnBlock) {
    form->View().AddModelMessage(QStringLiteral(
        "Two blocks:\n\n```\nfirst block\n```\n\nbetween\n\n```cpp\nsecond\nblock\n```\n"));
    ASSERT_EQ(evaluate(QStringLiteral("document.querySelectorAll('.copy-btn').length")).toInt(), 2);
    // The page notes each change of a button's label, and its timers wait until the test
    // lets them run: the two seconds are the delay the page asks for.
    evaluate(QStringLiteral(
        "window.labels = []; document.querySelectorAll('.copy-btn').forEach((b, i) => new "
        "MutationObserver(() => window.labels.push([i, b.innerText]))"
        ".observe(b, {childList: true, characterData: true, subtree: true})); "
        "window.timers = []; window.setTimeout = (f, ms) => window.timers.push({f: f, ms: ms}); "
        "window.clearTimeout = id => { if (id) window.timers[id - 1].f = null; }; "
        "window.runTimers = () => window.timers.forEach(t => { if (t.f) { var f = t.f; t.f = "
        "null; f(); } }); 0"));
    const auto label = [&](int button) {
        return evaluateText(
            QStringLiteral("document.querySelectorAll('.copy-btn')[%1].innerText").arg(button));
    };
    QGuiApplication::clipboard()->clear();

    click(QStringLiteral(".code-block-container:nth-of-type(2) .copy-btn"));
    EXPECT_TRUE(WaitUntil(
        [] { return QGuiApplication::clipboard()->text() == QStringLiteral("second\nblock\n"); },
        kPageTimeoutMs))
        << QGuiApplication::clipboard()->text().toStdString();
    ASSERT_TRUE(
        WaitUntil([&] { return label(1) == QStringLiteral("Скопировано!"); }, kPageTimeoutMs));
    EXPECT_EQ(evaluateText(QStringLiteral("JSON.stringify(window.timers.map(t => t.ms))")),
              QStringLiteral("[2000]"));
    evaluate(QStringLiteral("window.runTimers(); 0"));
    const QVariantList labels = evaluate(QStringLiteral("window.labels")).toList();
    ASSERT_EQ(labels.size(), 2);
    EXPECT_EQ(labels[0].toList(), (QVariantList{1, QStringLiteral("Скопировано!")}));
    EXPECT_EQ(labels[1].toList(), (QVariantList{1, QStringLiteral("Копировать")}));
    EXPECT_EQ(label(0), QStringLiteral("Копировать"));

    // A second click while the label shows "Скопировано!" still ends with the label back.
    click(QStringLiteral(".copy-btn"));
    ASSERT_TRUE(
        WaitUntil([&] { return label(0) == QStringLiteral("Скопировано!"); }, kPageTimeoutMs));
    click(QStringLiteral(".copy-btn"));
    ASSERT_TRUE(
        WaitUntil([&] { return evaluate(QStringLiteral("window.labels.length")).toInt() >= 4; },
                  kPageTimeoutMs));
    evaluate(QStringLiteral("window.runTimers(); 0"));
    EXPECT_EQ(evaluateText(QStringLiteral(
                  "document.querySelector('.copy-btn').innerText + window.labels.length")),
              QStringLiteral("Копировать5"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("first block\n"));
}

TEST_F(ChatPageTest, RenderHistoryShowsTheSavedConversation) {
    geminiDM->ChatHistory() = SampleConversation();
    form->ResetChatView();
    form->View().RenderHistory();
    const QString expected = BuildConversationHtml(geminiDM->ChatHistory());
    EXPECT_EQ(container(), expected);
    EXPECT_EQ(evaluate(QStringLiteral("window.scrollY")).toInt(), 0);
}

TEST_F(ChatPageTest, ResetEmptiesThePromptAndAttachmentsAndBlanksThePage) {
    form->View().AddUserMessage(QStringLiteral("before"), {});
    ASSERT_FALSE(container().isEmpty());
    control<PromptEdit>("memoPrompt")->setPlainText(QStringLiteral("draft"));
    attachments().SetAttachedFiles({QStringLiteral("/tmp/a.txt")});
    ASSERT_EQ(control<QListWidget>("ListBox1")->count(), 1);
    ASSERT_NE(control<QLabel>("ContextChatTokensLabel")->text(), QStringLiteral("0"));

    // A block asked for while the blank page is still loading belongs to the chat
    // that a second reset throws away.
    form->ResetChatView();
    form->View().AddUserMessage(QStringLiteral("thrown away"), {});
    form->ResetChatView();
    EXPECT_TRUE(control<PromptEdit>("memoPrompt")->toPlainText().isEmpty());
    EXPECT_EQ(control<QListWidget>("ListBox1")->count(), 0);
    EXPECT_TRUE(attachments().AttachedFiles().isEmpty());
    EXPECT_EQ(control<QLabel>("ContextChatTokensLabel")->text(), QStringLiteral("0"));
    EXPECT_EQ(evaluateText(QStringLiteral("document.documentElement.outerHTML")),
              QStringLiteral("<html><head></head><body></body></html>"));

    form->View().AddUserMessage(QStringLiteral("after"), {});
    EXPECT_EQ(container(), BuildUserMessageHtml(QStringLiteral("after"), {}));
}

TEST_F(ChatPageTest, AnotherPageTakesNoBlocksUntilReset) {
    form->View().AddUserMessage(QStringLiteral("chat"), {});
    ASSERT_FALSE(container().isEmpty());
    QFile help(programDir.filePath(QStringLiteral("AddKey.html")));
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.write("<html><body><p id=\"help\">key help</p></body></html>");
    help.close();
    control<QWebEngineView>("WebBrowser1")->setUrl(QUrl::fromLocalFile(help.fileName()));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return evaluateText(QStringLiteral("document.body ? document.body.innerText : ''")) ==
                   QStringLiteral("key help");
        },
        kPageTimeoutMs));

    form->View().AddUserMessage(QStringLiteral("lost"), {});
    form->View().ScrollChatToBottom();
    EXPECT_EQ(evaluateText(QStringLiteral("document.body.innerText")), QStringLiteral("key help"));

    form->ResetChatView();
    form->View().AddUserMessage(QStringLiteral("new chat"), {});
    EXPECT_EQ(container(), BuildUserMessageHtml(QStringLiteral("new chat"), {}));
}

TEST_F(ChatPageTest, KeyHelpPageLinksOpenInTheBrowser) {
    LinkCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    QFile help(programDir.filePath(QStringLiteral("AddKey.html")));
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.write("<html><body><a href=\"https://example.com/apikey\">get a key</a></body></html>");
    help.close();
    control<QWebEngineView>("WebBrowser1")->setUrl(QUrl::fromLocalFile(help.fileName()));
    ASSERT_TRUE(
        WaitUntil([&] { return evaluate(QStringLiteral("document.links.length")).toInt() == 1; },
                  kPageTimeoutMs));
    click(QStringLiteral("a"));
    EXPECT_TRUE(WaitUntil([&] { return !catcher.opened.isEmpty(); }, kPageTimeoutMs));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    EXPECT_EQ(catcher.opened, QList<QUrl>{QUrl(QStringLiteral("https://example.com/apikey"))});
    EXPECT_EQ(control<QWebEngineView>("WebBrowser1")->url(), QUrl::fromLocalFile(help.fileName()));
}

TEST_F(ChatPageTest, ScrollingMovesThePage) {
    QString tall;
    for (int i = 0; i < 60; ++i)
        tall += BuildUserMessageHtml(QStringLiteral("line %1").arg(i), {});
    form->View().AppendHtml(tall);
    ASSERT_EQ(evaluate(QStringLiteral("window.scrollY")).toInt(), 0);

    // The button to the end floats over the page while the page is not at its end.
    auto* down = control<QPushButton>("DownBut");
    ASSERT_TRUE(WaitUntil([&] { return down->isVisible(); }, kPageTimeoutMs));
    form->View().ScrollChatBy(130);
    EXPECT_EQ(evaluate(QStringLiteral("window.scrollY")).toInt(), 130);

    QTest::mouseClick(down, Qt::LeftButton);
    EXPECT_EQ(evaluate(QStringLiteral("Math.ceil(window.scrollY + window.innerHeight) >= "
                                      "document.documentElement.scrollHeight"))
                  .toBool(),
              true);
    EXPECT_TRUE(WaitUntil([&] { return !down->isVisible(); }, kPageTimeoutMs));
    const QRect page(control<QWidget>("WebBrowser1")->mapTo(form.get(), QPoint()),
                     control<QWidget>("WebBrowser1")->size());
    EXPECT_TRUE(page.contains(QRect(down->mapTo(form.get(), QPoint()), down->size())));
}

TEST_F(ChatPageTest, AnswerMarkupCannotRunScript) {
    const QString title = evaluateText(QStringLiteral("document.title"));
    // Raw HTML that reaches the page through the converter, and markup put into the
    // container as it stands.
    form->View().AddModelMessage(QStringLiteral("<img src=x onerror=\"document.title=1\">"));
    form->View().AppendHtml(QStringLiteral("<img src=x onerror=\"document.title='x'\"><svg><image "
                                    "href=\"y\" onerror=\"document.title='y'\"></image></svg>"));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return evaluate(QStringLiteral("document.images.length == 2 && "
                                           "Array.from(document.images).every(i => i.complete)"))
                .toBool();
        },
        kPageTimeoutMs));
    RunEventsFor(200);
    EXPECT_EQ(evaluateText(QStringLiteral("document.title")), title);
}

TEST_F(ChatPageTest, ClickedLinkOpensOutsideAndThePageStays) {
    LinkCatcher catcher;
    for (const QString& scheme : {QStringLiteral("https"), QStringLiteral("file")})
        QDesktopServices::setUrlHandler(scheme, &catcher, "open");
    form->View().AddModelMessage(QStringLiteral(
        "Open [a local file](file:///etc/hostname) or see [the documentation]"
        "(https://example.com/docs) or <a href=\"https://example.com/new\" target=\"_blank\">"
        "a new window</a> or [jump](#top)."));
    // A local file is not handed to the desktop; a web link is, one meant for a new
    // window too.
    click(QStringLiteral(".message-content a[href^=file]"));
    click(QStringLiteral(".message-content a[href$=docs]"));
    click(QStringLiteral(".message-content a[href$=new]"));
    click(QStringLiteral(".message-content a[href^=\"#\"]"));
    EXPECT_TRUE(WaitUntil([&] { return catcher.opened.size() >= 2; }, kPageTimeoutMs));
    RunEventsFor(300);
    for (const QString& scheme : {QStringLiteral("https"), QStringLiteral("file")})
        QDesktopServices::unsetUrlHandler(scheme);
    EXPECT_EQ(catcher.opened, (QList<QUrl>{QUrl(QStringLiteral("https://example.com/docs")),
                                           QUrl(QStringLiteral("https://example.com/new"))}));

    EXPECT_TRUE(container().contains(QStringLiteral("the documentation</a>")));
    EXPECT_EQ(control<QWebEngineView>("WebBrowser1")->url(), QUrl(QStringLiteral("about:blank")));
}

} // namespace
