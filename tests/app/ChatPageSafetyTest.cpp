// Hostile answers against the real web view: nothing in an answer may take the page away
// or make the web engine contact a host. Every request the engine makes is recorded on
// its profile, and the host the answers point at is a real server on loopback.
#include "app/ChatPage.h"
#include "page/ChatPageTemplate.h"
#include "FakeModelService.h"
#include "chat/GeminiDM.h"
#include "LinkCatcher.h"
#include "LoopbackHost.h"
#include "app/MainWindow.h"
#include "page/MessageBlocks.h"
#include "PageTest.h"
#include "app/PromptEdit.h"
#include "RequestRecorder.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>


namespace {

class ChatPageSafetyTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        profile()->setUrlRequestInterceptor(&recorder);
        for (const char* scheme : {"http", "https"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &browser, "open");
    }

    void TearDown() override {
        for (const char* scheme : {"http", "https"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        profile()->setUrlRequestInterceptor(nullptr);
        PageTest::TearDown();
    }

    QWebEngineProfile* profile() const {
        return control<QWebEngineView>("WebBrowser1")->page()->profile();
    }

    // Waits until every image of the page has loaded or failed.
    void waitForImages() {
        ASSERT_TRUE(WaitUntil(
            [&] {
                return evaluate(
                           QStringLiteral("Array.from(document.images).every(i => i.complete)"))
                    .toBool();
            },
            kPageTimeoutMs));
    }

    // Still the program's document, its container starting as it did, and visible.
    void expectOurPage(const QString& containerStart) {
        EXPECT_EQ(control<QWebEngineView>("WebBrowser1")->url(),
                  QUrl(QStringLiteral("about:blank")));
        EXPECT_TRUE(container().startsWith(containerStart));
        EXPECT_EQ(evaluateText(QStringLiteral(
                      "document.querySelector('meta[http-equiv=Content-Security-Policy]')"
                      ".content")),
                  ChatPageTemplate()
                      .section(QStringLiteral("Content-Security-Policy\" content=\""), 1)
                      .section(u'"', 0, 0));
        EXPECT_EQ(evaluateText(QStringLiteral("getComputedStyle(document.body).display + ' ' + "
                                              "getComputedStyle(document.querySelector("
                                              "'.message-wrapper')).display")),
                  QStringLiteral("block block"));
    }

    void expectNothingFetched() {
        EXPECT_EQ(host.connections, 0) << host.requestLines.join(u'\n').toStdString();
        EXPECT_EQ(QUrl::toStringList(recorder.beyondTheProgram()).join(u' ').toStdString(), "");
        EXPECT_EQ(QUrl::toStringList(browser.opened).join(u' ').toStdString(), "");
    }

    LinkCatcher browser;
    RequestRecorder recorder;
    LoopbackHost host;
};

// Every kind of hostile markup is an answer of its own on one page, so one wait covers
// whatever any of them would start.
TEST_F(ChatPageSafetyTest, HostileMarkupFetchesNothingAndLeavesThePage) {
    const struct {
        const char* name;
        QString answer;
        // True on the page, with m the answer's block, when the markup was shown but had
        // no effect.
        const char* harmless;
    } cases[] = {
        {"meta refresh",
         QStringLiteral("Wait.<meta http-equiv=\"refresh\" content=\"0;url=%1\">")
             .arg(host.url(QStringLiteral("refresh"))),
         "true"},
        {"location assignment",
         QStringLiteral("<img src=\"data:,\" onerror=\"location='%1'\"><svg><image "
                        "href=\"data:,\" onerror=\"location.href='%1'\"/></svg>")
             .arg(host.url(QStringLiteral("location"))),
         "true"},
        {"img", QStringLiteral("<img src=\"%1\">").arg(host.url(QStringLiteral("img"))),
         "m.querySelectorAll('img').length == 1"},
        {"Markdown image",
         QStringLiteral("![chart](%1)").arg(host.url(QStringLiteral("markdown.png"))),
         "m.querySelectorAll('img').length == 0 && "
         "m.querySelector('a').innerText.endsWith('/markdown.png')"},
        {"srcset",
         QStringLiteral("<img srcset=\"%1 1x, %1 2x\">").arg(host.url(QStringLiteral("srcset"))),
         "true"},
        {"style block",
         QStringLiteral("<style>body{display:none} .message-wrapper{background:url(%1)}</style>")
             .arg(host.url(QStringLiteral("style"))),
         "getComputedStyle(m).backgroundImage == 'none'"},
        {"style attribute",
         QStringLiteral("<b id=\"s\" style=\"display:none;background:url(%1)\">bold</b>")
             .arg(host.url(QStringLiteral("style-attribute"))),
         "getComputedStyle(m.querySelector('#s')).display == 'inline'"},
        {"SVG image",
         QStringLiteral("<svg><image href=\"%1\" width=\"9\" height=\"9\"/></svg>")
             .arg(host.url(QStringLiteral("svg"))),
         "true"},
        {"media and preload",
         QStringLiteral(
             "<video poster=\"%1\" src=\"%1\"></video><link rel=\"preload\" as=\"image\" "
             "href=\"%1\"><link rel=\"stylesheet\" href=\"%1\"><link rel=\"preconnect\" "
             "href=\"%1\"><link rel=\"prefetch\" href=\"%1\">")
             .arg(host.url(QStringLiteral("media"))),
         "true"},
        {"TeX links and images",
         QStringLiteral("$\\href{%1}{x}$ $$\\url{%1}$$ \\(\\includegraphics{%1}\\)")
             .arg(host.url(QStringLiteral("tex"))),
         "m.querySelectorAll('.katex').length == 3 && "
         "m.querySelectorAll('.katex a, .katex img').length == 0"},
        {"markup in highlighted code",
         QStringLiteral("```html\n<img src=\"%1\" onerror=\"location='%1'\">\n```")
             .arg(host.url(QStringLiteral("code"))),
         "m.querySelectorAll('code.hljs span').length > 0 && "
         "m.querySelectorAll('pre img').length == 0"},
        {"image answer MIME type",
         QStringLiteral("{\"mime_type\":\"image/png\\\"><img src=\\\"%1\\\">\","
                        "\"base64_data\":\"iVBO\\\" srcset=\\\"%1\"}")
             .arg(host.url(QStringLiteral("mime"))),
         "m.querySelectorAll('img').length == 1 && "
         "m.querySelector('img').getAttribute('src').startsWith('data:image/png\"><img')"},
    };
    form->ResetChatView();
    form->View().AddUserMessage(QStringLiteral("question"), {});
    for (const auto& c : cases)
        form->View().AddModelMessage(c.answer);
    ASSERT_TRUE(WaitUntil(
        [&] {
            return evaluate(QStringLiteral("document.querySelectorAll('.model-message').length"))
                       .toInt() == int(std::size(cases));
        },
        kPageTimeoutMs));
    waitForImages();
    RunEventsFor(kRefreshWaitMs);
    expectOurPage(BuildUserMessageHtml(QStringLiteral("question"), {}));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        // Formulas and code are typeset once the page's libraries have loaded.
        const QString check = QStringLiteral("(m => %1)(document.querySelectorAll("
                                             "'.model-message')[%2])")
                                  .arg(QString::fromLatin1(cases[i].harmless))
                                  .arg(i);
        EXPECT_TRUE(WaitUntil([&] { return evaluate(check).toBool(); }, kPageTimeoutMs));
    }
    expectNothingFetched();
}

TEST_F(ChatPageSafetyTest, AnswerFromTheServiceCannotRefreshThePage) {
    FakeModelService service;
    geminiDM->SetBaseUrl(QString::fromStdString(service.baseUrl()));
    const QString answer = QStringLiteral("Done.<meta http-equiv=\"refresh\" content=\"0;url=%1\">")
                               .arg(host.url(QStringLiteral("refresh")));
    const QJsonObject part{{QStringLiteral("text"), answer}};
    const QJsonObject content{{QStringLiteral("parts"), QJsonArray{part}}};
    const QJsonObject candidate{{QStringLiteral("content"), content}};
    service.reply(FakeReply::events(
        {{"data: " +
          QJsonDocument(QJsonObject{{QStringLiteral("candidates"), QJsonArray{candidate}}})
              .toJson(QJsonDocument::Compact)
              .toStdString() +
          "\n\n"}}));
    control<QComboBox>("editApiKey")->setEditText(QStringLiteral("KEY"));
    control<QComboBox>("cbModels")->setEditText(QStringLiteral("gemini-2.5-flash"));
    control<PromptEdit>("memoPrompt")->setPlainText(QStringLiteral("question"));
    control<QPushButton>("btnSend")->click();
    // Idle again: the button sends rather than stops.
    ASSERT_TRUE(WaitUntil(
        [&] {
            const QPushButton* send = control<QPushButton>("btnSend");
            return send->isEnabled() && send->text() == QStringLiteral("Отправить");
        },
        kPageTimeoutMs));
    ASSERT_TRUE(container().contains(QStringLiteral("Done.")));

    RunEventsFor(kRefreshWaitMs);
    expectOurPage(BuildUserMessageHtml(QStringLiteral("question"), {}));
    EXPECT_TRUE(container().contains(QStringLiteral("Done.")));
    expectNothingFetched();
}

// A script that got past the content policy still cannot take the page anywhere.
TEST_F(ChatPageSafetyTest, PageRefusesNavigationsItStartsItself) {
    geminiDM->ChatHistory() = {
        {QStringLiteral("user"), {MakeTextPart(QStringLiteral("question"))}}};
    form->ResetChatView();
    form->View().RenderHistory();
    // A message without a stored time shows none.
    const QString firstBlock = BuildUserMessageHtml(QStringLiteral("question"), {}, {});
    const QString away = host.url(QStringLiteral("away"));
    for (const QString& script :
         {QStringLiteral("location.href = '%1'"), QStringLiteral("location.replace('%1')"),
          QStringLiteral("var f = document.createElement('form'); f.method = 'post'; "
                         "f.action = '%1'; document.body.appendChild(f); f.submit()"),
          QStringLiteral("window.open('%1')"), QStringLiteral("location.reload()"),
          QStringLiteral("history.back()"), QStringLiteral("location = 'about:blank'"),
          QStringLiteral("var m = document.createElement('meta'); m.httpEquiv = 'refresh'; "
                         "m.content = '0;url=about:blank'; document.head.appendChild(m)"),
          QStringLiteral("var m = document.createElement('meta'); m.httpEquiv = 'refresh'; "
                         "m.content = '0;url=%1'; document.head.appendChild(m)")}) {
        SCOPED_TRACE(script.toStdString());
        evaluate((script.contains(QStringLiteral("%1")) ? script.arg(away) : script) +
                 QStringLiteral("; 0"));
        RunEventsFor(script.contains(u"refresh") ? kRefreshWaitMs : 200);
        // An empty page in place of the chat is only seen once it has loaded; the chat
        // is then shown again.
        EXPECT_TRUE(WaitUntil([&] { return container().startsWith(firstBlock); }, kPageTimeoutMs));
        expectOurPage(firstBlock);
        expectNothingFetched();
    }
}

TEST_F(ChatPageSafetyTest, AttachmentNamesAreText) {
    const QString name = QStringLiteral("<img src=%1>.txt").arg(host.url(QStringLiteral("leak")));
    const QString mimeType =
        QStringLiteral("x\"><img src=\"%1\">").arg(host.url(QStringLiteral("mime")));
    geminiDM->ChatHistory() = {
        {QStringLiteral("user"),
         {MakeTextPart(QStringLiteral("see")),
          MakeInlinePart(QStringLiteral("text/plain"), "QQ==", name),
          MakeInlinePart(mimeType, "QQ==")}},
    };
    form->ResetChatView();
    form->View().RenderHistory();
    waitForImages();
    RunEventsFor(100);
    EXPECT_EQ(evaluateText(QStringLiteral("Array.from(document.querySelectorAll('.attachments "
                                          "li')).map(l => l.innerText).join('|')")),
              name + u'|' + mimeType);
    EXPECT_EQ(evaluate(QStringLiteral("document.images.length")).toInt(), 0);
    expectOurPage(QStringLiteral("<div class=\"message-wrapper user-message\">"));
    expectNothingFetched();
}

} // namespace
