// Export from the chat list's popup menu: the real window, the real web engine, files in a
// temporary folder and a scripted save dialog.
#include "LoopbackHost.h"
#include "OrdinaryUser.h"
#include "PageTest.h"
#include "RequestRecorder.h"
#include "app/MainWindow.h"
#include "chat/GeminiDM.h"
#include "page/ChatExport.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>

#include <sys/stat.h>

namespace {

constexpr int kWaitMs = 20000;

class ExportTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        THistoryItem question{
            QStringLiteral("user"),
            {MakeTextPart(QStringLiteral("Нарисуй таблицу\nи формулу")),
             MakeInlinePart(QStringLiteral("text/plain"), "QQ==", QStringLiteral("notes.txt"))}};
        question.Time = QDateTime(QDate(2025, 3, 1), QTime(14, 25, 30));
        geminiDM->ChatHistory() = {
            question,
            {QStringLiteral("model"),
             {MakeTextPart(QStringLiteral("| a | b |\n|---|---|\n| 1 | 2 |\n\nФормула $x^2$ и "
                                          "![рисунок](http://127.0.0.1:9/p.png)\n\n$$\\frac{1}"
                                          "{2}$$\n\n```cpp\nint x; // 中文 😀\n```"))}},
            {QStringLiteral("model"), {MakeInlinePart(QStringLiteral("image/png"), "iVBO")}},
        };
    }

    // Exports the open chat to the file the save dialog is given.
    void startExport(const QString& name) {
        dialogs.saveSelections.append(workingDir.filePath(name));
        control<QAction>("actExportChat")->trigger();
    }

    // The same, and waits until it is written.
    void exportTo(const QString& name) {
        startExport(name);
        ASSERT_TRUE(
            WaitUntil([&] { return form->StatusText().startsWith(u"Чат сохранён"); }, kWaitMs))
            << form->StatusText().toStdString();
    }

    QByteArray fileBytes(const QString& name) const {
        QFile file(workingDir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A browser of its own that records every request it makes, as one the exported file
    // is opened in.
    struct Browser {
        QWebEngineProfile profile;
        RequestRecorder recorder;
        QWebEngineView view;
        QWebEnginePage* page = new QWebEnginePage(&profile, &view);

        Browser() {
            profile.setUrlRequestInterceptor(&recorder);
            view.setPage(page);
            view.resize(1000, 800);
            view.show();
        }
        ~Browser() {
            view.setPage(nullptr);
            delete page;
        }
        Browser(const Browser&) = delete;
        Browser& operator=(const Browser&) = delete;
    };

    static QVariant evaluateIn(Browser& browser, const QString& script) {
        std::optional<QVariant> result;
        browser.page->runJavaScript(script, [&](const QVariant& value) { result = value; });
        EXPECT_TRUE(WaitUntil([&] { return result.has_value(); }, kWaitMs));
        return result.value_or(QVariant());
    }

    // Opens the file in the browser; the text of its chat once every image has loaded or
    // failed.
    QString open(Browser& browser, const QString& path) {
        QSignalSpy loaded(browser.page, &QWebEnginePage::loadFinished);
        browser.page->load(QUrl::fromLocalFile(path));
        EXPECT_TRUE(WaitUntil([&] { return !loaded.isEmpty(); }, kWaitMs));
        EXPECT_TRUE(!loaded.isEmpty() && loaded.first().first().toBool());
        std::optional<QVariant> text;
        browser.page->runJavaScript(
            QStringLiteral("Array.from(document.images).every(i => i.complete) && "
                           "document.getElementById('chat-container').innerText"),
            [&](const QVariant& value) { text = value; });
        EXPECT_TRUE(WaitUntil([&] { return text.has_value(); }, kWaitMs));
        return text.value_or(QVariant()).toString();
    }
};

TEST_F(ExportTest, MarkdownIsTheConversationWithHeadings) {
    exportTo(QStringLiteral("chat.md"));
    ASSERT_EQ(dialogs.saveDialogs.size(), 1);
    EXPECT_EQ(dialogs.saveDialogs[0][2],
              QStringLiteral("Markdown (*.md);;HTML (*.html);;PDF (*.pdf)"));
    EXPECT_EQ(fileBytes(QStringLiteral("chat.md")),
              ConversationMarkdown(geminiDM->ChatHistory()).toUtf8());
    EXPECT_TRUE(form->StatusText().startsWith(QStringLiteral("Чат сохранён: ")));
}

// The exported page, opened in a browser of its own, shows what the chat page shows,
// formulas and code typeset as there, and asks for nothing but itself: KaTeX's fonts are
// inside it, and it needs no script.
TEST_F(ExportTest, HtmlIsTypesetOfflineAndShowsTheSameText) {
    exportTo(QStringLiteral("chat.html"));
    const QString path = workingDir.filePath(QStringLiteral("chat.html"));
    EXPECT_FALSE(fileBytes(QStringLiteral("chat.html")).toLower().contains("<script"));

    form->ResetChatView();
    form->View().RenderHistory();
    ASSERT_TRUE(WaitUntil(
        [&] { return evaluate(QStringLiteral("document.querySelectorAll('.katex').length")) == 2; },
        kWaitMs));
    // The messages' action bars belong to the window's page, not to the chat.
    const QString shown = evaluateText(
        QStringLiteral("document.querySelectorAll('.message-actions').forEach(b => b.remove()); "
                       "document.getElementById('chat-container').innerText"));

    Browser browser;
    const QString text = open(browser, path);
    // The copy buttons need the page's script, which the file does without.
    EXPECT_EQ(text, QString(shown).remove(QStringLiteral("\nКопировать")));
    EXPECT_EQ(evaluateIn(browser, QStringLiteral("[document.querySelectorAll('.math-inline "
                                                 ".katex, .math-display .katex-display').length, "
                                                 "document.querySelectorAll('pre code.hljs "
                                                 "span[class^=hljs-]').length > 0, "
                                                 "document.scripts.length]"))
                  .toList(),
              QVariantList({2, true, 0}));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return evaluateIn(browser, QStringLiteral("document.fonts.status == 'loaded' && "
                                                      "Array.from(document.fonts).some(f => "
                                                      "f.family == 'KaTeX_Main' && f.status == "
                                                      "'loaded')"))
                .toBool();
        },
        kWaitMs));
    EXPECT_EQ(QUrl::toStringList(browser.recorder.urls()),
              QStringList{QUrl::fromLocalFile(path).toString()});
}

// An answer holding every kind of markup that fetches, refreshes or navigates, exported and
// opened in a browser of its own: it asks for nothing but the file itself, and nothing
// connects to the host the markup names.
TEST_F(ExportTest, HtmlOfAnAnswerWithActiveContentFetchesNothing) {
    LoopbackHost host;
    const QString answer =
        QStringLiteral(
            "Начало ответа.<meta http-equiv=\"refresh\" content=\"0;url=%1refresh\">\n\n"
            "<img src=\"%1img\"> <img srcset=\"%1srcset 1x, %1srcset2 2x\"> "
            "<picture><source srcset=\"%1source\"><img src=\"data:,\"></picture>\n\n"
            "<link rel=\"stylesheet\" href=\"%1css\"><link rel=\"preconnect\" href=\"%1\">"
            "<link rel=\"prefetch\" href=\"%1prefetch\"><link rel=\"preload\" as=\"image\" "
            "href=\"%1preload\"><link rel=\"icon\" href=\"%1icon\">\n\n"
            "<iframe src=\"%1iframe\"></iframe><iframe srcdoc=\"&lt;meta http-equiv=refresh "
            "content='0;url=%1srcdoc'&gt;\"></iframe>\n\n"
            "<script src=\"%1script\"></script><img src=\"data:,\" "
            "onerror=\"location='%1onerror'\">\n\n"
            "<form action=\"%1form\" method=\"post\"><input name=\"q\" autofocus>"
            "<button>Отправить</button></form>\n\n"
            "<base href=\"%1\"><img src=\"relative.png\">\n\n"
            "<object data=\"%1object\"></object><embed src=\"%1embed\">\n\n"
            "<div style=\"background:url(%1style-attribute)\">фон</div>"
            "<style>@import url(%1import); body { background: url(%1style) } @font-face { "
            "font-family: f; src: url(%1font) } p { font-family: f }</style>\n\n"
            "<svg><image href=\"%1svg\" width=\"9\" height=\"9\"/><use "
            "href=\"%1use#a\"/></svg>\n\n"
            "<video poster=\"%1poster\" src=\"%1video\"></video><audio src=\"%1audio\" "
            "autoplay></audio><video><source src=\"%1source-video\"><track "
            "src=\"%1track\"></video>\n\n"
            "<input type=\"image\" src=\"%1input\"><table background=\"%1table\"><tr>"
            "<td>ячейка</td></tr></table>\n\n"
            "![рисунок](%1markdown.png) <a ping=\"%1ping\" href=\"%1link\">ссылка</a>\n\n"
            "Конец ответа.")
            .arg(host.url(QString()));
    geminiDM->ChatHistory() = {{QStringLiteral("user"), {MakeTextPart(QStringLiteral("Вопрос"))}},
                               {QStringLiteral("model"), {MakeTextPart(answer)}}};
    exportTo(QStringLiteral("active.html"));
    const QString path = workingDir.filePath(QStringLiteral("active.html"));

    Browser browser;
    const QString text = open(browser, path);
    RunEventsFor(kRefreshWaitMs);
    EXPECT_TRUE(text.contains(QStringLiteral("Начало ответа.")));
    EXPECT_TRUE(text.contains(QStringLiteral("Конец ответа.")));
    EXPECT_EQ(host.connections, 0) << host.requestLines.join(u'\n').toStdString();
    EXPECT_EQ(QUrl::toStringList(browser.recorder.urls()),
              QStringList{QUrl::fromLocalFile(path).toString()});
    EXPECT_EQ(browser.page->url(), QUrl::fromLocalFile(path));
}

// Printed from the typeset page: KaTeX's fonts are in the PDF.
TEST_F(ExportTest, PdfIsPrintedFromTheTypesetPage) {
    exportTo(QStringLiteral("chat.pdf"));
    const QByteArray pdf = fileBytes(QStringLiteral("chat.pdf"));
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_TRUE(pdf.contains("KaTeX_Main"));
}

// An export still typesetting when its window goes ends with it: nothing is written and
// nothing is said, not even by the time a later window's export is done.
TEST_F(ExportTest, AnExportEndsWithItsWindow) {
    const TChatHistory history = geminiDM->ChatHistory();
    startExport(QStringLiteral("gone.pdf"));
    startExport(QStringLiteral("gone.html"));
    EXPECT_EQ(form->StatusText(), QStringLiteral("Экспорт в HTML..."));
    form.reset();

    showWindow();
    geminiDM->ChatHistory() = history;
    exportTo(QStringLiteral("later.html"));
    EXPECT_FALSE(QFile::exists(workingDir.filePath(QStringLiteral("gone.pdf"))));
    EXPECT_FALSE(QFile::exists(workingDir.filePath(QStringLiteral("gone.html"))));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// Written at once or once typeset, a file that cannot be written is reported the same way,
// in Russian; a pipe at the chosen name is refused without being opened, which would wait
// for a reader with the window stopped.
TEST_F(ExportTest, AFailedWriteSaysWhy) {
    ASSERT_TRUE(QDir(workingDir.path()).mkdir(QStringLiteral("read-only")));
    ASSERT_TRUE(QFile::setPermissions(workingDir.filePath(QStringLiteral("read-only")),
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    for (const char* pipe : {"pipe.md", "pipe.html"})
        ASSERT_EQ(
            ::mkfifo(QFile::encodeName(workingDir.filePath(QLatin1StringView(pipe))).constData(),
                     0600),
            0);
    const QString notThere = QStringLiteral("нет такого файла или папки");
    const QString notAFile = QStringLiteral("это не обычный файл, а канал, сокет или устройство");
    struct Case {
        QString target;
        QString reason;
    };
    const Case cases[] = {
        {QStringLiteral("no-such-folder/chat.md"), notThere},
        {QStringLiteral("no-such-folder/chat.html"), notThere},
        {QStringLiteral("pipe.md"), notAFile},
        {QStringLiteral("pipe.html"), notAFile},
        {QStringLiteral("read-only/chat.md"), QStringLiteral("нет прав доступа")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        dialogs.messages.clear();
        {
            // Written at once, so the user stays ordinary just while it is.
            const OrdinaryUser user(workingDir.path());
            startExport(c.target);
        }
        ASSERT_TRUE(WaitUntil([&] { return !dialogs.messages.isEmpty(); }, kWaitMs));
        const QString expected = QStringLiteral("Не удалось сохранить ") +
                                 QFileInfo(c.target).fileName() + QStringLiteral(": ") + c.reason;
        EXPECT_EQ(dialogs.messages[0].toStdString(), expected.toStdString());
        EXPECT_EQ(form->StatusText(), QStringLiteral("Ошибка"));
    }
    EXPECT_FALSE(QFileInfo::exists(workingDir.filePath(QStringLiteral("read-only/chat.md"))));
}

// A picture too large for the page is a link naming its type and size, which saves its
// exact bytes to the file the user picks; a small one beside it is shown as before.
TEST_F(ExportTest, APictureTooLargeForThePageIsALinkThatSavesIt) {
    QByteArray large(17 * 1024 * 1024, '\0');
    for (qsizetype i = 0; i < large.size(); i += 4096)
        large[i] = char(i / 4096);
    THistoryItem drawn{QStringLiteral("user"), {MakeTextPart(QStringLiteral("Нарисуй"))}};
    drawn.Images = {MakeInlinePart(QStringLiteral("image/png"), large.toBase64()),
                    MakeInlinePart(QStringLiteral("image/png"), "iVBORw0KGgo=")};
    geminiDM->ChatHistory() = {drawn};
    form->View().RenderHistory();

    EXPECT_EQ(evaluate(QStringLiteral("document.querySelectorAll('img').length")).toInt(), 1);
    EXPECT_EQ(evaluateText(QStringLiteral("document.querySelector('img').src")),
              QStringLiteral("data:image/png;base64,iVBORw0KGgo="));
    EXPECT_LT(evaluate(QStringLiteral("document.documentElement.outerHTML.length")).toInt(),
              100000);
    EXPECT_EQ(evaluateText(QStringLiteral("document.querySelector('a.picture-save-link')"
                                          ".textContent")),
              QStringLiteral("Изображение PNG, 17,0 МБ — сохранить…"));

    dialogs.saveSelections.append(workingDir.filePath(QStringLiteral("drawn.png")));
    click(QStringLiteral("a.picture-save-link"));
    ASSERT_TRUE(
        WaitUntil([&] { return form->StatusText().startsWith(u"Изображение сохранено"); }, kWaitMs))
        << form->StatusText().toStdString();
    EXPECT_EQ(dialogs.saveDialogs.last().at(1), QStringLiteral("picture.png"));
    EXPECT_TRUE(fileBytes(QStringLiteral("drawn.png")) == large);

    dialogs.saveSelections.append(workingDir.filePath(QStringLiteral("gone/drawn.png")));
    click(QStringLiteral("a.picture-save-link"));
    ASSERT_TRUE(WaitUntil([&] { return !dialogs.messages.isEmpty(); }, kWaitMs));
    EXPECT_EQ(dialogs.messages.last(),
              QStringLiteral("Не удалось сохранить изображение drawn.png: нет такого файла или "
                             "папки"));
}

} // namespace
