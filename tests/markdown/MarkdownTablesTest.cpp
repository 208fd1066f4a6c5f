#include "markdown/MarkdownTables.h"
#include "markdown/MarkdownBlocks.h"
#include "markdown/MarkdownEmitter.h"
#include "MarkdownTestSupport.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class TableConversion : public testing::TestWithParam<ConversionCase> {};

TEST_P(TableConversion, GivesExactHtml) {
    const ConversionCase& c = GetParam();
    EXPECT_EQ(convert(c.dialect, QString::fromUtf16(c.markdown)), QString::fromUtf16(c.html));
}

INSTANTIATE_TEST_SUITE_P(
    Tables, TableConversion,
    testing::Values(
        ConversionCase{mdRich, u"| A | B |\n|:--|--:|\n| 1 | 2 |",
                       u"<table>\n  <tr>\n    <th align=\"left\">A</th>\n    <th "
                       u"align=\"right\">B</th>\n  </tr>\n  <tr>\n    <td align=\"left\">1</td>\n "
                       u"   <td align=\"right\">2</td>\n  </tr>\n</table>\n"},
        ConversionCase{mdRich, u"A | B\n--- | ---\n1 | 2",
                       u"<table>\n  <tr>\n    <th>A</th>\n    <th>B</th>\n  </tr>\n  <tr>\n    "
                       u"<td>1</td>\n    <td>2</td>\n  </tr>\n</table>\n"},
        ConversionCase{mdRich, u"| A | B |\n|:-:|:---:|\n| 1 | 2 |",
                       u"<table>\n  <tr>\n    <th align=\"center\">A</th>\n    <th "
                       u"align=\"center\">B</th>\n  </tr>\n  <tr>\n    <td "
                       u"align=\"center\">1</td>\n    <td align=\"center\">2</td>\n  "
                       u"</tr>\n</table>\n"},
        ConversionCase{mdRich, u"| A | B | C |\n|---|---|---|\n| 1 | 2 |",
                       u"<table>\n  <tr>\n    <th>A</th>\n    <th>B</th>\n    <th>C</th>\n  "
                       u"</tr>\n  <tr>\n    <td>1</td>\n    <td>2</td>\n  </tr>\n</table>\n"},
        ConversionCase{mdRich, u"| A | B |\n|---|---|\n| 1 | 2 | 3 |",
                       u"<table>\n  <tr>\n    <th>A</th>\n    <th>B</th>\n  </tr>\n</table>\n"
                       u"<p>| 1 | 2 | 3 |</p>\n"},
        ConversionCase{mdRich, u"| A | B |\n|---|---|\n| x |",
                       u"<table>\n  <tr>\n    <th>A</th>\n    <th>B</th>\n  </tr>\n</table>\n"
                       u"<p>| x |</p>\n"},
        ConversionCase{mdRich, u"| A | B |\n|---|---|\n| a \\| b | **x** |",
                       u"<table>\n  <tr>\n    <th>A</th>\n    <th>B</th>\n  </tr>\n  <tr>\n    "
                       u"<td>a | b</td>\n    <td><strong>x</strong></td>\n  </tr>\n</table>\n"},
        ConversionCase{mdRich, u"| A | B |\n|---|---|\n| `a|b` | c |",
                       u"<table>\n  <tr>\n    <th>A</th>\n    <th>B</th>\n  </tr>\n</table>\n"
                       u"<p>| <code>a|b</code> | c |</p>\n"},
        ConversionCase{mdRich, u"Intro\n| A | B |\n|---|---|\n| 1 | 2 |",
                       u"<p>Intro</p>\n<table>\n  <tr>\n    <th>A</th>\n    <th>B</th>\n  "
                       u"</tr>\n  <tr>\n    <td>1</td>\n    <td>2</td>\n  </tr>\n</table>\n"},
        ConversionCase{mdRich, u"| A | B |\n|---|---|\n| a < b | c |",
                       u"<table>\n  <tr>\n    <th>A</th>\n    <th>B</th>\n  </tr>\n  <tr>\n    "
                       u"<td>a < b< /td>\n    <td>c</td>\n  </tr>\n</table>\n"},
        ConversionCase{mdClassic, u"| A | B |\n|:--|--:|\n| 1 | 2 |",
                       u"<p>| A | B |\n|:--|--:|\n| 1 | 2 |</p>\n"},
        ConversionCase{mdExtended, u"| A | B |\n|:--|--:|\n| 1 | 2 |",
                       u"<p>| A | B |\n|:&ndash;|&ndash;:|\n| 1 | 2 |</p>\n"}));

// A separator with doubled outer pipes has fewer alignment entries than a row has cells;
// those cells get no alignment and the conversion goes on.
TEST(Table, CellsBeyondTheAlignmentsGetNone) {
    EXPECT_EQ(convert(mdRich, u"| A | B | C | D |\n||:--|--:||\n| 1 | 2 | 3 | 4 |\n\nafter"_s),
              u"<table>\n  <tr>\n    <th align=\"left\">A</th>\n    <th align=\"right\">B</th>\n"
              u"    <th>C</th>\n    <th>D</th>\n  </tr>\n  <tr>\n    <td align=\"left\">1</td>\n"
              u"    <td align=\"right\">2</td>\n    <td>3</td>\n    <td>4</td>\n  </tr>\n"
              u"</table>\n<p>after</p>\n"_s);
}

// The table's own tags are not read again; the HTML must be what reading them gives.
TEST(Table, OwnTagsReadBackAsTheInlinePassReadsThem) {
    const char16_t* markdownTables[] = {
        u"| *a | b* |\n|:-:|--:|\n| `x | y` |",
        u"| a < b | [l](/x \"t\") |\n|---|---|\n| <td> | </td> |",
        u"| **x | y** \"q\" |\n|---|---|\n| &amp; | <b>z</b> -- |",
        u"| $x | y$ |\n|---|---|\n| ![i](/i) | <a:b> |",
    };
    TConfiguration config(true);
    config.SetDialect(mdRich);
    TEmitter emitter(config);
    TTable tables(emitter);
    emitter.setTables(tables);
    for (const char16_t* table : markdownTables) {
        DocumentStore store;
        TBlock* block = store.newBlock();
        for (const QString& row : QString::fromUtf16(table).split(u'\n')) {
            TLine* line = store.newLine(row);
            line->Init();
            block->AppendLine(line);
        }
        std::vector<std::pair<int, int>> cells;
        std::vector<std::pair<int, int>> tags;
        const QString html = TTable::ProcTable(block->FLines, cells, tags);
        QString read;
        emitter.recursiveEmitLine(read, html, 0, mtNONE);
        QString built;
        emitter.emitBuiltHtml(built, html, tags);
        EXPECT_EQ(built, read) << html.toStdString();
    }
}

} // namespace
