#pragma once

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

class TEmitter;
class TLine;

// Pipe tables (dialect 1). One instance per converter keeps the separator's inner pipe
// count between the classification of a header line and the row test that follows it.
class TTable {
public:
    explicit TTable(TEmitter& tableEmitter) : FTableEmitter(tableEmitter) {}

    int hasFormatChars(const TLine* line);
    static int ColCount(const TLine* line);
    bool isRow(const TLine* line) const;
    static void RowSplit(const QString& Input, QStringList& Strings);
    // RowSplit without copies: the cells are views into Input.
    static void splitRow(QStringView Input, std::vector<QStringView>& cells);
    static void AlignFormat(const QString& f, QStringList& sl);
    // The table's HTML; cellRanges and tags tell where its cell texts and its own tags are.
    static QString ProcTable(const TLine* lines, std::vector<std::pair<int, int>>& cellRanges,
                             std::vector<std::pair<int, int>>& tags);
    void emitTableLines(QString& out, const TLine* lines);

    // Answer mode: a pipe inside a code span or after a backslash splits no cell, and every
    // cell is written on its own, so markup never runs from one cell into the next.
    static void splitAnswerRow(QStringView row, std::vector<QStringView>& cells);
    static int answerCellCount(const TLine* line);
    void emitAnswerTable(QString& out, const TLine* lines);

    int separatorPipeCount() const { return FSeparatorPipeCount; }

private:
    int FSeparatorPipeCount = 0;
    TEmitter& FTableEmitter;
};
