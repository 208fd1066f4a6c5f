#include "MarkdownTables.h"

#include "MarkdownEmitter.h"
#include "MarkdownLines.h"
#include "MarkdownUtils.h"

using namespace Qt::StringLiterals;

namespace {

// First and last non-space positions of a line, with one outer pipe set aside at each end.
bool innerRange(const TLine* line, int& first, int& last) {
    if (!line || line->FIsEmpty || line->FLeading > 3)
        return false;
    first = line->FLeading;
    last = line->length() - line->FTrailing - 1;
    if (line->FValue[first] == u'|')
        ++first;
    if (line->FValue[last] == u'|')
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
        const QChar ch = line->FValue[p];
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
        if (line->FValue[p] == u'|' && line->FValue[p - 1] != u'\\')
            ++count;
    return count;
}

bool TTable::isRow(const TLine* line) const {
    const int count = ColCount(line);
    return count >= 1 && count <= FSeparatorPipeCount;
}

void TTable::RowSplit(const QString& Input, QStringList& Strings) {
    Strings.clear();
    qsizetype first = 0;
    qsizetype last = Input.size() - 1;
    if (!Input.isEmpty() && Input[0] == u'|')
        first = 1;
    if (last >= 0 && Input[last] == u'|' && (last == 0 || Input[last - 1] != u'\\'))
        --last;
    QString cell;
    for (qsizetype k = first; k <= last; ++k) {
        if (Input[k] == u'|' && Input[k - 1] != u'\\') {
            Strings.append(cell);
            cell.clear();
        } else {
            cell += Input[k];
        }
    }
    Strings.append(cell);
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

QString TTable::ProcTable(const TLine* lines) {
    QString rows;
    QStringList aligns;
    QStringList cells;
    bool header = true;
    for (const TLine* line = lines; line && !line->FIsEmpty; line = line ? line->FNext : nullptr) {
        RowSplit(TUtils::trimLow(line->FValue), cells);
        const QString tag = header ? u"th"_s : u"td"_s;
        if (header) {
            AlignFormat(line->FNext ? line->FNext->FValue : QString(), aligns);
            header = false;
            line = line->FNext;
        }
        QString cellLines;
        for (qsizetype i = 0; i < cells.size(); ++i) {
            // A row can have more cells than the separator has entries (a separator with
            // doubled outer pipes); such cells get no alignment.
            const QString align = i < aligns.size() ? aligns[i] : u">"_s;
            cellLines +=
                u"    <"_s + tag + align + TUtils::trimLow(cells[i]) + u"</"_s + tag + u">\n"_s;
        }
        if (!cellLines.isEmpty())
            rows += u"  <tr>\n"_s + cellLines + u"  </tr>\n"_s;
    }
    return u"<table>\n"_s + rows + u"</table>\n"_s;
}

void TTable::emitTableLines(QString& out, const TLine* lines) {
    FTableEmitter.recursiveEmitLine(out, ProcTable(lines), 0, mtNONE);
}
