#include "AdversarialInputs.h"

#include <random>

using namespace Qt::StringLiterals;

namespace {

QString mixedMarkers(int count) {
    const QString markers[] = {u"*"_s, u"_"_s,  u"~"_s,  u"^"_s,  u"=="_s, u"++"_s,
                               u"`"_s, u"``"_s, u"**"_s, u"__"_s, u"~~"_s, u"$"_s};
    std::mt19937 random(1);
    QString text;
    for (int i = 0; i < count; ++i)
        text += markers[random() % std::size(markers)] + u"w "_s;
    return text;
}

QString table(int rows) {
    QString text = u"| Name | Value | Note |\n|:--|--:|:-:|\n"_s;
    for (int i = 0; i < rows; ++i)
        text += u"| **row %1** | `%1` | see [x](/r/%1) |\n"_s.arg(i);
    return text;
}

QString definitionsAndReferences(int count) {
    QString text;
    for (int i = 0; i < count; ++i)
        text += u"[ref%1]: /target/%1 \"Title %1\"\n"_s.arg(i);
    text += u'\n';
    for (int i = 0; i < count; ++i)
        text += u"[ref%1] "_s.arg(i);
    return text;
}

// Items nested 1, 2, ... depth levels deep, each level indented by indent more spaces, the
// ramp repeated up to about size characters.
QString nestedListRamps(int indent, int depth, qsizetype size) {
    QString text;
    while (text.size() < size)
        for (int level = 0; level < depth && text.size() < size; ++level)
            text += QString(qsizetype(indent) * level, u' ') + u"- item %1\n"_s.arg(level);
    return text;
}

} // namespace

std::vector<std::pair<QString, std::function<QString()>>> adversarialInputs() {
    constexpr int kMegabyte = 1 << 20;
    const QString sentence =
        u"Some **bold** and *em* text with `code`, a [link](/x) and \"quotes\" -- "_s;
    return {
        {u"100k mixed unmatched markers"_s,
         [=] { return mixedMarkers(100000) + u"x"_s.repeated(700000); }},
        {u"nested markers *_~^ x 50k"_s,
         [=] { return u"*_~^++==`"_s.repeated(50000) + u"w"_s.repeated(600000); }},
        {u"50k [ and !["_s, [=] { return u"[![ "_s.repeated(50000) + u"z"_s.repeated(800000); }},
        {u"1M <"_s, [=] { return u"<"_s.repeated(kMegabyte); }},
        {u"1M &"_s, [=] { return u"&"_s.repeated(kMegabyte); }},
        {u"<a x 350k"_s, [=] { return u"<a "_s.repeated(350000); }},
        {u"10k nested quotes x 100 lines"_s,
         [=] { return (u">"_s.repeated(10000) + u" x\n"_s).repeated(100); }},
        {u"10k nested lists x 50 lines"_s,
         [=] { return (u"- "_s.repeated(10000) + u"x\n"_s).repeated(50); }},
        {u"500k nested list markers on one line"_s,
         [=] { return u"- "_s.repeated(500000) + u"x\n"_s; }},
        {u"4.5 MB of lists nested 1500 deep, 4-space indents"_s,
         [=] { return nestedListRamps(4, 1500, 4500000); }},
        {u"4.5 MB of lists nested 2100 deep, 2-space indents"_s,
         [=] { return nestedListRamps(2, 2100, 4500000); }},
        {u"10k-row table"_s, [=] { return table(10000); }},
        {u"100k definitions + references"_s, [=] { return definitionsAndReferences(100000); }},
        {u"1 MB line"_s, [=] { return sentence.repeated(kMegabyte / int(sentence.size())); }},
        {u"1M line breaks"_s, [=] { return u"\n"_s.repeated(kMegabyte); }},
        {u"50k ( in link targets"_s, [=] { return u"[a]("_s.repeated(250000); }},
        {u"20k unclosed <div> lines"_s, [=] { return u"<div>\n"_s.repeated(20000); }},
    };
}
