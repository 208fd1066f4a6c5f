#include "MarkdownTestSupport.h"
#include "MarkdownUtils.h"

#include <gtest/gtest.h>

#include <random>

using namespace Qt::StringLiterals;

namespace {

// Long texts are scanned with position indexes, short ones directly; both must give the same
// HTML. A snippet followed by a long plain line is converted as the snippet alone plus that
// line.
TEST(InlineIndexes, AgreeWithTheDirectScan) {
    const QString pad = u"\n"_s + QString(400, u'x');
    const char16_t* snippets[] = {
        u"$a\\$b$ $c$",
        u"<a:b\\>c> <m@x \\> y> <q@r>",
        u"[l](/a(b)c \"t\\\"x\") [m](/d e) [n](/f(g)",
        u"[l](</a\\>b>) [k]( <c> \"t\" )",
        u"<a title=\"x>y\" b='\"'>t</a> <p \"open>",
        u"&#x41; &amp &bogus; &\\#65; &#65",
        u"[a [b] c](/x) [a](/b\\)c) d) ![i](x",
        u"`a``b` ``c`d`` \\\\*a* \\(a (b) c",
        u"*a _b ~c ^d ==e ++f ~~g __h **i",
        u"\"q\" (C) -- --- ... << >> x^2^",
        u"[[a]] ]] [[b",
    };
    for (const char16_t* snippet : snippets) {
        for (auto dialect : {mdClassic, mdRich, mdExtended}) {
            const QString text = QString::fromUtf16(snippet);
            TUtils::seedRandom(1);
            QString alone = convert(dialect, text);
            ASSERT_TRUE(alone.endsWith(u"</p>\n"_s)) << alone.toStdString();
            alone.chop(5);
            TUtils::seedRandom(1);
            EXPECT_EQ(convert(dialect, text + pad), alone + pad + u"</p>\n"_s)
                << "dialect " << int(dialect) << ": " << text.toStdString();
        }
    }
}

QString repeated(const QString& unit, int count) {
    QString text;
    text.reserve(unit.size() * count);
    for (int i = 0; i < count; ++i)
        text += unit;
    return text;
}

QString mixedMarkers(int count) {
    const QString markers[] = {u"*"_s, u"_"_s,  u"~"_s,  u"^"_s,  u"=="_s, u"++"_s,
                               u"`"_s, u"**"_s, u"__"_s, u"~~"_s, u"$"_s};
    std::mt19937 random(1);
    QString text;
    for (int i = 0; i < count; ++i)
        text += markers[random() % std::size(markers)] + u"a"_s;
    return text;
}

// Hostile inputs at a reduced size: each must convert without a crash or an unbounded
// recursion (run this under the sanitizers).
TEST(HostileInput, ConvertsWithoutCrashing) {
    constexpr int n = 5000;
    QString table = u"| A | B |\n|---|---|\n"_s;
    for (int i = 0; i < n; ++i)
        table += u"| *a* | b |\n"_s;
    QString definitions;
    for (int i = 0; i < n; ++i)
        definitions += u"[l%1]: /u%1 \"t\"\n"_s.arg(i);
    for (int i = 0; i < n; ++i)
        definitions += u"[x][l%1] [l%1]\n"_s.arg(i);
    const QString inputs[] = {
        mixedMarkers(n),
        repeated(u"*_~^"_s, n),
        repeated(u"[![a "_s, n),
        repeated(u"["_s, n) + repeated(u"](x)"_s, n),
        repeated(u"<"_s, n),
        repeated(u"&"_s, n),
        repeated(u"<a "_s, n),
        repeated(u">"_s, n) + u" x"_s,
        repeated(u"- "_s, n) + u"x"_s,
        repeated(u"1. "_s, n) + u"x"_s,
        repeated(u"> - "_s, n) + u"x"_s,
        table,
        definitions,
        QString(100000, u'a'),
        QString(n, u'\n'),
        repeated(u"<div>\n"_s, n / 10),
        repeated(u"`"_s, n) + u"x"_s,
        repeated(u"(("_s, n),
        repeated(u"[a]("_s, n),
    };
    for (auto dialect : {mdClassic, mdRich, mdExtended}) {
        for (const QString& input : inputs) {
            const QString html = convert(dialect, input);
            EXPECT_EQ(html.isEmpty(), input.trimmed().isEmpty());
        }
    }
}

TEST(HostileInput, DeepNestingKeepsItsStructure) {
    constexpr int n = 5000;
    const QString quotes = convert(mdRich, repeated(u">"_s, n) + u" x"_s);
    EXPECT_EQ(quotes,
              repeated(u"<blockquote>"_s, n) + u"<p>x</p>\n"_s + repeated(u"</blockquote>\n"_s, n));
    const QString lists = convert(mdRich, repeated(u"- "_s, n) + u"x"_s);
    EXPECT_EQ(lists, repeated(u"<ul>\n<li>"_s, n) + u"x"_s + repeated(u"</li>\n</ul>\n"_s, n));
}

} // namespace
