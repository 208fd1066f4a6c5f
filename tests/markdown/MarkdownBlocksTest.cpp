#include "MarkdownTestSupport.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class BlockConversion : public testing::TestWithParam<ConversionCase> {};

TEST_P(BlockConversion, GivesExactHtml) {
    const ConversionCase& c = GetParam();
    EXPECT_EQ(convert(c.dialect, QString::fromUtf16(c.markdown)), QString::fromUtf16(c.html));
}

INSTANTIATE_TEST_SUITE_P(
    Reading, BlockConversion,
    testing::Values(ConversionCase{mdRich, u"a\r\nb", u"<p>a\nb</p>\n"},
                    ConversionCase{mdRich, u"a\n\rb\rc\n", u"<p>a\nb\nc</p>\n"},
                    ConversionCase{mdRich, u"a\n\n", u"<p>a</p>\n"},
                    ConversionCase{mdRich, u"ab\tc\nabcd\te", u"<p>ab  c\nabcd    e</p>\n"},
                    ConversionCase{mdRich, u"", u""}, ConversionCase{mdRich, u"\n  \n\t\n", u""},
                    ConversionCase{mdRich, u"a\x01b\x0b c\x7f", u"<p>a\x01b\x0b c\x7f</p>\n"},
                    ConversionCase{mdRich, u"abcdefghij\tk\nabcdefghijklmnopq\r\nr",
                                   u"<p>abcdefghij  k\nabcdefghijklmnopq\nr</p>\n"}));

INSTANTIATE_TEST_SUITE_P(
    Definitions, BlockConversion,
    testing::Values(
        ConversionCase{mdRich, u"[id]: /docs/target \"Title\"\n\n[x][id]",
                       u"<p><a href=\"/docs/target\" title=\"Title\">x</a></p>\n"},
        ConversionCase{mdRich, u"[id]: /docs/target more", u"<p>[id]: /docs/target more</p>\n"},
        ConversionCase{mdRich, u"[id]: <a b>\n\n[x][id]", u"<p><a href=\"a b\">x</a></p>\n"},
        ConversionCase{mdRich, u"[id]: /t\n\n(Later title)\n\n[x][id]",
                       u"<p><a href=\"/t\" title=\"Later title\">x</a></p>\n"},
        ConversionCase{mdRich, u"[id]: /t\ntext\n'late'\n\n[x][id]",
                       u"<p>text\n'late'</p>\n<p><a href=\"/t\">x</a></p>\n"},
        ConversionCase{mdRich, u"[id]: /old\n[id]: /new 'T'\n(ignored)\n\n[x][id]",
                       u"<p><a href=\"/new\" title=\"T\">x</a></p>\n"}));

INSTANTIATE_TEST_SUITE_P(
    Headings, BlockConversion,
    testing::Values(ConversionCase{mdRich, u"### T", u"<h3>T</h3>\n"},
                    ConversionCase{mdRich, u"# ", u"<h1></h1>\n"},
                    ConversionCase{mdRich, u"##", u"<p>##</p>\n"},
                    ConversionCase{mdClassic, u"##", u"<h2></h2>\n"},
                    ConversionCase{mdRich, u"#Title", u"<p>#Title</p>\n"},
                    ConversionCase{mdClassic, u"#Title", u"<h1>Title</h1>\n"},
                    ConversionCase{mdExtended, u"#Title", u"<h1>Title</h1>\n"},
                    ConversionCase{mdClassic, u"# Title", u"<h1>Title</h1>\n"},
                    ConversionCase{mdRich, u"## Title ##", u"<h2>Title</h2>\n"},
                    ConversionCase{mdRich, u"# A#", u"<h1>A#</h1>\n"},
                    ConversionCase{mdRich, u"####### x", u"<h6>x</h6>\n"},
                    ConversionCase{mdRich, u"## Title {#intro}", u"<h2 id=\"intro\">Title</h2>\n"},
                    ConversionCase{mdRich, u"## Title {#}", u"<h2>Title</h2>\n"},
                    ConversionCase{mdRich, u"## A {b} {#c}", u"<h2>A {b} {#c}</h2>\n"},
                    ConversionCase{mdClassic, u"## Title {#intro}", u"<h2>Title {#intro}</h2>\n"},
                    ConversionCase{mdRich, u"Title\n=====", u"<h1>Title</h1>\n"},
                    ConversionCase{mdRich, u"Title {#t}\n---", u"<h2 id=\"t\">Title</h2>\n"},
                    ConversionCase{mdRich, u"Title\n  -", u"<h2>Title</h2>\n"},
                    ConversionCase{mdClassic, u"Title\n  -", u"<p>Title\n-</p>\n"},
                    ConversionCase{mdRich, u"A\nB\n---", u"<p>A</p>\n<h2>B</h2>\n"},
                    ConversionCase{mdRich, u"Para\n# Head\nmore",
                                   u"<p>Para</p>\n<h1>Head</h1>\n<p>more</p>\n"}));

INSTANTIATE_TEST_SUITE_P(
    Lists, BlockConversion,
    testing::Values(
        ConversionCase{mdRich, u"- a\n- b", u"<ul>\n<li>a</li>\n<li>b</li>\n</ul>\n"},
        ConversionCase{mdRich, u"- a\n\n- b",
                       u"<ul>\n<li><p>a</p>\n</li>\n<li><p>b</p>\n</li>\n</ul>\n"},
        ConversionCase{mdRich, u"- a\n    - b",
                       u"<ul>\n<li>a<ul>\n<li>b</li>\n</ul>\n</li>\n</ul>\n"},
        ConversionCase{mdRich, u"- a\n\t- b",
                       u"<ul>\n<li>a<ul>\n<li>b</li>\n</ul>\n</li>\n</ul>\n"},
        ConversionCase{mdRich, u"- a\n  - b", u"<ul>\n<li>a</li>\n<li>b</li>\n</ul>\n"},
        ConversionCase{mdRich, u"1. a\n2. b", u"<ol>\n<li>a</li>\n<li>b</li>\n</ol>\n"},
        ConversionCase{mdRich, u"1) x", u"<ol>\n<li>x</li>\n</ol>\n"},
        ConversionCase{mdRich, u"1.x", u"<p>1.x</p>\n"},
        ConversionCase{mdRich, u"- a\n1. b", u"<ul>\n<li>a</li>\n<li>b</li>\n</ul>\n"},
        ConversionCase{mdRich, u"- a\n\n1. b",
                       u"<ul>\n<li>a</li>\n</ul>\n<ol>\n<li>b</li>\n</ol>\n"},
        ConversionCase{mdRich, u"Items:\n- a", u"<p>Items:</p>\n<ul>\n<li>a</li>\n</ul>\n"},
        ConversionCase{mdClassic, u"Items:\n- a", u"<p>Items:\n- a</p>\n"},
        ConversionCase{mdRich, u"- a\n\n    more",
                       u"<ul>\n<li><p>a</p>\n<p>more</p>\n</li>\n</ul>\n"},
        ConversionCase{mdRich, u"- a\nlazy", u"<ul>\n<li>a\nlazy</li>\n</ul>\n"},
        ConversionCase{mdRich, u"- item {#i1}\n- b",
                       u"<ul>\n<li id=\"i1\">item</li>\n<li>b</li>\n</ul>\n"},
        ConversionCase{mdRich, u"- a\n    ```\n    x\n    ```",
                       u"<ul>\n<li>a<pre><code class=\"\">x\n</code></pre>\n</li>\n</ul>\n"},
        ConversionCase{
            mdRich, u"- a\n\n    ```js\n    x\n    ```",
            u"<ul>\n<li><p>a</p>\n<pre><code class=\"js\">x\n</code></pre>\n</li>\n</ul>\n"},
        ConversionCase{mdRich, u"  - - -", u"<hr />\n"},
        ConversionCase{
            mdRich, u"- a {#x}\n    - b\n        - c {#y}\n\n            deep\n\n      tail\n  - d",
            u"<ul>\n<li id=\"x\">a<ul>\n<li><p>b</p>\n<ul>\n<li id=\"y\"><p>c</p>\n"
            u"<p>deep</p>\n</li>\n</ul>\n<p>tail</p>\n</li>\n</ul>\n</li>\n<li>d</li>\n"
            u"</ul>\n"}));

INSTANTIATE_TEST_SUITE_P(
    QuotesAndCode, BlockConversion,
    testing::Values(
        ConversionCase{mdRich, u"> a\n> b", u"<blockquote><p>a\nb</p>\n</blockquote>\n"},
        ConversionCase{mdRich, u"> a\nb", u"<blockquote><p>a\nb</p>\n</blockquote>\n"},
        ConversionCase{mdRich, u"> - a\n> - b",
                       u"<blockquote><ul>\n<li>a</li>\n<li>b</li>\n</ul>\n</blockquote>\n"},
        ConversionCase{mdRich, u"> > deep\n\nafter",
                       u"<blockquote><blockquote><p>deep</p>\n</blockquote>\n</blockquote>\n"
                       u"<p>after</p>\n"},
        ConversionCase{mdRich, u"text\n    more", u"<p>text</p>\n<pre><code>more\n</code></pre>\n"},
        ConversionCase{mdClassic, u"text\n    more", u"<p>text\nmore</p>\n"},
        ConversionCase{mdRich, u"    x = 1\n\n    y < 2",
                       u"<pre><code>x = 1\n\ny &lt; 2\n</code></pre>\n"},
        ConversionCase{mdRich, u"    - x", u"<pre><code>- x\n</code></pre>\n"},
        ConversionCase{mdRich, u"~~~sql\nselect 1\n~~~",
                       u"<pre><code class=\"sql\">select 1\n</code></pre>\n"},
        ConversionCase{mdRich, u"```sql\nselect 1\n```",
                       u"<pre><code class=\"sql\">select 1\n</code></pre>\n"},
        ConversionCase{mdRich, u"```\n\ncode <b>\n\n```\nafter",
                       u"<pre><code class=\"\">code &lt;b&gt;\n</code></pre>\n<p>after</p>\n"},
        ConversionCase{mdRich, u"```js\nnever closed\n\nstill code",
                       u"<pre><code class=\"js\">never closed\n\nstill code\n</code></pre>\n"},
        ConversionCase{mdRich, u"```\nx\n~~~\ny",
                       u"<pre><code class=\"\">x\n</code></pre>\n<p>y</p>\n"},
        ConversionCase{mdClassic, u"```\nx\n```", u"<p><code>`\nx\n</code>`</p>\n"}));

INSTANTIATE_TEST_SUITE_P(
    RulersAndHtml, BlockConversion,
    testing::Values(
        ConversionCase{mdRich, u"---", u"<hr />\n"},
        ConversionCase{mdRich, u"a\n\n* * *\nb", u"<p>a</p>\n<hr />\n<p>b</p>\n"},
        ConversionCase{mdRich, u"<div>\nhello\n</div>", u"<div>\nhello\n</div>\n"},
        ConversionCase{mdRich, u"<div>\na\n\n</div>\nafter", u"<div>\na\n\n</div>\n<p>after</p>\n"},
        ConversionCase{mdRich, u"<div><p>", u"<p><div><p></p>\n"},
        ConversionCase{mdRich, u"<span>x</span>", u"<p><span>x</span></p>\n"},
        ConversionCase{mdRich, u"<hr>", u"<hr>\n"},
        ConversionCase{mdRich, u"<!-- note -->", u"<!-- note -->\n"},
        ConversionCase{mdRich, u"<!-- a\nb -->\nafter", u"<!-- a\nb -->\n<p>after</p>\n"},
        ConversionCase{mdRich, u"<div>\n<script>alert(1)</script>\n</div>",
                       u"<div>\n&lt;script>alert(1)&lt;/script>\n</div>\n"},
        ConversionCase{mdRich, u"<div><div></p></div>", u"<p><div><div></p></div></p>\n"},
        ConversionCase{mdRich, u"<div>\n<div>\n</div>", u"<p><div></p>\n<div>\n</div>\n"},
        ConversionCase{mdRich, u"<div>\n<p>\n</div>\n</p>", u"<p><div>\n<p>\n</div>\n</p></p>\n"},
        ConversionCase{mdRich, u"</div>\n</div>\nx", u"</div>\n</div>\n<p>x</p>\n"},
        ConversionCase{mdRich, u"> <div>\n> a\n> </div>\n\nb",
                       u"<blockquote><div>\na\n</div>\n</blockquote>\n<p>b</p>\n"}));

TEST(Reading, ACharacterZeroEndsTheSource) {
    const QChar text[] = {u'a', QChar(0), u'b'};
    EXPECT_EQ(convert(mdRich, QString(text, 3)), u"<p>a</p>\n"_s);
}

} // namespace
