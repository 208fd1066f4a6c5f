#include "MarkdownEngine.h"
#include "MarkdownUtils.h"

#include <vector>

namespace {

bool isListLine(TLineType t) {
    return t == ltULIST || t == ltOLIST || t == ltBLIST;
}

// Moves the lines before current (or all of them when the walk ran off the end) into a new
// child block.
TBlock* splitUpTo(TBlock* root, TLine* current) {
    return root->split(current ? current->FPrevious : root->FLineTail);
}

} // namespace

// Quotes and list items are built depth first, as nested calls would build them, but with an
// explicit stack: a hostile text may nest them tens of thousands deep.
void TMarkdownEngine::buildBlocks(TBlock* root, bool listMode) {
    struct TFrame {
        TBlock* root;
        bool listMode;
        TLine* line;
        bool afterQuote = false;
        TBlock* list = nullptr;
        TBlock* nextItem = nullptr;
    };
    const TConfiguration& config = *FConfig;
    const bool ids = config.isDialect({mdRich, mdExtended});
    std::vector<TFrame> frames;
    const auto begin = [&](TBlock* block, bool inList) {
        TLine* line = block->FLines;
        if (inList) {
            block->removeListIndent(config, *FTables);
            if (ids && block->FLines && block->FLines->getLineType(config, *FTables) != ltCODE)
                block->FId = block->FLines->stripID();
        }
        while (line && line->FIsEmpty)
            line = line->FNext;
        frames.push_back({block, inList, line});
    };

    begin(root, listMode);
    while (!frames.empty()) {
        TFrame& frame = frames.back();
        TBlock* const block = frame.root;
        if (frame.afterQuote) {
            frame.afterQuote = false;
            frame.line = block->FLines;
        }
        if (frame.list) {
            if (TBlock* item = frame.nextItem) {
                frame.nextItem = item->FNext;
                begin(item, true);
                continue;
            }
            frame.list->expandListParagraphs();
            frame.list = nullptr;
        }
        TLine* line = frame.line;
        if (!line) {
            frames.pop_back();
            continue;
        }
        const TLineType t = line->getLineType(config, *FTables);
        switch (t) {
        case ltOTHER: {
            const bool wasEmpty = line->FPrevEmpty;
            TLine* current = line;
            bool atLine = false;
            while (current && !current->FIsEmpty) {
                const TLineType t2 = current->getLineType(config, *FTables);
                if (((frame.listMode || FuseExtensions) && isListLine(t2)) ||
                    (FuseExtensions && (t2 == ltCODE || t2 == ltFENCED_CODE)) || t2 == ltHEADLINE ||
                    t2 == ltHEADLINE1 || t2 == ltHEADLINE2 || t2 == ltBQUOTE || t2 == ltHR ||
                    t2 == ltXML || t2 == ltTABLE) {
                    atLine = true;
                    break;
                }
                current = current->FNext;
            }
            if (atLine) {
                splitUpTo(block, current)->FType =
                    frame.listMode && !wasEmpty ? btNONE : btPARAGRAPH;
                block->removeLeadingEmptyLines();
            } else {
                const bool plain = frame.listMode && !current && !wasEmpty;
                block->removeLeadingEmptyLines();
                splitUpTo(block, current)->FType = plain ? btNONE : btPARAGRAPH;
            }
            frame.line = block->FLines;
            break;
        }
        case ltHEADLINE:
        case ltHEADLINE1:
        case ltHEADLINE2: {
            if (line->FPrevious)
                block->split(line->FPrevious);
            if (t != ltHEADLINE)
                line->FNext->setEmpty();
            TBlock* heading = block->split(line);
            heading->FType = btHEADLINE;
            if (t != ltHEADLINE)
                heading->FHlDepth = t == ltHEADLINE1 ? 1 : 2;
            if (ids)
                heading->FId = line->stripID();
            heading->transfromHeadline();
            block->removeLeadingEmptyLines();
            frame.line = block->FLines;
            break;
        }
        case ltCODE: {
            TLine* current = line;
            while (current && (current->FIsEmpty || current->FLeading > 3))
                current = current->FNext;
            TBlock* code = splitUpTo(block, current);
            code->FType = btCODE;
            code->removeSurroundingEmptyLines();
            frame.line = current;
            break;
        }
        case ltULIST:
        case ltOLIST:
        case ltBLIST: {
            TLine* current = line;
            while (current &&
                   !(!current->FIsEmpty && current->FPrevEmpty && current->FLeading == 0 &&
                     current->getLineType(config, *FTables) != t))
                current = current->FNext;
            TBlock* list = splitUpTo(block, current);
            list->FType = t == ltULIST ? btUNORDERED_LIST : btORDERED_LIST;
            list->FLines->FPrevEmpty = false;
            list->FLineTail->FNextEmpty = false;
            list->removeSurroundingEmptyLines();
            list->FLineTail->FNextEmpty = false;
            list->FLines->FPrevEmpty = false;
            splitListItems(list);
            frame.line = current;
            frame.list = list;
            frame.nextItem = list->FBlocks;
            break;
        }
        case ltBQUOTE: {
            TLine* current = line;
            while (current &&
                   !(!current->FIsEmpty && current->FPrevEmpty && current->FLeading == 0 &&
                     current->getLineType(config, *FTables) != ltBQUOTE))
                current = current->FNext;
            TBlock* quote = splitUpTo(block, current);
            quote->FType = btBLOCKQUOTE;
            quote->removeSurroundingEmptyLines();
            quote->removeBlockQuotePrefix();
            frame.afterQuote = true;
            begin(quote, false);
            break;
        }
        case ltHR:
        case ltXML: {
            if (line->FPrevious)
                block->split(line->FPrevious);
            block->split(t == ltHR ? line : line->FXmlEndLine)->FType = t == ltHR ? btRULER : btXML;
            block->removeLeadingEmptyLines();
            frame.line = block->FLines;
            break;
        }
        case ltFENCED_CODE: {
            TLine* current = line->FNext;
            while (current && current->getLineType(config, *FTables) != ltFENCED_CODE)
                current = current->FNext;
            if (current)
                current = current->FNext;
            TBlock* code = splitUpTo(block, current);
            code->removeSurroundingEmptyLines();
            code->FType = btFENCED_CODE;
            code->FMeta = TUtils::getMetaFromFence(code->FLines->FValue);
            code->FLines->setEmpty();
            if (code->FLineTail->getLineType(config, *FTables) == ltFENCED_CODE)
                code->FLineTail->setEmpty();
            code->removeSurroundingEmptyLines();
            frame.line = current;
            break;
        }
        case ltTABLE: {
            TLine* current = line;
            while (current && FTables->isRow(current))
                current = current->FNext;
            TBlock* table = splitUpTo(block, current);
            table->removeSurroundingEmptyLines();
            table->FType = btTABLE;
            frame.line = current;
            break;
        }
        case ltEMPTY:
            frame.line = line->FNext;
            break;
        }
    }
}

void TMarkdownEngine::splitListItems(TBlock* list) {
    TLine* line = list->FLines ? list->FLines->FNext : nullptr;
    while (line) {
        TLine* next = line->FNext;
        if (isListLine(line->getLineType(*FConfig, *FTables)) ||
            (!line->FIsEmpty && line->FPrevEmpty && line->FLeading == 0))
            list->split(line->FPrevious)->FType = btLIST_ITEM;
        line = next;
    }
    if (list->FLineTail)
        list->split(list->FLineTail)->FType = btLIST_ITEM;
}
