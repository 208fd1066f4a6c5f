#include "ChatPage.h"
#include "ChatPageTemplate.h"
#include "Clock.h"
#include "GeminiDM.h"
#include "MainWindow.h"
#include "MessageBlocks.h"
#include "PromptEdit.h"
#include "WindowTest.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <optional>

namespace {

const QDateTime kNow(QDate(2025, 11, 3), QTime(14, 5, 9));
constexpr int kPageTimeoutMs = 15000;

// Receives the links the page hands to the user's browser.
class LinkCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.append(url); }
};

class ChatPageTest : public WindowTest {
protected:
    ChatPageTest() : WindowTest(kNow) {}

    // Runs a script after everything the window has asked of the page so far.
    QVariant evaluate(const QString& script) {
        std::optional<QVariant> result;
        form->ChatPage().Evaluate(script, [&result](const QVariant& value) { result = value; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, kPageTimeoutMs))
            << script.toStdString();
        return result.value_or(QVariant());
    }

    QString evaluateText(const QString& script) { return evaluate(script).toString(); }

    QString container() {
        return evaluateText(QStringLiteral(
            "var c = document.getElementById('chat-container'); c ? c.innerHTML : null"));
    }

    // The centre of the first element matching a selector, in view coordinates.
    QPoint centreOf(const QString& selector) {
        const QVariantList box =
            evaluate(QStringLiteral("var r = document.querySelectorAll('%1')[0]"
                                    ".getBoundingClientRect(); [r.x + r.width / 2, "
                                    "r.y + r.height / 2]")
                         .arg(selector))
                .toList();
        EXPECT_EQ(box.size(), 2);
        return box.size() == 2 ? QPoint(box[0].toInt(), box[1].toInt()) : QPoint();
    }

    void click(const QString& selector) {
        const QPoint at = centreOf(selector);
        QWidget* target = form->WebBrowser1->focusProxy();
        ASSERT_NE(target, nullptr);
        QTest::mouseClick(target, Qt::LeftButton, {}, at);
    }
};

TEST_F(ChatPageTest, FirstAppendWritesTheTemplateOntoABlankPage) {
    EXPECT_EQ(evaluateText(QStringLiteral("document.documentElement.outerHTML")),
              QStringLiteral("<html><head></head><body></body></html>"));
    EXPECT_TRUE(
        evaluate(QStringLiteral("document.getElementById('chat-container') === null")).toBool());

    form->AddUserMessage(QStringLiteral("hello"), {});
    const QString block = BuildUserMessageHtml(QStringLiteral("hello"), {});
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

TEST_F(ChatPageTest, TemplateHoldsTheStylesInOrder) {
    const QString page = ChatPageTemplate();
    EXPECT_TRUE(page.startsWith(
        QStringLiteral("<!DOCTYPE html><html lang=\"ru\"><head>  <meta http-equiv=\"X-UA-"
                       "Compatible\" content=\"IE=edge\">  <meta charset=\"UTF-8\">")));
    EXPECT_TRUE(page.endsWith(QStringLiteral(
        "  </script></head><body>  <div id=\"chat-container\"></div></body></html>")));
    EXPECT_FALSE(page.contains(u'\n') || page.contains(u'\r'));
    EXPECT_TRUE(page.contains(
        QStringLiteral("  <style>    body { font-family: Segoe UI, sans-serif; line-height: 1.6; "
                       "padding: 16px; color: #212121; background-color: #f5f5f5; font-size: "
                       "18px; }    .message-wrapper {")));
    EXPECT_TRUE(page.contains(QStringLiteral(
        "    .attachments ul { margin: 5px 0 0 0; padding-left: 20px; list-style-type: "
        "\"\U0001F4C1\"; }    .attachments li { margin-bottom: 3px; }")));
    EXPECT_TRUE(page.contains(
        QStringLiteral("font-size: 0.95em; }    code { font-family: inherit; }    "
                       ".generated-image { max-width: 100%; height: auto; border-radius: 8px; }    "
                       ".display-note { font-size: 0.9em; color: #777; }  </style>  "
                       "<script>    function copyCode(btn) {")));
    EXPECT_TRUE(
        page.contains(QStringLiteral("<script>") + ChatPageScript() + QStringLiteral("</script>")));
    EXPECT_TRUE(
        page.contains(QStringLiteral("<style>") + ChatPageStyle() + QStringLiteral("</style>")));
    // Only the page's own script and style, images from the page, the program and the
    // formula service, nothing else from anywhere.
    const QRegularExpression policy(QStringLiteral(
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; script-src "
        "'sha256-[^']+' 'unsafe-hashes' 'sha256-[^']+'; style-src 'sha256-[^']+'; img-src data: "
        "qrc: https://chart.googleapis.com; base-uri 'none'; form-action 'none'\">"));
    EXPECT_TRUE(policy.match(page).hasMatch());
}

TEST_F(ChatPageTest, ContainerHoldsTheAppendedBlocksInOrder) {
    // Appends made while the blank page is still loading wait for it, in order.
    form->ResetChatView();
    QString expected;
    for (int i = 0; i < 30; ++i) {
        const QString text = QStringLiteral("message %1").arg(i);
        form->AddUserMessage(text, {});
        expected += BuildUserMessageHtml(text, {});
        if (i % 10 == 0)
            form->ScrollChatBy(130);
    }
    form->AddUserMessage(QStringLiteral("two\r\nlines"),
                         {QStringLiteral("/tmp/some dir/a.txt"), QStringLiteral("/b.png")});
    expected += BuildUserMessageHtml(QStringLiteral("two\r\nlines"),
                                     {QStringLiteral("a.txt"), QStringLiteral("b.png")});
    form->AddImageMessage(QStringLiteral("image/png"), QStringLiteral("iVBORw0KGgo="));
    expected += BuildImageMessageHtml(QStringLiteral("image/png"), QStringLiteral("iVBORw0KGgo="));
    form->ScrollChatToBottom();
    EXPECT_EQ(container(), expected);
}

TEST_F(ChatPageTest, BlocksHaveTheirExactForm) {
    EXPECT_EQ(MessageTimestamp(), QStringLiteral("14:05:09 - 03.11.2025"));
    EXPECT_EQ(BuildUserMessageHtml(QStringLiteral("hi"),
                                   {QStringLiteral("a.txt"), QStringLiteral("image/png")}),
              QStringLiteral(
                  "<div class=\"message-wrapper user-message\">  <div class=\"message-header\">    "
                  "<strong>👤 Пользователь</strong>    <span class=\"timestamp\">14:05:09 - "
                  "03.11.2025</span>  </div>  <div class=\"message-content\">    <p>hi</p><div "
                  "class=\"attachments\"><strong>Прикрепленные файлы:</strong><ul><li>a.txt</li>"
                  "<li>image/png</li></ul></div>  </div></div>"));
    EXPECT_EQ(BuildImageMessageHtml(QStringLiteral("image/jpeg"), QStringLiteral("AAAA")),
              QStringLiteral("<div class=\"message-wrapper model-message\">  <div "
                             "class=\"message-header\">    <strong>🤖 Gemini (Image)</strong>  "
                             "  <span class=\"timestamp\">14:05:09 - 03.11.2025</span>  </div>  "
                             "<div class=\"message-content\">    <img class=\"generated-image\" "
                             "src=\"data:image/jpeg;base64,AAAA\" alt=\"Generated Image\">  "
                             "</div></div>"));
}

TEST_F(ChatPageTest, WhatTheProgramPutsIntoThePageIsEscaped) {
    EXPECT_EQ(
        EscapeHtml(QStringLiteral("<a href=\"x\" title='y'>&amp;") + QChar(u'\0') +
                   QStringLiteral("</a>")),
        QStringLiteral("&lt;a href=&quot;x&quot; title=&#39;y&#39;&gt;&amp;amp;\uFFFD&lt;/a&gt;"));
    EXPECT_TRUE(BuildUserMessageHtml(QStringLiteral("hi"), {QStringLiteral("<b>&.txt")})
                    .contains(QStringLiteral("<li>&lt;b&gt;&amp;.txt</li>")));
    EXPECT_TRUE(BuildImageMessageHtml(QStringLiteral("image/png\"><b"), QStringLiteral("A\"B"))
                    .contains(QStringLiteral(
                        "src=\"data:image/png&quot;&gt;&lt;b;base64,A&quot;B\" alt=")));
    // Remote images become links; the formula service's images stay images.
    const QString answer =
        BuildModelMessageHtml(QStringLiteral("![plot](http://host/p.png) $x^2$"));
    EXPECT_TRUE(answer.contains(
        QStringLiteral("<a href=\"http://host/p.png\">plot: http://host/p.png</a>")));
    EXPECT_TRUE(answer.contains(QStringLiteral("<img src=\"https://chart.googleapis.com/chart")));
}

// Up to 2 MiB of a message's UTF-8 text is shown whole; beyond, the start and a note.
TEST_F(ChatPageTest, LongMessagesAreShownInPart) {
    const qsizetype limit = MessageDisplayLimitBytes;
    const QString note = QStringLiteral("<p class=\"display-note\">");
    const struct {
        const char* name;
        QString text;
        const char16_t* shownNote; // nullptr: shown whole
        qsizetype shownUnits;
    } cases[] = {
        {"ASCII at the limit", QString(limit, u'a'), nullptr, limit},
        {"ASCII one byte over", QString(limit + 1, u'a'), u"показано 2048 из 2049 КБ", limit},
        {"Cyrillic over", QString(limit, u'ж'), u"показано 2048 из 4096 КБ", limit / 2},
        {"a pair across the limit", QString(limit - 2, u'a') + QStringLiteral("\U0001F600"),
         u"показано 2047 из 2049 КБ", limit - 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString html = BuildUserMessageHtml(c.text, {});
        if (!c.shownNote) {
            EXPECT_FALSE(html.contains(note));
            EXPECT_TRUE(html.contains(c.text));
            continue;
        }
        EXPECT_TRUE(html.contains(QStringLiteral("    <p>") + c.text.first(c.shownUnits) +
                                  QStringLiteral("</p>") + note + QString::fromUtf16(c.shownNote) +
                                  QStringLiteral("</p>")));
        EXPECT_TRUE(BuildModelMessageHtml(c.text).contains(QString::fromUtf16(c.shownNote)));
    }
}

TEST_F(ChatPageTest, AnswersAreConvertedFromMarkdown) {
    EXPECT_EQ(BuildModelMessageHtml(QStringLiteral("Hello **world**")),
              QStringLiteral("<div class=\"message-wrapper model-message\">  <div "
                             "class=\"message-header\">    <strong>🤖 Gemini</strong>    <span "
                             "class=\"timestamp\">14:05:09 - 03.11.2025</span>  </div>  <div "
                             "class=\"message-content\"><p>Hello <strong>world</strong></p>\n"
                             "</div></div>"));
    const QString twoBlocks =
        BuildModelMessageHtml(QStringLiteral("```\na\n```\n\ntext\n\n```python\nb\n```"));
    EXPECT_EQ(twoBlocks.count(QStringLiteral("<div class=\"code-block-container\">")), 2);
    EXPECT_EQ(twoBlocks.count(QStringLiteral("</pre></div>")), 2);
}

TEST_F(ChatPageTest, PromptEscapesOnlyAnglesAndLineBreaks) {
    const struct {
        const char16_t* text;
        const char16_t* escaped;
    } cases[] = {
        {u"a < b > c", u"a &lt; b &gt; c"},
        {u"x &amp; y", u"x &amp; y"},
        {u"one\r\ntwo\r\n\r\nthree", u"one<br>two<br><br>three"},
        {u"lone\rcr\nlf", u"lone\rcr\nlf"},
        {u"<script>alert(1)</script>", u"&lt;script&gt;alert(1)&lt;/script&gt;"},
    };
    for (const auto& c : cases) {
        const QString html = BuildUserMessageHtml(QString::fromUtf16(c.text), {});
        EXPECT_TRUE(html.contains(QStringLiteral("    <p>") + QString::fromUtf16(c.escaped) +
                                  QStringLiteral("</p>  </div></div>")))
            << html.toStdString();
    }

    // What the user sees: the characters as typed, the entity as its character, and
    // the same line breaks.
    form->AddUserMessage(QStringLiteral("a <b> & c &amp; d\r\nnext line"), {});
    EXPECT_EQ(evaluateText(QStringLiteral(
                  "document.querySelector('.user-message .message-content p').innerText")),
              QStringLiteral("a <b> & c & d\nnext line"));
}

TEST_F(ChatPageTest, CodeBlocksAreWrappedOnceEach) {
    const QString open = QStringLiteral(
        "<div class=\"code-block-container\">  <div class=\"code-header\">    code    <button "
        "class=\"copy-btn\" onclick=\"copyCode(this)\">Копировать</button>  </div>");
    const struct {
        const char* html;
        QString wrapped;
    } cases[] = {
        {"<p>no code</p>", QStringLiteral("<p>no code</p>")},
        {"a<pre>1</pre>b<pre>2</pre>c", QStringLiteral("a") + open +
                                            QStringLiteral("<pre>1</pre></div>b") + open +
                                            QStringLiteral("<pre>2</pre></div>c")},
        {"<pre>open only", QStringLiteral("<pre>open only")},
        {"<pre>1</pre><pre>open only", open + QStringLiteral("<pre>1</pre></div><pre>open only")},
        {"<pre class=\"x\">attributes</pre>", QStringLiteral("<pre class=\"x\">attributes</pre>")},
        {"<PRE>upper</PRE>", QStringLiteral("<PRE>upper</PRE>")},
        {"<pre><pre>in</pre></pre>", open + QStringLiteral("<pre><pre>in</pre></div></pre>")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WrapCodeBlocks(QString::fromUtf8(c.html)), c.wrapped) << c.html;
}

TEST_F(ChatPageTest, CopyButtonCopiesItsOwnBlock) {
    form->AddModelMessage(QStringLiteral(
        "Two blocks:\n\n```\nfirst block\n```\n\nbetween\n\n```cpp\nsecond\nblock\n```\n"));
    ASSERT_EQ(evaluate(QStringLiteral("document.querySelectorAll('.copy-btn').length")).toInt(), 2);
    // The page notes when each button's label changes, so the two seconds are measured
    // on the page's own clock.
    evaluate(QStringLiteral(
        "window.labels = []; document.querySelectorAll('.copy-btn').forEach((b, i) => new "
        "MutationObserver(() => window.labels.push([i, b.innerText, performance.now()]))"
        ".observe(b, {childList: true, characterData: true, subtree: true})); 0"));
    QGuiApplication::clipboard()->clear();

    click(QStringLiteral(".code-block-container:nth-of-type(2) .copy-btn"));
    EXPECT_TRUE(QTest::qWaitFor(
        [] { return QGuiApplication::clipboard()->text() == QStringLiteral("second\nblock\n"); },
        kPageTimeoutMs))
        << QGuiApplication::clipboard()->text().toStdString();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return evaluate(QStringLiteral("window.labels.length")).toInt() >= 2; },
        kPageTimeoutMs));
    const QVariantList labels = evaluate(QStringLiteral("window.labels")).toList();
    ASSERT_EQ(labels.size(), 2);
    const QVariantList shown = labels[0].toList();
    const QVariantList restored = labels[1].toList();
    EXPECT_EQ(shown[0].toInt(), 1);
    EXPECT_EQ(shown[1].toString(), QStringLiteral("Скопировано!"));
    EXPECT_EQ(restored[0].toInt(), 1);
    EXPECT_EQ(restored[1].toString(), QStringLiteral("Копировать"));
    EXPECT_NEAR(restored[2].toDouble() - shown[2].toDouble(), 2000.0, 250.0);

    // A second click while the label shows "Скопировано!" still ends with the label back.
    click(QStringLiteral(".copy-btn"));
    QTest::qWait(300);
    click(QStringLiteral(".copy-btn"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return evaluateText(QStringLiteral(
                       "document.querySelector('.copy-btn').innerText + window.labels.length")) ==
                   QStringLiteral("Копировать5");
        },
        kPageTimeoutMs));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("first block\n"));
}

TEST_F(ChatPageTest, ImageDescriptionsBecomeImageBlocks) {
    EXPECT_EQ(BuildModelMessageHtml(
                  QStringLiteral("{\"mime_type\":\"image/png\",\"base64_data\":\"iVBO\"}")),
              BuildImageMessageHtml(QStringLiteral("image/png"), QStringLiteral("iVBO")));
    // Without a string "base64_data" the answer is not an image description.
    for (const char* json :
         {"{\"mime_type\":\"image/png\"}", "{\"mime_type\":\"image/png\",\"base64_data\":7}",
          "{\"mime_type\":null,\"base64_data\":\"iVBO\"}"}) {
        const QString html = BuildModelMessageHtml(QString::fromUtf8(json));
        EXPECT_TRUE(html.contains(QStringLiteral("<strong>🤖 Gemini</strong>"))) << json;
        EXPECT_TRUE(html.contains(QStringLiteral("<p>{"))) << html.toStdString();
        EXPECT_FALSE(html.contains(QStringLiteral("<img"))) << json;
    }
}

TEST_F(ChatPageTest, RenderHistoryShowsTheSavedConversation) {
    geminiDM->ChatHistory() = {
        {QStringLiteral("user"),
         {MakeTextPart(QStringLiteral("look ")), MakeTextPart(QStringLiteral("here")),
          MakeInlinePart(QStringLiteral("image/png"), "AAAA"),
          MakeInlinePart(QStringLiteral("text/plain"), "QQ==", QStringLiteral("notes.txt"))}},
        {QStringLiteral("model"), {MakeInlinePart(QStringLiteral("image/png"), "iVBO")}},
        {QStringLiteral("system"), {MakeTextPart(QStringLiteral("never shown"))}},
        {QStringLiteral("model"),
         {MakeTextPart(QStringLiteral("**caption**")),
          MakeInlinePart(QStringLiteral("image/png"), "iVBO")}},
        {QStringLiteral("model"), {}},
    };
    form->ResetChatView();
    form->RenderHistory();
    const QString expected =
        BuildUserMessageHtml(QStringLiteral("look here"),
                             {QStringLiteral("image/png"), QStringLiteral("notes.txt")}) +
        BuildImageMessageHtml(QStringLiteral("image/png"), QStringLiteral("iVBO")) +
        BuildModelMessageHtml(QStringLiteral("**caption**")) + BuildModelMessageHtml(QString());
    EXPECT_EQ(container(), expected);
    EXPECT_EQ(evaluate(QStringLiteral("window.scrollY")).toInt(), 0);
}

TEST_F(ChatPageTest, ResetEmptiesThePromptAndAttachmentsAndBlanksThePage) {
    form->AddUserMessage(QStringLiteral("before"), {});
    ASSERT_FALSE(container().isEmpty());
    form->memoPrompt->setPlainText(QStringLiteral("draft"));
    form->ListBox1->addItem(QStringLiteral("a.txt"));
    form->lbFiles1->addItem(QStringLiteral("/tmp/a.txt"));
    form->UpdateContextTokens();
    ASSERT_NE(form->ContextChatTokensLabel->text(), QStringLiteral("0"));

    // A block asked for while the blank page is still loading belongs to the chat
    // that a second reset throws away.
    form->ResetChatView();
    form->AddUserMessage(QStringLiteral("thrown away"), {});
    form->ResetChatView();
    EXPECT_TRUE(form->memoPrompt->toPlainText().isEmpty());
    EXPECT_EQ(form->ListBox1->count(), 0);
    EXPECT_EQ(form->lbFiles1->count(), 0);
    EXPECT_EQ(form->ContextChatTokensLabel->text(), QStringLiteral("0"));
    EXPECT_EQ(evaluateText(QStringLiteral("document.documentElement.outerHTML")),
              QStringLiteral("<html><head></head><body></body></html>"));

    form->AddUserMessage(QStringLiteral("after"), {});
    EXPECT_EQ(container(), BuildUserMessageHtml(QStringLiteral("after"), {}));
}

TEST_F(ChatPageTest, AnotherPageTakesNoBlocksUntilReset) {
    form->AddUserMessage(QStringLiteral("chat"), {});
    ASSERT_FALSE(container().isEmpty());
    QFile help(programDir.filePath(QStringLiteral("AddKey.html")));
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.write("<html><body><p id=\"help\">key help</p></body></html>");
    help.close();
    form->WebBrowser1->setUrl(QUrl::fromLocalFile(help.fileName()));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return evaluateText(QStringLiteral("document.body ? document.body.innerText : ''")) ==
                   QStringLiteral("key help");
        },
        kPageTimeoutMs));

    form->AddUserMessage(QStringLiteral("lost"), {});
    form->ScrollChatToBottom();
    EXPECT_EQ(evaluateText(QStringLiteral("document.body.innerText")), QStringLiteral("key help"));

    form->ResetChatView();
    form->AddUserMessage(QStringLiteral("new chat"), {});
    EXPECT_EQ(container(), BuildUserMessageHtml(QStringLiteral("new chat"), {}));
}

TEST_F(ChatPageTest, KeyHelpPageLinksOpenInTheBrowser) {
    LinkCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    QFile help(programDir.filePath(QStringLiteral("AddKey.html")));
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.write("<html><body><a href=\"https://example.com/apikey\">get a key</a></body></html>");
    help.close();
    form->WebBrowser1->setUrl(QUrl::fromLocalFile(help.fileName()));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return evaluate(QStringLiteral("document.links.length")).toInt() == 1; },
        kPageTimeoutMs));
    click(QStringLiteral("a"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !catcher.opened.isEmpty(); }, kPageTimeoutMs));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    EXPECT_EQ(catcher.opened, QList<QUrl>{QUrl(QStringLiteral("https://example.com/apikey"))});
    EXPECT_EQ(form->WebBrowser1->url(), QUrl::fromLocalFile(help.fileName()));
}

TEST_F(ChatPageTest, ScrollingMovesThePage) {
    QString tall;
    for (int i = 0; i < 60; ++i)
        tall += BuildUserMessageHtml(QStringLiteral("line %1").arg(i), {});
    form->AppendHtml(tall);
    ASSERT_EQ(evaluate(QStringLiteral("window.scrollY")).toInt(), 0);

    form->ScrollChatBy(130);
    EXPECT_EQ(evaluate(QStringLiteral("window.scrollY")).toInt(), 130);

    form->DownBut->click();
    EXPECT_EQ(evaluate(QStringLiteral("Math.ceil(window.scrollY + window.innerHeight) >= "
                                      "document.documentElement.scrollHeight"))
                  .toBool(),
              true);
}

TEST_F(ChatPageTest, AnswerMarkupCannotRunScript) {
    const QString title = evaluateText(QStringLiteral("document.title"));
    // Raw HTML that reaches the page through the converter, and markup put into the
    // container as it stands.
    form->AddModelMessage(QStringLiteral("<img src=x onerror=\"document.title=1\">"));
    form->AppendHtml(QStringLiteral("<img src=x onerror=\"document.title='x'\"><svg><image "
                                    "href=\"y\" onerror=\"document.title='y'\"></image></svg>"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return evaluate(QStringLiteral("document.images.length == 2 && "
                                           "Array.from(document.images).every(i => i.complete)"))
                .toBool();
        },
        kPageTimeoutMs));
    QTest::qWait(200);
    EXPECT_EQ(evaluateText(QStringLiteral("document.title")), title);
}

TEST_F(ChatPageTest, ClickedLinkOpensOutsideAndThePageStays) {
    LinkCatcher catcher;
    for (const QString& scheme : {QStringLiteral("https"), QStringLiteral("file")})
        QDesktopServices::setUrlHandler(scheme, &catcher, "open");
    form->AddModelMessage(QStringLiteral(
        "Open [a local file](file:///etc/hostname) or see [the documentation]"
        "(https://example.com/docs) or <a href=\"https://example.com/new\" target=\"_blank\">"
        "a new window</a> or [jump](#top)."));
    // A local file is not handed to the desktop; a web link is, one meant for a new
    // window too.
    click(QStringLiteral(".message-content a[href^=file]"));
    click(QStringLiteral(".message-content a[href$=docs]"));
    click(QStringLiteral(".message-content a[href$=new]"));
    click(QStringLiteral(".message-content a[href^=\"#\"]"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return catcher.opened.size() >= 2; }, kPageTimeoutMs));
    QTest::qWait(300);
    for (const QString& scheme : {QStringLiteral("https"), QStringLiteral("file")})
        QDesktopServices::unsetUrlHandler(scheme);
    EXPECT_EQ(catcher.opened, (QList<QUrl>{QUrl(QStringLiteral("https://example.com/docs")),
                                           QUrl(QStringLiteral("https://example.com/new"))}));

    EXPECT_TRUE(container().contains(QStringLiteral("the documentation</a>")));
    EXPECT_EQ(form->WebBrowser1->url(), QUrl(QStringLiteral("about:blank")));
}

} // namespace

#include "ChatPageTest.moc"
