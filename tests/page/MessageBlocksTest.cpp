#include "page/MessageBlocks.h"
#include "page/AnswerBlock.h"
#include "text/Clock.h"

#include <QDateTime>

#include <cstring>

#include <gtest/gtest.h>

namespace {

// Every block carries the moment it is built; the clock stands still for these tests.
class MessageBlocksTest : public ::testing::Test {
protected:
    void SetUp() override {
        Clock::setSource([] { return QDateTime(QDate(2025, 11, 3), QTime(14, 5, 9)); });
    }
    void TearDown() override { Clock::setSource({}); }
};

TEST_F(MessageBlocksTest, BlocksHaveTheirExactForm) {
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

// A block shows the time its message was written; a message without one shows none.
TEST_F(MessageBlocksTest, BlocksShowTheTimeTheyAreGiven) {
    const QDateTime written(QDate(2024, 12, 31), QTime(23, 59, 58));
    const QString stamp = QStringLiteral("<span class=\"timestamp\">%1</span>");
    EXPECT_TRUE(BuildUserMessageHtml(QStringLiteral("q"), {}, written)
                    .contains(stamp.arg(QStringLiteral("23:59:58 - 31.12.2024"))));
    EXPECT_TRUE(BuildModelMessageHtml(QStringLiteral("a"), written)
                    .contains(stamp.arg(QStringLiteral("23:59:58 - 31.12.2024"))));
    EXPECT_TRUE(BuildImageMessageHtml(QStringLiteral("image/png"), QStringLiteral("AA"), {})
                    .contains(stamp.arg(QString())));
}

TEST_F(MessageBlocksTest, WhatTheProgramPutsIntoThePageIsEscaped) {
    EXPECT_EQ(
        EscapeHtml(QStringLiteral("<a href=\"x\" title='y'>&amp;") + QChar(u'\0') +
                   QStringLiteral("</a>")),
        QStringLiteral("&lt;a href=&quot;x&quot; title=&#39;y&#39;&gt;&amp;amp;\uFFFD&lt;/a&gt;"));
    EXPECT_TRUE(BuildUserMessageHtml(QStringLiteral("hi"), {QStringLiteral("<b>&.txt")})
                    .contains(QStringLiteral("<li>&lt;b&gt;&amp;.txt</li>")));
    EXPECT_TRUE(BuildImageMessageHtml(QStringLiteral("image/png\"><b"), QStringLiteral("A\"B"))
                    .contains(QStringLiteral(
                        "src=\"data:image/png&quot;&gt;&lt;b;base64,A&quot;B\" alt=")));
    // Remote images become links; formulas stay TeX, escaped, for the page to typeset.
    const QString answer =
        BuildModelMessageHtml(QStringLiteral("![plot](http://host/p.png) $x^2 < y$"));
    EXPECT_TRUE(answer.contains(
        QStringLiteral("<a href=\"http://host/p.png\">plot: http://host/p.png</a>")));
    EXPECT_TRUE(answer.contains(QStringLiteral("<span class=\"math-inline\">x^2 &lt; y</span>")));
    EXPECT_FALSE(answer.contains(QStringLiteral("chart.googleapis.com")));
}

TEST_F(MessageBlocksTest, ALiveAnswerIsAnEmptyAnswerBlockWithPlacesForItsPartsAndAStatus) {
    QString expected = BuildModelMessageHtml(QString());
    expected.insert(
        expected.size() - int(std::strlen("</div></div>")),
        QStringLiteral("<div class=\"live-settled\"></div><div class=\"live-tail\"></div>"
                       "<p class=\"live-status\">Печатает… 00:05 &lt;x&gt;</p>"));
    EXPECT_EQ(BuildLiveModelMessageHtml(QStringLiteral("Печатает… 00:05 <x>")), expected);
    const QString answer = QStringLiteral("**a**\n```\ncode\n```");
    EXPECT_TRUE(BuildModelMessageHtml(answer).contains(BuildAnswerHtml(answer)));
}

TEST_F(MessageBlocksTest, SourcesAreEscapedLinksAndOnlyWebAddressesLink) {
    EXPECT_EQ(BuildSourcesHtml({}), QString());
    EXPECT_EQ(
        BuildSourcesHtml(
            {{QStringLiteral("<A & B>"), QStringLiteral("https://a.example/?x=1&y=\"2\"")},
             {QString(), QStringLiteral("HTTP://b.example/")},
             {QStringLiteral("local"), QStringLiteral("file:///etc/passwd")},
             {QStringLiteral("js"), QStringLiteral("javascript:alert(1)")}}),
        QStringLiteral("<div class=\"sources\"><strong>Источники:</strong><ol>"
                       "<li><a href=\"https://a.example/?x=1&amp;y=&quot;2&quot;\">&lt;A &amp; "
                       "B&gt;</a></li><li><a href=\"HTTP://b.example/\">HTTP://b.example/</a></li>"
                       "<li>local</li><li>js</li></ol></div>"));
}

// Up to 2 MiB of a message's UTF-8 text is shown whole; beyond, the start and a note.
TEST_F(MessageBlocksTest, LongMessagesAreShownInPart) {
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

TEST_F(MessageBlocksTest, AnswersAreConvertedFromMarkdown) {
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

TEST_F(MessageBlocksTest, CodeBlocksAreWrappedOnceEach) {
    const QString open = QStringLiteral(
        "<div class=\"code-block-container\">  <div class=\"code-header\">    code    <button "
        "class=\"copy-btn\" onclick=\"copyCode(this)\">Копировать</button>  </div>");
    const auto openFor = [&](const char* language) {
        QString header = open;
        return header.replace(QStringLiteral("    code    "),
                              QStringLiteral("    %1    ").arg(QLatin1StringView(language)));
    };
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
        // The header names the fence's language, which the converter puts in the class.
        {"<pre><code class=\"python\">b</code></pre>",
         openFor("python") + QStringLiteral("<pre><code class=\"python\">b</code></pre></div>")},
        {"<pre><code class=\"\">b</code></pre>",
         open + QStringLiteral("<pre><code class=\"\">b</code></pre></div>")},
        {"<pre><code class=\"a<b&\">b</code></pre>",
         openFor("a&lt;b&amp;") + QStringLiteral("<pre><code class=\"a<b&\">b</code></pre></div>")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WrapCodeBlocks(QString::fromUtf8(c.html)), c.wrapped) << c.html;
}

TEST_F(MessageBlocksTest, ImageDescriptionsBecomeImageBlocks) {
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

TEST_F(MessageBlocksTest, PromptEscapesOnlyAnglesAndLineBreaks) {
    const struct {
        const char16_t* text;
        const char16_t* escaped;
    } cases[] = {
        {u"a < b > c", u"a &lt; b &gt; c"},
        {u"x &amp; y", u"x &amp; y"},
        {u"one\r\ntwo\r\n\r\nthree", u"one<br>two<br><br>three"},
        // The prompt box gives LF line ends; pasted text may carry a lone CR.
        {u"lone\rcr\nlf", u"lone<br>cr<br>lf"},
        {u"a\n\r\n\rb", u"a<br><br><br>b"},
        {u"<script>alert(1)</script>", u"&lt;script&gt;alert(1)&lt;/script&gt;"},
    };
    for (const auto& c : cases) {
        const QString html = BuildUserMessageHtml(QString::fromUtf16(c.text), {});
        EXPECT_TRUE(html.contains(QStringLiteral("    <p>") + QString::fromUtf16(c.escaped) +
                                  QStringLiteral("</p>  </div></div>")))
            << html.toStdString();
    }
}

} // namespace
