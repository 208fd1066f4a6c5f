#include "markdown/MarkdownBlocks.h"

#include "markdown/MarkdownConfiguration.h"
#include "markdown/MarkdownUtils.h"

#include <algorithm>

TLine* DocumentStore::newLine(QString value) {
    return m_lines.make(*this, std::move(value));
}

TBlock* DocumentStore::newBlock() {
    return m_blocks.make(*this);
}

namespace {
const QString kNoText;
} // namespace

const QString& TBlock::id() const {
    return FTexts ? FTexts->id : kNoText;
}

void TBlock::setId(QString id) {
    if (!id.isEmpty() || FTexts)
        texts().id = std::move(id);
}

const QString& TBlock::meta() const {
    return FTexts ? FTexts->meta : kNoText;
}

void TBlock::setMeta(QString meta) {
    texts().meta = std::move(meta);
}

void TBlock::setListStart(int value) {
    if (value != 1 || FTexts)
        texts().listStart = value;
}

void TBlock::setTask(TaskState value) {
    if (value != tsNone || FTexts)
        texts().task = value;
}

void TBlock::appendChild(TBlock* child) {
    if (FBlockTail)
        FBlockTail->FNext = child;
    else
        FBlocks = child;
    FBlockTail = child;
}

TBlock::Texts& TBlock::texts() {
    if (!FTexts)
        FTexts = std::make_unique<Texts>();
    return *FTexts;
}

void TBlock::AppendLine(TLine* line) {
    FStore->changed();
    if (FLineTail) {
        FLineTail->FNextEmpty = line->FIsEmpty;
        line->FPrevEmpty = FLineTail->FIsEmpty;
        FLineTail->FNext = line;
        line->FPrevious = FLineTail;
        FLineTail = line;
    } else {
        FLines = FLineTail = line;
    }
}

void TBlock::removeLine(TLine* line) {
    FStore->changed();
    if (line->FPrevious)
        line->FPrevious->FNext = line->FNext;
    else
        FLines = line->FNext;
    if (line->FNext)
        line->FNext->FPrevious = line->FPrevious;
    else
        FLineTail = line->FPrevious;
    line->FPrevious = line->FNext = nullptr;
}

bool TBlock::removeLeadingEmptyLines() {
    bool removed = false;
    while (FLines && FLines->FIsEmpty) {
        removeLine(FLines);
        removed = true;
    }
    return removed;
}

void TBlock::removeTrailingEmptyLines() {
    while (FLineTail && FLineTail->FIsEmpty)
        removeLine(FLineTail);
}

void TBlock::removeSurroundingEmptyLines() {
    if (!FLines)
        return;
    removeTrailingEmptyLines();
    removeLeadingEmptyLines();
}

TBlock* TBlock::split(TLine* line) {
    FStore->changed();
    TBlock* block = FStore->newBlock();
    if (line) {
        block->FLines = FLines;
        block->FLineTail = line;
        FLines = line->FNext;
        if (FLines)
            FLines->FPrevious = nullptr;
        else
            FLineTail = nullptr;
        line->FNext = nullptr;
    }
    if (FBlockTail)
        FBlockTail->FNext = block;
    else
        FBlocks = block;
    FBlockTail = block;
    return block;
}

void TBlock::removeListIndent(const TConfiguration& config, TTable& tables) {
    for (TLine* line = FLines; line; line = line->FNext) {
        if (line->FIsEmpty)
            continue;
        qsizetype drop = 0;
        switch (line->getLineType(config, tables)) {
        case ltULIST:
            drop = line->FLeading + 2;
            break;
        case ltOLIST:
            drop = line->FValue.indexOf(u'.') + 2;
            break;
        case ltBLIST:
            drop = line->FValue.indexOf(u')') + 2;
            break;
        default:
            drop = std::min(line->FLeading, 4);
        }
        line->dropPrefix(drop);
        line->InitLeading();
    }
}

void TBlock::removeBlockQuotePrefix() {
    for (TLine* line = FLines; line; line = line->FNext) {
        if (line->FIsEmpty || line->FValue.at(line->FLeading) != u'>')
            continue;
        qsizetype drop = line->FLeading + 1;
        if (drop < line->FValue.size() && line->FValue.at(drop) == u' ')
            ++drop;
        line->dropPrefix(drop);
        line->InitLeading();
    }
}

void TBlock::expandListParagraphs() {
    if (FType != btORDERED_LIST && FType != btUNORDERED_LIST)
        return;
    bool hasParagraph = false;
    for (TBlock* item = FBlocks; item && !hasParagraph; item = item->FNext)
        if (item->FType == btLIST_ITEM)
            for (TBlock* child = item->FBlocks; child && !hasParagraph; child = child->FNext)
                hasParagraph = child->FType == btPARAGRAPH;
    if (!hasParagraph)
        return;
    for (TBlock* item = FBlocks; item; item = item->FNext)
        if (item->FType == btLIST_ITEM)
            for (TBlock* child = item->FBlocks; child; child = child->FNext)
                if (child->FType == btNONE)
                    child->FType = btPARAGRAPH;
}

void TBlock::transfromHeadline() {
    if (FHlDepth > 0)
        return;
    TLine* line = FLines;
    if (!line || line->FIsEmpty)
        return;
    const QString& text = line->FValue;
    const int L = line->length();
    int level = 0;
    int i = line->FLeading;
    while (i < L && text[i] == u'#') {
        ++level;
        ++i;
    }
    while (i < L && text[i] == u' ')
        ++i;
    if (i >= L) {
        line->setEmpty();
    } else {
        int k = L - line->FTrailing - 1;
        while (k >= 0 && text[k] == u'#')
            --k;
        while (k >= 0 && text[k] == u' ')
            --k;
        if (k + 1 < L && text[k + 1] != u' ')
            k = L;
        line->setValue(k >= L ? text.mid(i) : text.mid(i, std::max(k - i + 1, 0)));
        line->FLeading = 0;
        line->FTrailing = 0;
    }
    FHlDepth = std::min(level, 6);
}
