// Export from the chat list's popup menu: the real window, the real web engine, files in a
// temporary folder and a scripted save dialog.
#include "page/ChatExport.h"
#include "chat/GeminiDM.h"
#include "app/MainWindow.h"
#include "PageTest.h"
#include "RequestRecorder.h"

#include <QAction>
#include <QFile>
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>

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
                                          "![рисунок](http://127.0.0.1:9/p.png)\n\n```cpp\nint "
                                          "x;\n```"))}},
            {QStringLiteral("model"), {MakeInlinePart(QStringLiteral("image/png"), "iVBO")}},
        };
    }

    // Exports the open chat to the file the save dialog is given.
    void exportTo(const QString& name) {
        dialogs.saveSelections.append(workingDir.filePath(name));
        control<QAction>("actExportChat")->trigger();
    }

    QByteArray fileBytes(const QString& name) const {
        QFile file(workingDir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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

// The exported page, opened in a browser of its own, shows what the chat page shows and
// asks for nothing but itself.
TEST_F(ExportTest, HtmlOpensOfflineAndShowsTheSameText) {
    exportTo(QStringLiteral("chat.html"));
    const QString path = workingDir.filePath(QStringLiteral("chat.html"));
    ASSERT_TRUE(QFile::exists(path));

    form->ResetChatView();
    form->View().RenderHistory();
    // The messages' action bars belong to the window's page, not to the chat.
    const QString shown = evaluateText(
        QStringLiteral("document.querySelectorAll('.message-actions').forEach(b => b.remove()); "
                       "document.getElementById('chat-container').innerText"));

    QWebEngineProfile profile;
    RequestRecorder recorder;
    profile.setUrlRequestInterceptor(&recorder);
    QWebEngineView view;
    auto* page = new QWebEnginePage(&profile, &view);
    view.setPage(page);
    view.resize(1000, 800);
    view.show();
    QSignalSpy loaded(page, &QWebEnginePage::loadFinished);
    page->load(QUrl::fromLocalFile(path));
    ASSERT_TRUE(WaitUntil([&] { return !loaded.isEmpty(); }, kWaitMs));
    EXPECT_TRUE(loaded.first().first().toBool());
    std::optional<QVariant> text;
    page->runJavaScript(QStringLiteral("Array.from(document.images).every(i => i.complete) && "
                                       "document.getElementById('chat-container').innerText"),
                        [&](const QVariant& value) { text = value; });
    ASSERT_TRUE(WaitUntil([&] { return text.has_value(); }, kWaitMs));
    RunEventsFor(300);
    // The copy buttons need the page's script, which the file does without.
    EXPECT_EQ(text->toString(), QString(shown).remove(QStringLiteral("\nКопировать")));
    EXPECT_EQ(QUrl::toStringList(recorder.urls()),
              QStringList{QUrl::fromLocalFile(path).toString()});
    view.setPage(nullptr);
    delete page;
}

TEST_F(ExportTest, PdfIsPrintedByTheWebEngine) {
    exportTo(QStringLiteral("chat.pdf"));
    ASSERT_TRUE(WaitUntil([&] { return form->StatusText().startsWith(u"Чат сохранён"); }, kWaitMs))
        << form->StatusText().toStdString();
    EXPECT_TRUE(fileBytes(QStringLiteral("chat.pdf")).startsWith("%PDF"));
}

TEST_F(ExportTest, AFailedWriteSaysWhy) {
    exportTo(QStringLiteral("no-such-folder/chat.md"));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].startsWith(QStringLiteral("Не удалось сохранить chat.md: ")));
    EXPECT_GT(dialogs.messages[0].size(), QStringLiteral("Не удалось сохранить chat.md: ").size());
    EXPECT_EQ(form->StatusText(), QStringLiteral("Ошибка"));
}

} // namespace
