#include "markdown/MarkdownEngine.h"
#include "markdown/MarkdownUtils.h"

#include <deque>

namespace {

bool isListLine(TLineType t) {
    return t == ltULIST || t == ltOLIST || t == ltBLIST;
}

// Moves the lines before current (or all of them when the walk ran off the end) into a new
// child block.
TBlock* splitUpTo(TBlock* root, TLine* current) {
    return root->split(current ? current->FPrevious : root->FLineTail);
}

// Quotes and list items are built depth first, as nested calls would build them, but with an
// explicit stack: a hostile text may nest them tens of thousands deep. Each kind of line
// that starts a block has its own step; a step splits its block off the frame's block and
// says where the frame goes on.
class BlockBuilder {
public:
    BlockBuilder(const TConfiguration& config, TTable& tables, bool useExtensions)
        : m_config(config), m_tables(tables), m_useExtensions(useExtensions),
          m_ids(config.isDialect({mdRich, mdExtended})) {}

    void build(TBlock* root, bool listMode);

private:
    struct Frame {
        TBlock* root;
        bool listMode;
        TLine* line;
        bool afterQuote = false;
        TBlock* list = nullptr;
        TBlock* nextItem = nullptr;
    };

    TLineType typeOf(TLine* line) const { return line->getLineType(m_config, m_tables); }
    void begin(TBlock* block, bool inList);
    // Starts the next item of the frame's list, or finishes the list; false when an item was
    // started and the frame must wait for it.
    bool finishList(Frame& frame);

    void paragraph(Frame& frame, TLine* line);
    void heading(Frame& frame, TLine* line, TLineType t);
    void indentedCode(Frame& frame, TLine* line);
    void list(Frame& frame, TLine* line, TLineType t);
    // Pushes the quote's own frame: frame must not be used after it.
    void quote(Frame& frame, TLine* line);
    void ruleOrXml(Frame& frame, TLine* line, TLineType t);
    void fencedCode(Frame& frame, TLine* line);
    void table(Frame& frame, TLine* line);
    void splitListItems(TBlock* list);

    const TConfiguration& m_config;
    TTable& m_tables;
    const bool m_useExtensions;
    const bool m_ids;
    // A deque grows without copying what it holds, which counts when the stack is half a
    // million frames deep.
    std::deque<Frame> m_frames;
};

void BlockBuilder::begin(TBlock* block, bool inList) {
    TLine* line = block->FLines;
    if (inList) {
        block->removeListIndent(m_config, m_tables);
        if (m_ids && block->FLines && typeOf(block->FLines) != ltCODE)
            block->setId(block->FLines->stripID());
    }
    while (line && line->FIsEmpty)
        line = line->FNext;
    m_frames.push_back({block, inList, line});
}

void BlockBuilder::build(TBlock* root, bool listMode) {
    begin(root, listMode);
    while (!m_frames.empty()) {
        Frame& frame = m_frames.back();
        if (frame.afterQuote) {
            frame.afterQuote = false;
            frame.line = frame.root->FLines;
        }
        if (frame.list && !finishList(frame))
            continue;
        TLine* line = frame.line;
        if (!line) {
            m_frames.pop_back();
            continue;
        }
        const TLineType t = typeOf(line);
        switch (t) {
        case ltOTHER:
            paragraph(frame, line);
            break;
        case ltHEADLINE:
        case ltHEADLINE1:
        case ltHEADLINE2:
            heading(frame, line, t);
            break;
        case ltCODE:
            indentedCode(frame, line);
            break;
        case ltULIST:
        case ltOLIST:
        case ltBLIST:
            list(frame, line, t);
            break;
        case ltBQUOTE:
            quote(frame, line);
            break;
        case ltHR:
        case ltXML:
            ruleOrXml(frame, line, t);
            break;
        case ltFENCED_CODE:
            fencedCode(frame, line);
            break;
        case ltTABLE:
            table(frame, line);
            break;
        case ltEMPTY:
            frame.line = line->FNext;
            break;
        }
    }
}

bool BlockBuilder::finishList(Frame& frame) {
    if (TBlock* item = frame.nextItem) {
        frame.nextItem = item->FNext;
        begin(item, true);
        return false;
    }
    frame.list->expandListParagraphs();
    frame.list = nullptr;
    return true;
}

void BlockBuilder::paragraph(Frame& frame, TLine* line) {
    TBlock* const block = frame.root;
    const bool wasEmpty = line->FPrevEmpty;
    TLine* current = line;
    bool atLine = false;
    while (current && !current->FIsEmpty) {
        const TLineType t = typeOf(current);
        if (((frame.listMode || m_useExtensions) && isListLine(t)) ||
            (m_useExtensions && (t == ltCODE || t == ltFENCED_CODE)) || t == ltHEADLINE ||
            t == ltHEADLINE1 || t == ltHEADLINE2 || t == ltBQUOTE || t == ltHR || t == ltXML ||
            t == ltTABLE) {
            atLine = true;
            break;
        }
        current = current->FNext;
    }
    if (atLine) {
        splitUpTo(block, current)->FType = frame.listMode && !wasEmpty ? btNONE : btPARAGRAPH;
        block->removeLeadingEmptyLines();
    } else {
        const bool plain = frame.listMode && !current && !wasEmpty;
        block->removeLeadingEmptyLines();
        splitUpTo(block, current)->FType = plain ? btNONE : btPARAGRAPH;
    }
    frame.line = block->FLines;
}

void BlockBuilder::heading(Frame& frame, TLine* line, TLineType t) {
    TBlock* const block = frame.root;
    if (line->FPrevious)
        block->split(line->FPrevious);
    if (t != ltHEADLINE)
        line->FNext->setEmpty();
    TBlock* headline = block->split(line);
    headline->FType = btHEADLINE;
    if (t != ltHEADLINE)
        headline->FHlDepth = t == ltHEADLINE1 ? 1 : 2;
    if (m_ids)
        headline->setId(line->stripID());
    headline->transfromHeadline();
    block->removeLeadingEmptyLines();
    frame.line = block->FLines;
}

void BlockBuilder::indentedCode(Frame& frame, TLine* line) {
    TLine* current = line;
    while (current && (current->FIsEmpty || current->FLeading > 3))
        current = current->FNext;
    TBlock* code = splitUpTo(frame.root, current);
    code->FType = btCODE;
    code->removeSurroundingEmptyLines();
    frame.line = current;
}

void BlockBuilder::list(Frame& frame, TLine* line, TLineType t) {
    TLine* current = line;
    while (current && !(!current->FIsEmpty && current->FPrevEmpty && current->FLeading == 0 &&
                        typeOf(current) != t))
        current = current->FNext;
    TBlock* items = splitUpTo(frame.root, current);
    items->FType = t == ltULIST ? btUNORDERED_LIST : btORDERED_LIST;
    items->FLines->FPrevEmpty = false;
    items->FLineTail->FNextEmpty = false;
    items->removeSurroundingEmptyLines();
    items->FLineTail->FNextEmpty = false;
    items->FLines->FPrevEmpty = false;
    splitListItems(items);
    frame.line = current;
    frame.list = items;
    frame.nextItem = items->FBlocks;
}

void BlockBuilder::quote(Frame& frame, TLine* line) {
    TLine* current = line;
    while (current && !(!current->FIsEmpty && current->FPrevEmpty && current->FLeading == 0 &&
                        typeOf(current) != ltBQUOTE))
        current = current->FNext;
    TBlock* quoted = splitUpTo(frame.root, current);
    quoted->FType = btBLOCKQUOTE;
    quoted->removeSurroundingEmptyLines();
    quoted->removeBlockQuotePrefix();
    frame.afterQuote = true;
    begin(quoted, false);
}

void BlockBuilder::ruleOrXml(Frame& frame, TLine* line, TLineType t) {
    TBlock* const block = frame.root;
    if (line->FPrevious)
        block->split(line->FPrevious);
    block->split(t == ltHR ? line : line->FXmlEndLine)->FType = t == ltHR ? btRULER : btXML;
    block->removeLeadingEmptyLines();
    frame.line = block->FLines;
}

void BlockBuilder::fencedCode(Frame& frame, TLine* line) {
    TLine* current = line->FNext;
    while (current && typeOf(current) != ltFENCED_CODE)
        current = current->FNext;
    if (current)
        current = current->FNext;
    TBlock* code = splitUpTo(frame.root, current);
    code->removeSurroundingEmptyLines();
    code->FType = btFENCED_CODE;
    code->setMeta(TUtils::getMetaFromFence(code->FLines->FValue));
    code->FLines->setEmpty();
    if (typeOf(code->FLineTail) == ltFENCED_CODE)
        code->FLineTail->setEmpty();
    code->removeSurroundingEmptyLines();
    frame.line = current;
}

void BlockBuilder::table(Frame& frame, TLine* line) {
    TLine* current = line;
    while (current && m_tables.isRow(current))
        current = current->FNext;
    TBlock* rows = splitUpTo(frame.root, current);
    rows->removeSurroundingEmptyLines();
    rows->FType = btTABLE;
    frame.line = current;
}

void BlockBuilder::splitListItems(TBlock* list) {
    TLine* line = list->FLines ? list->FLines->FNext : nullptr;
    while (line) {
        TLine* next = line->FNext;
        if (isListLine(typeOf(line)) ||
            (!line->FIsEmpty && line->FPrevEmpty && line->FLeading == 0))
            list->split(line->FPrevious)->FType = btLIST_ITEM;
        line = next;
    }
    if (list->FLineTail)
        list->split(list->FLineTail)->FType = btLIST_ITEM;
}

} // namespace

void TMarkdownEngine::buildBlocks(TBlock* root, bool listMode) {
    BlockBuilder(*FConfig, *FTables, FuseExtensions).build(root, listMode);
}
