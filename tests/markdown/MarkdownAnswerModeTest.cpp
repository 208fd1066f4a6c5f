// The answer mode: the page's converter reads answers as GitHub's Markdown. The dialects
// themselves are held by the other tables of this folder, which answer mode leaves alone.
#include "MarkdownTestSupport.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct AnswerCase {
    const char16_t* markdown;
    const char16_t* html;
};

std::ostream& operator<<(std::ostream& out, const AnswerCase& c) {
    return out << QString::fromUtf16(c.markdown).toStdString();
}

class AnswerMode : public testing::TestWithParam<AnswerCase> {};

TEST_P(AnswerMode, GivesGitHubsHtml) {
    const AnswerCase& c = GetParam();
    EXPECT_EQ(TMarkdownProcessor::CreateForAnswers()->Process(QString::fromUtf16(c.markdown)),
              QString::fromUtf16(c.html));
}

INSTANTIATE_TEST_SUITE_P(
    Nesting, AnswerMode,
    testing::Values(
        AnswerCase{u"- a\n  - b",
                   u"<ul>\n<li>a<ul>\n<li>b</li>\n</ul>\n</li>\n</ul>\n"},
        AnswerCase{u"2. Второй\n   - вложенный",
                   u"<ol start=\"2\">\n<li>Второй<ul>\n<li>вложенный</li>\n</ul>\n</li>\n</ol>\n"},
        AnswerCase{u"1. x\n   ```\n   code\n   ```",
                   u"<ol>\n<li>x<pre><code class=\"\">code\n</code></pre>\n</li>\n</ol>\n"},
        AnswerCase{u"1. x\n\n       indented",
                   u"<ol>\n<li><p>x</p>\n<pre><code>indented\n</code></pre>\n</li>\n</ol>\n"},
        AnswerCase{u"10. ten\n11. eleven",
                   u"<ol start=\"10\">\n<li>ten</li>\n<li>eleven</li>\n</ol>\n"},
        AnswerCase{u"- a\nlazy",
                   u"<ul>\n<li>a\nlazy</li>\n</ul>\n"},
        AnswerCase{u"> quote\nlazy",
                   u"<blockquote><p>quote\nlazy</p>\n</blockquote>\n"}));

INSTANTIATE_TEST_SUITE_P(
    Interruption, AnswerMode,
    testing::Values(
        AnswerCase{u"Text\n2. no list",
                   u"<p>Text\n2. no list</p>\n"},
        AnswerCase{u"Text\n1. list",
                   u"<p>Text</p>\n<ol>\n<li>list</li>\n</ol>\n"},
        AnswerCase{u"Text\n-\nmore",
                   u"<h2>Text</h2>\n<p>more</p>\n"},
        AnswerCase{u"- a\n\n- b",
                   u"<ul>\n<li><p>a</p>\n</li>\n<li><p>b</p>\n</li>\n</ul>\n"},
        AnswerCase{u"- a\n- b\n\n  more",
                   u"<ul>\n<li><p>a</p>\n</li>\n<li><p>b</p>\n<p>more</p>\n</li>\n</ul>\n"},
        AnswerCase{u"- a\n+ b",
                   u"<ul>\n<li>a</li>\n</ul>\n<ul>\n<li>b</li>\n</ul>\n"},
        AnswerCase{u"-\tx",
                   u"<ul>\n<li>x</li>\n</ul>\n"},
        AnswerCase{u"a\tb",
                   u"<p>a\tb</p>\n"}));

INSTANTIATE_TEST_SUITE_P(
    HtmlBlocks, AnswerMode,
    testing::Values(
        AnswerCase{u"<details>\n<summary>More</summary>\n\nHidden *text*\n\n</details>",
                   u"<details>\n<summary>More</summary>\n<p>Hidden <em>text</em></p>\n</details>\n"},
        AnswerCase{u"<script>alert(1)</script>",
                   u"&lt;script>alert(1)&lt;/script>\n"},
        AnswerCase{u"<div onclick=\"x()\">\n<iframe src=\"a\"></iframe>\n</div>",
                   u"<div onclick=\"x()\">\n&lt;iframe src=\"a\">&lt;/iframe>\n</div>\n"}));

INSTANTIATE_TEST_SUITE_P(
    Extensions, AnswerMode,
    testing::Values(
        AnswerCase{u"~~gone~~ and ~one~ and ~~~three~~~",
                   u"<p><del>gone</del> and <del>one</del> and ~~~three~~~</p>\n"},
        AnswerCase{u"See https://example.com/a_(b)). Or www.example.org, mail me.x@example.com.",
                   u"<p>See <a href=\"https://example.com/a_(b)\">https://example.com/a_(b)</a>). Or <a href=\"http://www.example.org\">www.example.org</a>, mail <a href=\"mailto:me.x@example.com\">me.x@example.com</a>.</p>\n"},
        AnswerCase{u"Go to http://x.com/?a=1&b=2; now",
                   u"<p>Go to <a href=\"http://x.com/?a=1&amp;b=2;\">http://x.com/?a=1&amp;b=2;</a> now</p>\n"},
        AnswerCase{u"[link https://x.com](https://y.com)",
                   u"<p><a href=\"https://y.com\">link https://x.com</a></p>\n"},
        AnswerCase{u"`https://x.com`",
                   u"<p><code>https://x.com</code></p>\n"},
        AnswerCase{u"- [ ] open\n- [x] done",
                   u"<ul>\n<li><input type=\"checkbox\" disabled=\"\" /> open</li>\n<li><input type=\"checkbox\" disabled=\"\" checked=\"\" /> done</li>\n</ul>\n"},
        AnswerCase{u"Note[^1] and again[^1], then [^nope].\n\n[^1]: The *note*.",
                   u"<p>Note<sup class=\"footnote-ref\"><a href=\"#fn-1\" id=\"fnref-1\">1</a></sup> and again<sup class=\"footnote-ref\"><a href=\"#fn-1\" id=\"fnref-1-2\">1</a></sup>, then [^nope].</p>\n<section class=\"footnotes\">\n<ol>\n<li id=\"fn-1\">\n<p>The <em>note</em>. <a href=\"#fnref-1\" class=\"footnote-backref\">↩</a> <a href=\"#fnref-1-2\" class=\"footnote-backref\">↩</a></p>\n</li>\n</ol>\n</section>\n"},
        AnswerCase{u"| a | b |\n|---|:-:|\n| `x|y` | a < b |\n| \\| | c",
                   u"<table>\n<thead>\n<tr>\n<th>a</th>\n<th align=\"center\">b</th>\n</tr>\n</thead>\n<tbody>\n<tr>\n<td><code>x|y</code></td>\n<td align=\"center\">a &lt; b</td>\n</tr>\n<tr>\n<td>|</td>\n<td align=\"center\">c</td>\n</tr>\n</tbody>\n</table>\n"},
        AnswerCase{u"x $a^2$ y \\(b\\)",
                   u"<p>x <span class=\"math-inline\">a^2</span> y <span class=\"math-inline\">b</span></p>\n"},
        AnswerCase{u"\"Quotes\" -- dash... (c) ->",
                   u"<p>\"Quotes\" -- dash... (c) -></p>\n"},
        AnswerCase{u"[x]\n\n[x]: /target",
                   u"<p><a href=\"/target\">x</a></p>\n"},
        AnswerCase{u"```\n[x]: /not-a-definition\n```",
                   u"<pre><code class=\"\">[x]: /not-a-definition\n</code></pre>\n"},
        AnswerCase{u"Line  \nnext\\\nlast",
                   u"<p>Line<br />\nnext<br />\nlast</p>\n"},
        AnswerCase{u"# Title #\nSetext\n===",
                   u"<h1>Title</h1>\n<h1>Setext</h1>\n"},
        AnswerCase{u"* * *",
                   u"<hr />\n"}));

// Footnotes belong to one text: a converter used again forgets the last text's notes.
TEST(AnswerModeFootnotes, BelongToOneText) {
    const auto converter = TMarkdownProcessor::CreateForAnswers();
    converter->Process(u"a[^n]\n\n[^n]: note"_s);
    EXPECT_EQ(converter->Process(u"b[^n]"_s), u"<p>b[^n]</p>\n"_s);
}

// The rich dialect without answer mode keeps its own lists and typography.
TEST(AnswerModeFootnotes, LeavesTheRichDialectAsItWas) {
    EXPECT_EQ(convert(mdRich, u"- a\n  - b -- c"_s),
              u"<ul>\n<li>a</li>\n<li>b &ndash; c</li>\n</ul>\n"_s);
}

} // namespace
