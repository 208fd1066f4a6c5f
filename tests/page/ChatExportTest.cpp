#include "page/ChatExport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

using namespace Qt::StringLiterals;

QByteArray readData(const char* name) {
    QFile file(QDir(QStringLiteral(TOVIK_PAGE_TEST_DATA)).filePath(QLatin1StringView(name)));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

// Times are shown in local time; the expected file is written for UTC.
class ChatExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_tz = qgetenv("TZ");
        qputenv("TZ", "UTC");
        tzset();
    }
    void TearDown() override {
        if (m_tz.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", m_tz);
        tzset();
    }

    Expected<TChatHistory> fixture() {
        return ReadChatForExport(
            QDir(QStringLiteral(TOVIK_PAGE_TEST_DATA)).filePath(u"export-chat.json"_s));
    }

private:
    QByteArray m_tz;
};

TEST_F(ChatExportTest, MarkdownOfAChatMatchesTheExpectedFile) {
    const Expected<TChatHistory> history = fixture();
    ASSERT_TRUE(history) << history.error().toStdString();
    EXPECT_EQ(ConversationMarkdown(*history).toUtf8(), readData("export-chat.md"));
}

TEST_F(ChatExportTest, MarkdownShowsDrawnPicturesAndSources) {
    THistoryItem asked{u"user"_s, {MakeTextPart(u"Нарисуй кота"_s)}};
    asked.Images = {MakeInlinePart(u"image/png"_s, "iVBO")};
    THistoryItem answer{u"model"_s, {MakeTextPart(u"Ответ"_s)}};
    answer.Sources = {{u"Пример"_s, u"https://a.example/"_s}, {QString(), u"https://b.example/"_s}};
    EXPECT_EQ(
        ConversationMarkdown({asked, answer}),
        u"## 👤 Пользователь\n\nНарисуй кота\n\n## 🤖 Gemini (Image)\n\n"
        u"*Изображение (image/png)*\n\n## 🤖 "
        u"Gemini\n\nОтвет\n\nИсточники:\n\n"
        u"1. [Пример](https://a.example/)\n2. [https://b.example/](https://b.example/)\n\n"_s);
}

TEST_F(ChatExportTest, HtmlIsOneDocumentWithThePictureInlineThatFetchesNothing) {
    const Expected<TChatHistory> history = fixture();
    ASSERT_TRUE(history);
    const QString page = ConversationHtmlDocument(*history, u"Кот <и> список"_s);
    EXPECT_TRUE(page.startsWith(u"<!DOCTYPE html>"_s));
    EXPECT_TRUE(page.contains(u"<title>Кот &lt;и&gt; список</title>"_s));
    EXPECT_TRUE(page.contains(u"content=\"default-src 'none'; img-src data:;"_s));
    EXPECT_TRUE(page.contains(u"src=\"data:image/png;base64,iVBORw0KGgo=\""_s));
    EXPECT_FALSE(page.contains(u"<script"_s));
}

TEST_F(ChatExportTest, FormatsFollowTheExtensionAndFailuresSayWhy) {
    EXPECT_EQ(ExportFormatOf(u"a.MD"_s), ExportFormat::Markdown);
    EXPECT_EQ(ExportFormatOf(u"a"_s), ExportFormat::Markdown);
    EXPECT_EQ(ExportFormatOf(u"a.Html"_s), ExportFormat::Html);
    EXPECT_EQ(ExportFormatOf(u"a.htm"_s), ExportFormat::Html);
    EXPECT_EQ(ExportFormatOf(u"a.pdf"_s), ExportFormat::Pdf);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Expected<void> written = WriteExportFile(dir.filePath(u"no/such/folder/a.md"_s), "x");
    EXPECT_FALSE(written);
    EXPECT_FALSE(written.error().isEmpty());
    EXPECT_TRUE(WriteExportFile(dir.filePath(u"a.md"_s), "x"));
    EXPECT_FALSE(ReadChatForExport(dir.filePath(u"missing.json"_s)));
}

} // namespace
