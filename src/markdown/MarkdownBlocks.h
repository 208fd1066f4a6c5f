#pragma once

#include "MarkdownLines.h"

#include <deque>

enum TBlockType {
    btNONE,
    btBLOCKQUOTE,
    btCODE,
    btFENCED_CODE,
    btHEADLINE,
    btLIST_ITEM,
    btORDERED_LIST,
    btPARAGRAPH,
    btRULER,
    btUNORDERED_LIST,
    btXML,
    btTABLE
};

class TBlock;

// Owns every line and block of one conversion, so that unlinking a line or dropping a whole
// tree never walks (or recurses through) a long list.
class TDocumentStore {
public:
    TLine* newLine(QString value);
    TBlock* newBlock();

private:
    std::deque<TLine> FLines;
    std::deque<TBlock> FBlocks;
};

// A node of the block tree: a leaf holds lines, any other block holds children.
class TBlock {
public:
    explicit TBlock(TDocumentStore& store) : FStore(&store) {}

    void AppendLine(TLine* line);
    void removeLine(TLine* line);
    bool removeLeadingEmptyLines();
    void removeTrailingEmptyLines();
    void removeSurroundingEmptyLines();
    TBlock* split(TLine* line);
    void removeListIndent(const TConfiguration& config, TTable& tables);
    void removeBlockQuotePrefix();
    void expandListParagraphs();
    bool hasLines() const { return FLines != nullptr; }
    void transfromHeadline();

    TBlockType FType = btNONE;
    QString FId;
    TBlock* FBlocks = nullptr;
    TBlock* FBlockTail = nullptr;
    TLine* FLines = nullptr;
    TLine* FLineTail = nullptr;
    int FHlDepth = 0;
    TBlock* FNext = nullptr;
    QString FMeta;

private:
    TDocumentStore* FStore;
};
