#include "markdown/MarkdownInline.h"
#include "markdown/MarkdownTables.h"
#include "MarkdownTestSupport.h"
#include "markdown/MarkdownUtils.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

using namespace Qt::StringLiterals;

namespace {

class BracketLinks : public TSpanEmitter {
public:
    void emitSpan(QString& out, const QString& content) override {
        out += u"{"_s + content + u"}"_s;
    }
};

// Searches run directly until they have cost a few passes over the text, then from position
// indexes; both ways must give the same HTML.
TEST(InlineIndexes, AgreeWithTheDirectScan) {
    const char16_t* snippets[] = {
        u"$a\\$b$ $c$ $d e$",
        u"<a:b\\>c> <m@x \\> y> <q@r> <a:b",
        u"[l](/a(b)c \"t\\\"x\") [m](/d e) [n](/f(g)",
        u"[l](</a\\>b>) [k]( <c> \"t\" ) [r]",
        u"<a title=\"x>y\" b='\"'>t</a> <p \"open> <br/> <x '>",
        u"&#x41; &amp &bogus; &\\#65; &#65",
        u"[a [b] c](/x) [a](/b\\)c) d) ![i](x [u][r] [v][]",
        u"`a``b` ``c`d`` \\\\*a* \\(a (b) c",
        u"*a _b ~c ^d ==e ++f ~~g __h **i",
        u"\"q\" (C) -- --- ... << >> x^2^ <<a",
        u"[[a]] ]] [[b",
    };
    for (auto dialect : {mdClassic, mdRich, mdExtended}) {
        TConfiguration config(true);
        config.SetDialect(dialect);
        config.setSpecialLinkEmitter(std::make_unique<BracketLinks>());
        TEmitter emitter(config);
        TTable tables(emitter);
        emitter.setTables(tables);
        emitter.addLinkRef(u"r"_s, std::make_shared<TLinkRef>(TLinkRef{u"/r"_s, {}, false}));
        for (const char16_t* snippet : snippets) {
            const QString text =
                QString::fromUtf16(snippet) + u"\n"_s + QString::fromUtf16(snippet);
            QString direct;
            QString indexed;
            TUtils::seedRandom(1);
            InlineScan(emitter, text, 0, std::numeric_limits<qint64>::max())
                .render(direct, 0, int(text.size()));
            TUtils::seedRandom(1);
            InlineScan(emitter, text, 0, 0).render(indexed, 0, int(text.size()));
            EXPECT_EQ(indexed, direct) << "dialect " << int(dialect) << ": " << text.toStdString();
        }
    }
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
        u"*_~^"_s.repeated(n),
        u"[![a "_s.repeated(n),
        u"["_s.repeated(n) + u"](x)"_s.repeated(n),
        u"<"_s.repeated(n),
        u"&"_s.repeated(n),
        u"<a "_s.repeated(n),
        u">"_s.repeated(n) + u" x"_s,
        u"- "_s.repeated(n) + u"x"_s,
        u"1. "_s.repeated(n) + u"x"_s,
        u"> - "_s.repeated(n) + u"x"_s,
        table,
        definitions,
        QString(100000, u'a'),
        QString(n, u'\n'),
        u"<div>\n"_s.repeated(n / 10),
        u"`"_s.repeated(n) + u"x"_s,
        u"(("_s.repeated(n),
        u"[a]("_s.repeated(n),
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
    const QString quotes = convert(mdRich, u">"_s.repeated(n) + u" x"_s);
    EXPECT_EQ(quotes,
              u"<blockquote>"_s.repeated(n) + u"<p>x</p>\n"_s + u"</blockquote>\n"_s.repeated(n));
    const QString lists = convert(mdRich, u"- "_s.repeated(n) + u"x"_s);
    EXPECT_EQ(lists, u"<ul>\n<li>"_s.repeated(n) + u"x"_s + u"</li>\n</ul>\n"_s.repeated(n));
    // Each item on its own line, indented four spaces more than its parent.
    constexpr int depth = 300;
    QString ramp;
    for (int level = 0; level < depth; ++level)
        ramp += u"    "_s.repeated(level) + u"- x\n"_s;
    EXPECT_EQ(convert(mdRich, ramp),
              u"<ul>\n<li>x"_s.repeated(depth) + u"</li>\n</ul>\n"_s.repeated(depth));
}

} // namespace
