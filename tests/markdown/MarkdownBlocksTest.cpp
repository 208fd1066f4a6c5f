#include "MarkdownTestSupport.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class BlockConversion : public testing::TestWithParam<TConversionCase> {};

TEST_P(BlockConversion, GivesExactHtml) {
    const TConversionCase& c = GetParam();
    EXPECT_EQ(convert(c.dialect, QString::fromUtf16(c.markdown)), QString::fromUtf16(c.html));
}

INSTANTIATE_TEST_SUITE_P(
    Reading, BlockConversion,
    testing::Values(TConversionCase{mdRich, u"a\r\nb", u"<p>a\nb</p>\n"},
                    TConversionCase{mdRich, u"a\n\rb\rc\n", u"<p>a\nb\nc</p>\n"},
                    TConversionCase{mdRich, u"a\n\n", u"<p>a</p>\n"},
                    TConversionCase{mdRich, u"ab\tc\nabcd\te", u"<p>ab  c\nabcd    e</p>\n"},
                    TConversionCase{mdRich, u"", u""}, TConversionCase{mdRich, u"\n  \n\t\n", u""},
                    TConversionCase{mdRich, u"a\x01b\x0b c\x7f", u"<p>a\x01b\x0b c\x7f</p>\n"},
                    TConversionCase{mdRich, u"abcdefghij\tk\nabcdefghijklmnopq\r\nr",
                                    u"<p>abcdefghij  k\nabcdefghijklmnopq\nr</p>\n"}));

INSTANTIATE_TEST_SUITE_P(
    Definitions, BlockConversion,
    testing::Values(
        TConversionCase{mdRich, u"[id]: /docs/target \"Title\"\n\n[x][id]",
                        u"<p><a href=\"/docs/target\" title=\"Title\">x</a></p>\n"},
        TConversionCase{mdRich, u"[id]: /docs/target more", u"<p>[id]: /docs/target more</p>\n"},
        TConversionCase{mdRich, u"[id]: <a b>\n\n[x][id]", u"<p><a href=\"a b\">x</a></p>\n"},
        TConversionCase{mdRich, u"[id]: /t\n\n(Later title)\n\n[x][id]",
                        u"<p><a href=\"/t\" title=\"Later title\">x</a></p>\n"},
        TConversionCase{mdRich, u"[id]: /t\ntext\n'late'\n\n[x][id]",
                        u"<p>text\n'late'</p>\n<p><a href=\"/t\">x</a></p>\n"},
        TConversionCase{mdRich, u"[id]: /old\n[id]: /new 'T'\n(ignored)\n\n[x][id]",
                        u"<p><a href=\"/new\" title=\"T\">x</a></p>\n"}));

INSTANTIATE_TEST_SUITE_P(
    Headings, BlockConversion,
    testing::Values(TConversionCase{mdRich, u"### T", u"<h3>T</h3>\n"},
                    TConversionCase{mdRich, u"# ", u"<h1></h1>\n"},
                    TConversionCase{mdRich, u"##", u"<p>##</p>\n"},
                    TConversionCase{mdClassic, u"##", u"<h2></h2>\n"},
                    TConversionCase{mdRich, u"#Title", u"<p>#Title</p>\n"},
                    TConversionCase{mdClassic, u"#Title", u"<h1>Title</h1>\n"},
                    TConversionCase{mdExtended, u"#Title", u"<h1>Title</h1>\n"},
                    TConversionCase{mdClassic, u"# Title", u"<h1>Title</h1>\n"},
                    TConversionCase{mdRich, u"## Title ##", u"<h2>Title</h2>\n"},
                    TConversionCase{mdRich, u"# A#", u"<h1>A#</h1>\n"},
                    TConversionCase{mdRich, u"####### x", u"<h6>x</h6>\n"},
                    TConversionCase{mdRich, u"## Title {#intro}", u"<h2 id=\"intro\">Title</h2>\n"},
                    TConversionCase{mdRich, u"## Title {#}", u"<h2>Title</h2>\n"},
                    TConversionCase{mdRich, u"## A {b} {#c}", u"<h2>A {b} {#c}</h2>\n"},
                    TConversionCase{mdClassic, u"## Title {#intro}", u"<h2>Title {#intro}</h2>\n"},
                    TConversionCase{mdRich, u"Title\n=====", u"<h1>Title</h1>\n"},
                    TConversionCase{mdRich, u"Title {#t}\n---", u"<h2 id=\"t\">Title</h2>\n"},
                    TConversionCase{mdRich, u"Title\n  -", u"<h2>Title</h2>\n"},
                    TConversionCase{mdClassic, u"Title\n  -", u"<p>Title\n-</p>\n"},
                    TConversionCase{mdRich, u"A\nB\n---", u"<p>A</p>\n<h2>B</h2>\n"},
                    TConversionCase{mdRich, u"Para\n# Head\nmore",
                                    u"<p>Para</p>\n<h1>Head</h1>\n<p>more</p>\n"}));

INSTANTIATE_TEST_SUITE_P(
    Lists, BlockConversion,
    testing::Values(
        TConversionCase{mdRich, u"- a\n- b", u"<ul>\n<li>a</li>\n<li>b</li>\n</ul>\n"},
        TConversionCase{mdRich, u"- a\n\n- b",
                        u"<ul>\n<li><p>a</p>\n</li>\n<li><p>b</p>\n</li>\n</ul>\n"},
        TConversionCase{mdRich, u"- a\n    - b",
                        u"<ul>\n<li>a<ul>\n<li>b</li>\n</ul>\n</li>\n</ul>\n"},
        TConversionCase{mdRich, u"- a\n\t- b",
                        u"<ul>\n<li>a<ul>\n<li>b</li>\n</ul>\n</li>\n</ul>\n"},
        TConversionCase{mdRich, u"- a\n  - b", u"<ul>\n<li>a</li>\n<li>b</li>\n</ul>\n"},
        TConversionCase{mdRich, u"1. a\n2. b", u"<ol>\n<li>a</li>\n<li>b</li>\n</ol>\n"},
        TConversionCase{mdRich, u"1) x", u"<ol>\n<li>x</li>\n</ol>\n"},
        TConversionCase{mdRich, u"1.x", u"<p>1.x</p>\n"},
        TConversionCase{mdRich, u"- a\n1. b", u"<ul>\n<li>a</li>\n<li>b</li>\n</ul>\n"},
        TConversionCase{mdRich, u"- a\n\n1. b",
                        u"<ul>\n<li>a</li>\n</ul>\n<ol>\n<li>b</li>\n</ol>\n"},
        TConversionCase{mdRich, u"Items:\n- a", u"<p>Items:</p>\n<ul>\n<li>a</li>\n</ul>\n"},
        TConversionCase{mdClassic, u"Items:\n- a", u"<p>Items:\n- a</p>\n"},
        TConversionCase{mdRich, u"- a\n\n    more",
                        u"<ul>\n<li><p>a</p>\n<p>more</p>\n</li>\n</ul>\n"},
        TConversionCase{mdRich, u"- a\nlazy", u"<ul>\n<li>a\nlazy</li>\n</ul>\n"},
        TConversionCase{mdRich, u"- item {#i1}\n- b",
                        u"<ul>\n<li id=\"i1\">item</li>\n<li>b</li>\n</ul>\n"},
        TConversionCase{mdRich, u"- a\n    ```\n    x\n    ```",
                        u"<ul>\n<li>a<pre><code class=\"\">x\n</code></pre>\n</li>\n</ul>\n"},
        TConversionCase{
            mdRich, u"- a\n\n    ```js\n    x\n    ```",
            u"<ul>\n<li><p>a</p>\n<pre><code class=\"js\">x\n</code></pre>\n</li>\n</ul>\n"},
        TConversionCase{mdRich, u"  - - -", u"<hr />\n"}));

INSTANTIATE_TEST_SUITE_P(
    QuotesAndCode, BlockConversion,
    testing::Values(
        TConversionCase{mdRich, u"> a\n> b", u"<blockquote><p>a\nb</p>\n</blockquote>\n"},
        TConversionCase{mdRich, u"> a\nb", u"<blockquote><p>a\nb</p>\n</blockquote>\n"},
        TConversionCase{mdRich, u"> - a\n> - b",
                        u"<blockquote><ul>\n<li>a</li>\n<li>b</li>\n</ul>\n</blockquote>\n"},
        TConversionCase{mdRich, u"> > deep\n\nafter",
                        u"<blockquote><blockquote><p>deep</p>\n</blockquote>\n</blockquote>\n"
                        u"<p>after</p>\n"},
        TConversionCase{mdRich, u"text\n    more",
                        u"<p>text</p>\n<pre><code>more\n</code></pre>\n"},
        TConversionCase{mdClassic, u"text\n    more", u"<p>text\nmore</p>\n"},
        TConversionCase{mdRich, u"    x = 1\n\n    y < 2",
                        u"<pre><code>x = 1\n\ny &lt; 2\n</code></pre>\n"},
        TConversionCase{mdRich, u"    - x", u"<pre><code>- x\n</code></pre>\n"},
        TConversionCase{mdRich, u"~~~sql\nselect 1\n~~~",
                        u"<pre><code class=\"sql\">select 1\n</code></pre>\n"},
        TConversionCase{mdRich, u"```sql\nselect 1\n```",
                        u"<pre><code class=\"sql\">select 1\n</code></pre>\n"},
        TConversionCase{mdRich, u"```\n\ncode <b>\n\n```\nafter",
                        u"<pre><code class=\"\">code &lt;b&gt;\n</code></pre>\n<p>after</p>\n"},
        TConversionCase{mdRich, u"```js\nnever closed\n\nstill code",
                        u"<pre><code class=\"js\">never closed\n\nstill code\n</code></pre>\n"},
        TConversionCase{mdRich, u"```\nx\n~~~\ny",
                        u"<pre><code class=\"\">x\n</code></pre>\n<p>y</p>\n"},
        TConversionCase{mdClassic, u"```\nx\n```", u"<p><code>`\nx\n</code>`</p>\n"}));

INSTANTIATE_TEST_SUITE_P(
    RulersAndHtml, BlockConversion,
    testing::Values(
        TConversionCase{mdRich, u"---", u"<hr />\n"},
        TConversionCase{mdRich, u"a\n\n* * *\nb", u"<p>a</p>\n<hr />\n<p>b</p>\n"},
        TConversionCase{mdRich, u"<div>\nhello\n</div>", u"<div>\nhello\n</div>\n"},
        TConversionCase{mdRich, u"<div>\na\n\n</div>\nafter",
                        u"<div>\na\n\n</div>\n<p>after</p>\n"},
        TConversionCase{mdRich, u"<div><p>", u"<p><div><p></p>\n"},
        TConversionCase{mdRich, u"<span>x</span>", u"<p><span>x</span></p>\n"},
        TConversionCase{mdRich, u"<hr>", u"<hr>\n"},
        TConversionCase{mdRich, u"<!-- note -->", u"<!-- note -->\n"},
        TConversionCase{mdRich, u"<!-- a\nb -->\nafter", u"<!-- a\nb -->\n<p>after</p>\n"},
        TConversionCase{mdRich, u"<div>\n<script>alert(1)</script>\n</div>",
                        u"<div>\n&lt;script>alert(1)&lt;/script>\n</div>\n"},
        TConversionCase{mdRich, u"<div><div></p></div>", u"<p><div><div></p></div></p>\n"},
        TConversionCase{mdRich, u"<div>\n<div>\n</div>", u"<p><div></p>\n<div>\n</div>\n"},
        TConversionCase{mdRich, u"<div>\n<p>\n</div>\n</p>", u"<p><div>\n<p>\n</div>\n</p></p>\n"},
        TConversionCase{mdRich, u"</div>\n</div>\nx", u"</div>\n</div>\n<p>x</p>\n"},
        TConversionCase{mdRich, u"> <div>\n> a\n> </div>\n\nb",
                        u"<blockquote><div>\na\n</div>\n</blockquote>\n<p>b</p>\n"}));

TEST(Reading, ACharacterZeroEndsTheSource) {
    const QChar text[] = {u'a', QChar(0), u'b'};
    EXPECT_EQ(convert(mdRich, QString(text, 3)), u"<p>a</p>\n"_s);
}

} // namespace
