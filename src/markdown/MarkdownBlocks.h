#pragma once

#include "markdown/MarkdownLines.h"

#include <QHash>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

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

// Storage whose objects never move: chunks, each filled before the next (larger) one is
// made, so that a long text costs a few allocations instead of one per handful of lines.
template <class T> class ChunkedStore {
public:
    template <class... Args> T* make(Args&&... args) {
        if (m_chunks.empty() || m_chunks.back().size() == m_chunks.back().capacity()) {
            const std::size_t size =
                m_chunks.empty() ? 64 : std::min<std::size_t>(2 * m_chunks.back().capacity(), 4096);
            m_chunks.emplace_back().reserve(size);
        }
        return &m_chunks.back().emplace_back(std::forward<Args>(args)...);
    }

private:
    std::vector<std::vector<T>> m_chunks;
};

// Owns every line and block of one conversion, so that unlinking a line or dropping a whole
// tree never walks (or recurses through) a long list.
class DocumentStore {
public:
    TLine* newLine(QString value);
    TBlock* newBlock();

    // Lines change while blocks are built; answers cached about them hold until the next
    // change of any line's text or links.
    void changed() { ++m_epoch; }

    enum HtmlStart { hsUnknown, hsNotBlock, hsBlock, hsScanAlone };
    // isHtmlBlockStart for a line that starts with an element: one pass over the lines that
    // follow answers it for every such line at once, so that many unclosed elements do not
    // cost a scan to the end of the text each.
    HtmlStart htmlBlockStart(const TLine* line, TLine*& end);
    // The first line at or after line whose text holds "-->", or none.
    TLine* commentEndFrom(TLine* line);

private:
    struct HtmlAnswer {
        HtmlStart start;
        TLine* end;
    };
    void scanHtmlElements(TLine* first);
    void forgetIfChanged();

    ChunkedStore<TLine> m_lines;
    ChunkedStore<TBlock> m_blocks;
    std::uint64_t m_epoch = 0;
    std::uint64_t m_cacheEpoch = 0;
    QHash<const TLine*, HtmlAnswer> m_htmlStarts;
    QHash<const TLine*, TLine*> m_commentEnds;
};

// A node of the block tree: a leaf holds lines, any other block holds children.
class TBlock {
public:
    explicit TBlock(DocumentStore& store) : FStore(&store) {}

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

    // A heading's or list item's id attribute; an empty id is none.
    const QString& id() const;
    void setId(QString id);
    // A fenced code block's info text.
    const QString& meta() const;
    void setMeta(QString meta);
    // Answer mode: the number an ordered list starts with, and a list item's check box.
    enum TaskState : std::uint8_t { tsNone, tsOpen, tsDone };
    int listStart() const { return FTexts ? FTexts->listStart : 1; }
    void setListStart(int value);
    TaskState task() const { return FTexts ? FTexts->task : tsNone; }
    void setTask(TaskState value);
    void appendChild(TBlock* child);

    // Ordered by size, so that a long text's many blocks take little room.
    TBlock* FBlocks = nullptr;
    TBlock* FBlockTail = nullptr;
    TLine* FLines = nullptr;
    TLine* FLineTail = nullptr;
    TBlock* FNext = nullptr;
    TBlockType FType = btNONE;
    int FHlDepth = 0;

private:
    // Few blocks have an id or an info text; kept apart, they do not enlarge the many that
    // have neither (a nested list makes two blocks a level).
    struct Texts {
        QString id;
        QString meta;
        int listStart = 1;
        TaskState task = tsNone;
    };
    Texts& texts();

    DocumentStore* FStore;
    std::unique_ptr<Texts> FTexts;
};
