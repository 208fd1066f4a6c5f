#include "page/ChatExport.h"
#include "page/ConversationHtml.h"

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
    const QString page = ExportHtmlDocument(u"Кот <и> список"_s, BuildConversationHtml(*history));
    EXPECT_TRUE(page.startsWith(u"<!DOCTYPE html>"_s));
    EXPECT_TRUE(page.contains(u"<title>Кот &lt;и&gt; список</title>"_s));
    EXPECT_TRUE(page.contains(u"content=\"default-src 'none'; img-src data:;"_s));
    EXPECT_TRUE(page.contains(u"src=\"data:image/png;base64,iVBORw0KGgo=\""_s));
    EXPECT_FALSE(page.contains(u"<script"_s));
    // Code's colours always; KaTeX's styles and fonts only for formulas KaTeX has drawn.
    EXPECT_TRUE(page.contains(u".hljs-keyword"_s));
    EXPECT_FALSE(page.contains(u"KaTeX_Main"_s));
    const QString typeset = ExportHtmlDocument(
        u"Чат"_s, u"<span class=\"katex\"><span class=\"mord\">x</span></span>"_s);
    EXPECT_TRUE(typeset.contains(u"font-family:KaTeX_Main;src:url(data:font/woff2;base64,"_s));
    EXPECT_FALSE(typeset.contains(u"url(fonts/"_s));

    // An answer's own markup goes in without what would act on opening.
    const QString refresh = u"<meta http-equiv=\"refresh\" content=\"0;url=http://h/\">"_s;
    const QString answered = ExportHtmlDocument(
        u"Чат"_s, BuildConversationHtml({{u"model"_s, {MakeTextPart(u"Готово."_s + refresh)}}}));
    EXPECT_TRUE(answered.contains(u"Готово."_s));
    EXPECT_FALSE(answered.contains(refresh));
}

// Whatever the markup around them, no tag of an element that acts on opening is left, not
// even one joined from what stood around a tag taken out; everything else stays.
TEST(ExportMarkup, DropsTheElementsThatActOnOpening) {
    const struct {
        const char16_t* html;
        const char16_t* kept;
    } cases[] = {
        {u"a<meta http-equiv=\"refresh\" content=\"0;url=http://h/\">b", u"ab"},
        {u"<p>a<META\nHTTP-EQUIV=Refresh CONTENT='0;url=http://h/'/>b</p>", u"<p>ab</p>"},
        {u"<svg><meta http-equiv=refresh content=0;url=http://h/></svg>", u"<svg></svg>"},
        {u"<meta content=\"1>2\" http-equiv=refresh>x", u"x"},
        {u"<base href=\"http://h/\"><img src=\"p.png\">", u"<img src=\"p.png\">"},
        {u"<link rel=preconnect href=http://h/><LINK rel=stylesheet href=\"http://h/s.css\">", u""},
        {u"<form action=\"http://h/\"><input name=q><button>Go</button></form>",
         u"<input name=q><button>Go</button>"},
        {u"<script src=\"http://h/s.js\"></script><SCRIPT>alert(1)</SCRIPT >", u"alert(1)"},
        {u"<iframe src=\"http://h/\"></iframe><frame src=\"http://h/\"><object "
         u"data=\"http://h/\"></object><embed src=\"http://h/\">",
         u""},
        // Tags joined from the text around a tag taken out.
        {u"<<meta>meta http-equiv=refresh content=0;url=http://h/>",
         u"&lt;meta http-equiv=refresh content=0;url=http://h/>"},
        {u"<me<meta>ta http-equiv=refresh content=0;url=http://h/>",
         u"&lt;meta http-equiv=refresh content=0;url=http://h/>"},
        {u"<scr<base>ipt>x", u"&lt;script>x"},
        // Names that only start like a dropped one, and text that only looks like a tag.
        {u"<metal>a</metal><format><linked><basement><metadata>",
         u"<metal>a</metal><format><linked><basement><metadata>"},
        {u"&lt;meta http-equiv=refresh&gt; a < meta b",
         u"&lt;meta http-equiv=refresh&gt; a < meta b"},
        {u"<img alt=\"<meta>\" src=x>", u"<img alt=\"\" src=x>"},
        {u"<p title=\"a>b\">c</p><meta", u"<p title=\"a>b\">c</p>"},
    };
    for (const auto& c : cases) {
        const QString html = QString::fromUtf16(c.html);
        EXPECT_EQ(WithoutActiveElements(html), QString::fromUtf16(c.kept)) << html.toStdString();
    }
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
