#include "markdown/MarkdownMathCode.h"
#include "MarkdownTestSupport.h"
#include "markdown/MarkdownUtils.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

class InlineConversion : public testing::TestWithParam<ConversionCase> {};

TEST_P(InlineConversion, GivesExactHtml) {
    const ConversionCase& c = GetParam();
    EXPECT_EQ(convert(c.dialect, QString::fromUtf16(c.markdown)), QString::fromUtf16(c.html));
}

const QString kChart = u"<img src=\"https://chart.googleapis.com/chart?cht=tx&chl="_s;

INSTANTIATE_TEST_SUITE_P(
    Emphasis, InlineConversion,
    testing::Values(
        ConversionCase{mdRich, u"a *b* c", u"<p>a <em>b</em> c</p>\n"},
        ConversionCase{mdRich, u"a * b", u"<p>a * b</p>\n"},
        ConversionCase{mdRich, u"*a", u"<p>*a</p>\n"},
        ConversionCase{mdRich, u"**bold** and __bold__",
                       u"<p><strong>bold</strong> and <strong>bold</strong></p>\n"},
        ConversionCase{mdRich, u"snake_case_name", u"<p>snake_case_name</p>\n"},
        ConversionCase{mdClassic, u"snake_case_name", u"<p>snake<em>case</em>name</p>\n"},
        ConversionCase{mdRich, u"*a **b** c*", u"<p><em>a </em><em>b</em><em> c</em></p>\n"},
        ConversionCase{mdRich, u"**a *b* c**", u"<p><strong>a <em>b</em> c</strong></p>\n"},
        ConversionCase{mdRich, u"*a _b* c_", u"<p>*a <em>b* c</em></p>\n"},
        ConversionCase{mdRich, u"x^2^, H~2~O, ~~gone~~, ++new++, ==hi==",
                       u"<p>x<sup>2</sup>, H<sub>2</sub>O, <del>gone</del>, <ins>new</ins>, "
                       u"<mark>hi</mark></p>\n"},
        ConversionCase{mdExtended, u"~~a~~ ++b++ ==c== x^2^",
                       u"<p>~~a~~ ++b++ ==c== x<sup>2</sup></p>\n"},
        ConversionCase{mdClassic, u"x^2^ a -- b", u"<p>x^2^ a -- b</p>\n"}));

INSTANTIATE_TEST_SUITE_P(
    CodeSpans, InlineConversion,
    testing::Values(ConversionCase{mdRich, u"`a < b`", u"<p><code>a &lt; b</code></p>\n"},
                    ConversionCase{mdRich, u"``a`b``", u"<p><code>a`b</code></p>\n"},
                    ConversionCase{mdRich, u"` x ` and `*y*`",
                                   u"<p><code>x</code> and <code>*y*</code></p>\n"},
                    ConversionCase{mdRich, u"`open only", u"<p>`open only</p>\n"}));

INSTANTIATE_TEST_SUITE_P(
    Links, InlineConversion,
    testing::Values(ConversionCase{mdRich, u"[text](/page \"T\")",
                                   u"<p><a href=\"/page\" title=\"T\">text</a></p>\n"},
                    ConversionCase{mdRich, u"![alt](/img.png)",
                                   u"<p><img src=\"/img.png\" alt=\"alt\"/></p>\n"},
                    ConversionCase{mdRich, u"[a+b](/x+y)", u"<p><a href=\"/x%2by\">a+b</a></p>\n"},
                    ConversionCase{mdRich, u"[t](</a b>) [u](/f(x)y)",
                                   u"<p><a href=\"/a b\">t</a> <a href=\"/f(x)y\">u</a></p>\n"},
                    ConversionCase{mdRich, u"[text][r]\n\n[r]: /target",
                                   u"<p><a href=\"/target\">text</a></p>\n"},
                    ConversionCase{
                        mdRich, u"[r] and [R][]\n\n[r]: /target",
                        u"<p><a href=\"/target\">r</a> and <a href=\"/target\">R</a></p>\n"},
                    ConversionCase{mdRich, u"[unknown]", u"<p>[unknown]</p>\n"},
                    ConversionCase{mdRich, u"[*a*](/x)", u"<p><a href=\"/x\"><em>a</em></a></p>\n"},
                    ConversionCase{mdRich, u"[HTML] and [HTML][]\n\n[html]: * \"Hyper Text\"",
                                   u"<p><abbr title=\"Hyper Text\">HTML</abbr> and "
                                   u"<a href=\"*\" title=\"Hyper Text\">HTML</a></p>\n"},
                    ConversionCase{mdRich, u"[[page]]", u"<p>[[page]]</p>\n"},
                    ConversionCase{mdRich, u"<x:y> <http://a.b/c?d=1&e>",
                                   u"<p><a href=\"x:y\">x:y</a> <a href=\"http://a.b/c?d=1&amp;e\">"
                                   u"http://a.b/c?d=1&amp;e</a></p>\n"}));

INSTANTIATE_TEST_SUITE_P(
    HtmlAndEntities, InlineConversion,
    testing::Values(
        ConversionCase{mdRich, u"a < b", u"<p>a &lt; b</p>\n"},
        ConversionCase{mdRich, u"AT&T", u"<p>AT&amp;T</p>\n"},
        ConversionCase{mdRich, u"&copy; &#169; &#xA9;", u"<p>&copy; &#169; &#xA9;</p>\n"},
        ConversionCase{mdRich, u"&nosuch; &Aacute; &#xG1; &#;",
                       u"<p>&amp;nosuch; &amp;Aacute; &amp;#xG1; &amp;#;</p>\n"},
        ConversionCase{mdRich, u"<b>x</b> <br/>", u"<p><b>x</b> <br /></p>\n"},
        ConversionCase{mdRich, u"a <script>x</script>", u"<p>a &lt;script>x&lt;/script></p>\n"},
        ConversionCase{mdRich, u"\\*no\\* \\<b>", u"<p>*no* <b></p>\n"},
        ConversionCase{mdRich, u"a  \nb", u"<p>a<br />\nb</p>\n"}));

INSTANTIATE_TEST_SUITE_P(
    Typography, InlineConversion,
    testing::Values(
        ConversionCase{mdRich, u"(C) (TM) a -- b --- c...",
                       u"<p>&copy; &trade; a &ndash; b &mdash; c&hellip;</p>\n"},
        ConversionCase{mdRich, u"He said \"hi\" (R)", u"<p>He said &ldquo;hi&rdquo; &reg;</p>\n"},
        ConversionCase{mdRich, u"<<a>>", u"<p>&laquo;a&raquo;</p>\n"},
        ConversionCase{mdClassic, u"He said \"hi\" (C)", u"<p>He said \"hi\" (C)</p>\n"}));

INSTANTIATE_TEST_SUITE_P(
    Math, InlineConversion,
    testing::Values(ConversionCase{mdRich, u"$5 and $10", u"<p>$5 and $10</p>\n"},
                    ConversionCase{mdRich, u"$x + y$", u"<p>$x + y$</p>\n"},
                    ConversionCase{mdRich, u"$a\\$", u"<p>$a$</p>\n"},
                    ConversionCase{mdClassic, u"x $a^2$ y", u"<p>x $a^2$ y</p>\n"},
                    ConversionCase{mdExtended, u"x $a^2$ y", u"<p>x $a^2$ y</p>\n"}));

TEST(Formula, IsAnImageOfTheChartService) {
    EXPECT_EQ(kFormulaImageService, u"https://chart.googleapis.com"_s);
    EXPECT_EQ(convert(mdRich, u"x $x^2$ y"_s),
              u"<p>x "_s + kChart + u"x^2\" alt=\"x^2 \"/> y</p>\n"_s);
    EXPECT_EQ(convert(mdRich, u"$a+b$"_s), u"<p>"_s + kChart + u"a%2bb\" alt=\"a+b \"/></p>\n"_s);
    EXPECT_EQ(convert(mdRich, u"$a&b$"_s),
              u"<p>"_s + kChart + u"a&amp;b\" alt=\"a&amp;b \"/></p>\n"_s);
    EXPECT_EQ(convert(mdRich, u"$\\frac{1}{2}$"_s),
              u"<p>"_s + kChart + u"\\frac{1}{2}\" alt=\"\\frac{1}{2} \"/></p>\n"_s);
}

// E-mail links hide the address behind random character references; decoded, the link is
// exactly the address.
TEST(MailLink, DecodesToTheAddress) {
    TUtils::seedRandom(7);
    const QString first = convert(mdRich, u"<me@example.com>"_s);
    TUtils::seedRandom(7);
    EXPECT_EQ(convert(mdRich, u"<me@example.com>"_s), first);

    QString decoded = first;
    static const QRegularExpression reference(u"&#(x?)([0-9A-F]+);"_s);
    QRegularExpressionMatch match;
    while ((match = reference.match(decoded)).hasMatch()) {
        const int code = match.captured(2).toInt(nullptr, match.captured(1).isEmpty() ? 10 : 16);
        decoded.replace(match.capturedStart(), match.capturedLength(), QChar(code));
    }
    EXPECT_EQ(decoded, u"<p><a href=\"mailto:me@example.com\">me@example.com</a></p>\n"_s);
    EXPECT_FALSE(first.contains(u"example"_s));
}

// With the option on, only images carried in the text stay images; formulas are not
// Markdown images and stay as they are.
TEST(RemoteImagesAsLinks, WritesAddressesAsLinks) {
    const struct {
        const char16_t* markdown;
        const char16_t* html;
    } cases[] = {
        {u"![diagram](http://host/x.png \"T\")",
         u"<p><a href=\"http://host/x.png\" title=\"T\">diagram: http://host/x.png</a></p>\n"},
        {u"![](https://h/a+b.png?q=1&r=<2>)",
         u"<p><a href=\"https://h/a%2bb.png?q=1&amp;r=&lt;2&gt;\">https://h/a+b.png?q=1&amp;r="
         u"&lt;2&gt;</a></p>\n"},
        {u"![\"q\"](/local.png)", u"<p><a href=\"/local.png\">&quot;q&quot;: /local.png</a></p>\n"},
        {u"![r][id]\n\n[id]: //host/r.png",
         u"<p><a href=\"//host/r.png\">r: //host/r.png</a></p>\n"},
        {u"![dot](DATA:image/png;base64,iVBO)",
         u"<p><img src=\"DATA:image/png;base64,iVBO\" alt=\"dot\"/></p>\n"},
        {u"[link](http://host/) $x^2$", nullptr},
    };
    for (const auto& c : cases) {
        const QString markdown = QString::fromUtf16(c.markdown);
        const auto converter = TMarkdownProcessor::CreateDialect(mdRich);
        converter->config().setRemoteImagesAsLinks(true);
        const QString expected = c.html ? QString::fromUtf16(c.html) : convert(mdRich, markdown);
        EXPECT_EQ(converter->Process(markdown), expected) << markdown.toStdString();
    }
    EXPECT_FALSE(TMarkdownProcessor::CreateDialect(mdRich)->config().remoteImagesAsLinks());
}

// Formulas for the page to typeset: the TeX source, escaped, in an element of its own.
TEST(LocalMath, WritesEachDelimiterAsItsSourceAndLeavesTheRestText) {
    const struct {
        const char16_t* markdown;
        const char16_t* html;
    } cases[] = {
        {u"a $x^2$ b", u"<p>a <span class=\"math-inline\">x^2</span> b</p>\n"},
        {u"$x + y = z$", u"<p><span class=\"math-inline\">x + y = z</span></p>\n"},
        {u"$$\\frac{1}{2}$$", u"<p><span class=\"math-display\">\\frac{1}{2}</span></p>\n"},
        {u"\\(a<b \\& c\\)", u"<p><span class=\"math-inline\">a&lt;b \\&amp; c</span></p>\n"},
        {u"\\[\"x\" > 0\\]", u"<p><span class=\"math-display\">&quot;x&quot; &gt; 0</span></p>\n"},
        {u"$$\na = b \\\\\nc\n$$",
         u"<p><span class=\"math-display\">\na = b \\\\\nc\n</span></p>\n"},
        {u"$5 and $10", u"<p>$5 and $10</p>\n"},
        {u"$ x$ and $x $ and $x$2", u"<p>$ x$ and $x $ and $x$2</p>\n"},
        {u"`$x$` and `a` $b `c$`",
         u"<p><code>$x$</code> and <code>a</code> $b <code>c$</code></p>\n"},
        {u"    $x$", u"<pre><code>$x$\n</code></pre>\n"},
        {u"$$x+y and more", u"<p>$$x+y and more</p>\n"},
        {u"\\(open and \\[open", u"<p>(open and [open</p>\n"},
        {u"$a\\$b$ costs \\$5", u"<p><span class=\"math-inline\">a\\$b</span> costs $5</p>\n"},
        {u"$$ $$", u"<p>$$ $$</p>\n"},
        {u"$$$$ x", u"<p>$$$$ x</p>\n"},
    };
    for (const auto& c : cases) {
        const QString markdown = QString::fromUtf16(c.markdown);
        const auto converter = TMarkdownProcessor::CreateDialect(mdRich);
        converter->config().setMathMode(TConfiguration::MathMode::Local);
        EXPECT_EQ(converter->Process(markdown), QString::fromUtf16(c.html))
            << markdown.toStdString();
    }
    // The other dialects have no formulas, and the default stays the image form.
    for (TMarkdownProcessorDialect dialect : {mdClassic, mdExtended}) {
        const auto converter = TMarkdownProcessor::CreateDialect(dialect);
        converter->config().setMathMode(TConfiguration::MathMode::Local);
        EXPECT_EQ(converter->Process(u"$x$ \\(y\\)"_s), u"<p>$x$ (y)</p>\n"_s);
    }
    EXPECT_EQ(TMarkdownProcessor::CreateDialect(mdRich)->config().mathMode(),
              TConfiguration::MathMode::Image);
}

class SpecialLinks : public TSpanEmitter {
public:
    void emitSpan(QString& out, const QString& content) override {
        out += u"<wiki>"_s + content + u"</wiki>"_s;
    }
};

TEST(SpecialLink, GoesToTheHookWithItsFormattedContent) {
    const auto converter = TMarkdownProcessor::CreateDialect(mdRich);
    converter->config().setSpecialLinkEmitter(std::make_unique<SpecialLinks>());
    EXPECT_EQ(converter->Process(u"see [[*my* page]] and [[open"_s),
              u"<p>see <wiki><em>my</em> page</wiki> and [[open</p>\n"_s);
}

} // namespace
