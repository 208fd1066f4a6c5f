#include "markdown/MarkdownTables.h"

#include "markdown/MarkdownEmitter.h"
#include "markdown/MarkdownInline.h"
#include "markdown/MarkdownLines.h"
#include "markdown/MarkdownUtils.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// First and last non-space positions of a line, with one outer pipe set aside at each end.
bool innerRange(const TLine* line, int& first, int& last) {
    if (!line || line->FIsEmpty || line->FLeading > 3)
        return false;
    first = line->FLeading;
    last = line->length() - line->FTrailing - 1;
    if (line->FValue.at(first) == u'|')
        ++first;
    if (line->FValue.at(last) == u'|')
        --last;
    return true;
}

} // namespace

int TTable::hasFormatChars(const TLine* line) {
    FSeparatorPipeCount = 0;
    int first = 0;
    int last = 0;
    if (!innerRange(line, first, last))
        return 0;
    int count = 0;
    for (int p = first; p <= last; ++p) {
        const QChar ch = line->FValue.at(p);
        if (ch == u'|')
            ++count;
        else if (ch != u' ' && ch != u'-' && ch != u':')
            return 0;
    }
    FSeparatorPipeCount = count;
    return count;
}

int TTable::ColCount(const TLine* line) {
    int first = 0;
    int last = 0;
    if (!innerRange(line, first, last))
        return 0;
    int count = 0;
    for (int p = first; p <= last; ++p)
        if (line->FValue.at(p) == u'|' && line->FValue.at(p - 1) != u'\\')
            ++count;
    return count;
}

bool TTable::isRow(const TLine* line) const {
    const int count = ColCount(line);
    return count >= 1 && count <= FSeparatorPipeCount;
}

void TTable::RowSplit(const QString& Input, QStringList& Strings) {
    std::vector<QStringView> cells;
    splitRow(Input, cells);
    Strings.clear();
    for (QStringView cell : cells)
        Strings.append(cell.toString());
}

void TTable::splitRow(QStringView Input, std::vector<QStringView>& cells) {
    cells.clear();
    qsizetype first = 0;
    qsizetype last = Input.size() - 1;
    if (!Input.isEmpty() && Input[0] == u'|')
        first = 1;
    if (last >= 0 && Input[last] == u'|' && (last == 0 || Input[last - 1] != u'\\'))
        --last;
    // A cell is the text between two unescaped pipes, escaped pipes with their backslash.
    qsizetype cell = first;
    for (qsizetype k = first; k <= last; ++k) {
        if (Input[k] == u'|' && Input[k - 1] != u'\\') {
            cells.push_back(Input.mid(cell, k - cell));
            cell = k + 1;
        }
    }
    cells.push_back(Input.mid(cell, std::max<qsizetype>(last + 1 - cell, 0)));
}

void TTable::AlignFormat(const QString& f, QStringList& sl) {
    QString t = TUtils::trimLow(f);
    if (t.startsWith(u'|'))
        t.remove(0, 1);
    if (t.endsWith(u'|'))
        t.chop(1);
    RowSplit(t, sl);
    for (QString& entry : sl) {
        const bool left = entry.contains(u":-"_s);
        const bool right = entry.contains(u"-:"_s);
        if (left && right)
            entry = u" align=\"center\">"_s;
        else if (left)
            entry = u" align=\"left\">"_s;
        else if (right)
            entry = u" align=\"right\">"_s;
        else
            entry = u">"_s;
    }
}

QString TTable::ProcTable(const TLine* lines, std::vector<std::pair<int, int>>& cellRanges,
                          std::vector<std::pair<int, int>>& tags) {
    cellRanges.clear();
    tags.clear();
    QString html;
    // Appends a tag of the table and remembers where it is.
    const auto tag = [&](QStringView text) {
        tags.emplace_back(int(html.size()), int(html.size() + text.size()) - 1);
        html += text;
    };
    tag(u"<table>");
    html += u'\n';
    QStringList aligns;
    std::vector<QStringView> cells;
    bool header = true;
    for (const TLine* line = lines; line && !line->FIsEmpty; line = line ? line->FNext : nullptr) {
        splitRow(TUtils::trimLowView(line->FValue), cells);
        const QStringView cellTag = header ? u"th" : u"td";
        if (header) {
            AlignFormat(line->FNext ? line->FNext->FValue : QString(), aligns);
            header = false;
            line = line->FNext;
        }
        if (cells.empty())
            continue;
        html += u"  "_s;
        tag(u"<tr>");
        html += u'\n';
        for (qsizetype i = 0; i < qsizetype(cells.size()); ++i) {
            // A row can have more cells than the separator has entries (a separator with
            // doubled outer pipes); such cells get no alignment.
            const QStringView align = i < aligns.size() ? QStringView(aligns[i]) : u">";
            html += u"    "_s;
            const int openStart = int(html.size());
            html += u'<';
            html += cellTag;
            html += align;
            tags.emplace_back(openStart, int(html.size()) - 1);
            const int cellStart = int(html.size());
            html += TUtils::trimLowView(cells[i]);
            cellRanges.emplace_back(cellStart, int(html.size()));
            const int closeStart = int(html.size());
            html += u"</"_s;
            html += cellTag;
            html += u'>';
            tags.emplace_back(closeStart, int(html.size()) - 1);
            html += u'\n';
        }
        html += u"  "_s;
        tag(u"</tr>");
        html += u'\n';
    }
    tag(u"</table>");
    html += u'\n';
    return html;
}

// The inline pass writes every tag of the table back as it is and passes the white space
// between them; so when no cell text holds a token, that pass would copy the table unchanged.
void TTable::emitTableLines(QString& out, const TLine* lines) {
    if (FTableEmitter.config().answerMode()) {
        emitAnswerTable(out, lines);
        return;
    }
    std::vector<std::pair<int, int>> cellRanges;
    std::vector<std::pair<int, int>> tags;
    const QString html = ProcTable(lines, cellRanges, tags);
    const TConfiguration& config = FTableEmitter.config();
    const bool extensions = config.isDialect({mdRich, mdExtended});
    const bool rich = config.isDialect({mdRich});
    for (const auto& [start, end] : cellRanges) {
        for (int p = start; p < end; ++p) {
            if (tokenAt(html, p, extensions, rich) != mtNONE) {
                FTableEmitter.emitBuiltHtml(out, html, tags);
                return;
            }
        }
    }
    out += html;
}

void TTable::splitAnswerRow(QStringView row, std::vector<QStringView>& cells) {
    cells.clear();
    row = TUtils::trimLowView(row);
    qsizetype first = 0;
    qsizetype last = row.size();
    if (!row.isEmpty() && row[0] == u'|')
        first = 1;
    qsizetype cell = first;
    // A run of backticks whose closing run was not found once is not found later either.
    std::vector<qsizetype> unclosed;
    bool trailingPipe = false;
    for (qsizetype k = first; k < last; ++k) {
        const QChar c = row[k];
        if (c == u'\\') {
            ++k;
        } else if (c == u'`') {
            qsizetype run = k;
            while (run < last && row[run] == u'`')
                ++run;
            const qsizetype length = run - k;
            qsizetype close = -1;
            if (std::find(unclosed.begin(), unclosed.end(), length) == unclosed.end()) {
                for (qsizetype q = run; q < last;) {
                    if (row[q] != u'`') {
                        ++q;
                        continue;
                    }
                    qsizetype end = q;
                    while (end < last && row[end] == u'`')
                        ++end;
                    if (end - q == length) {
                        close = end;
                        break;
                    }
                    q = end;
                }
                if (close < 0)
                    unclosed.push_back(length);
            }
            k = (close < 0 ? run : close) - 1;
        } else if (c == u'|') {
            cells.push_back(row.mid(cell, k - cell));
            cell = k + 1;
            trailingPipe = k == last - 1;
        }
    }
    if (!trailingPipe || cells.empty())
        cells.push_back(row.mid(cell, std::max<qsizetype>(last - cell, 0)));
}

int TTable::answerCellCount(const TLine* line) {
    if (!line || line->FIsEmpty)
        return 0;
    std::vector<QStringView> cells;
    splitAnswerRow(line->FValue, cells);
    return int(cells.size());
}

void TTable::emitAnswerTable(QString& out, const TLine* lines) {
    if (!lines || !lines->FNext)
        return;
    std::vector<QStringView> cells;
    splitAnswerRow(lines->FNext->FValue, cells);
    std::vector<QStringView> aligns;
    for (QStringView cell : cells) {
        const QStringView t = TUtils::trimLowView(cell);
        const bool left = t.startsWith(u':');
        const bool right = t.endsWith(u':');
        aligns.push_back(left && right ? u" align=\"center\""
                         : left        ? u" align=\"left\""
                         : right       ? u" align=\"right\""
                                       : u"");
    }
    out += u"<table>\n<thead>\n"_s;
    const auto row = [&](const TLine* line, QStringView tag) {
        splitAnswerRow(line->FValue, cells);
        out += u"<tr>\n"_s;
        // Every row has the header's cells: missing ones are empty, extra ones dropped.
        for (std::size_t i = 0; i < aligns.size(); ++i) {
            out += u'<';
            out += tag;
            out += aligns[i];
            out += u'>';
            if (i < cells.size()) {
                const QString text = TUtils::trimLowView(cells[i]).toString();
                FTableEmitter.recursiveEmitLine(out, text, 0, mtNONE);
            }
            out += u"</"_s;
            out += tag;
            out += u">\n"_s;
        }
        out += u"</tr>\n"_s;
    };
    row(lines, u"th");
    out += u"</thead>\n"_s;
    const TLine* body = lines->FNext->FNext;
    if (body) {
        out += u"<tbody>\n"_s;
        for (const TLine* line = body; line; line = line->FNext)
            if (!line->FIsEmpty)
                row(line, u"td");
        out += u"</tbody>\n"_s;
    }
    out += u"</table>\n"_s;
}
