#pragma once

#include "markdown/MarkdownBlocks.h"
#include "markdown/MarkdownConfiguration.h"

#include <QHash>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

class TTable;
struct ScanTables;

enum TMarkToken : std::uint8_t {
    mtNONE,
    mtEM_STAR,
    mtEM_UNDERSCORE,
    mtSUB_TILDE,
    mtSTRONG_STAR,
    mtSTRONG_UNDERSCORE,
    mtSTRIKE_TILDE,
    mtINS_PLUS,
    mtMARK_EQ,
    mtMATH_DOLLAR,
    mtCODE_SINGLE,
    mtCODE_DOUBLE,
    mtLINK,
    mtHTML,
    mtIMAGE,
    mtENTITY,
    mtESCAPE,
    mtSUPER,
    mtX_COPY,
    mtX_REG,
    mtX_TRADE,
    mtX_LAQUO,
    mtX_RAQUO,
    mtX_NDASH,
    mtX_MDASH,
    mtX_HELLIP,
    mtX_RDQUO,
    mtX_LDQUO,
    mtX_LINK_OPEN,
    mtX_LINK_CLOSE
};

// Writes the HTML of a block tree and owns the link reference definitions.
class TEmitter {
public:
    explicit TEmitter(TConfiguration& config);
    ~TEmitter();

    void setTables(TTable& tables) { FTables = &tables; }
    TConfiguration& config() const { return FConfig; }

    void addLinkRef(const QString& key, std::shared_ptr<TLinkRef> linkRef);
    const TLinkRef* findLinkRef(const QString& id) const;
    // No stored id is longer than this, so longer link texts need no lookup.
    qsizetype longestLinkId() const { return FLongestId; }

    // Answer mode's footnotes: definitions by label, numbered in the order of their first
    // reference; they live for one conversion.
    void clearFootnotes();
    void addFootnote(const QString& label, TBlock* block);
    bool hasFootnote(QStringView label) const;
    void writeFootnoteRef(QString& out, QStringView label);
    // The section of every footnote referenced so far, with links back to the references.
    void emitFootnotes(QString& out);

    void emit(QString& out, TBlock* block);
    void emitLines(QString& out, TBlock* block);
    void emitMarkedLines(QString& out, const TLine* lines);
    void emitAnswerLines(QString& out, const TLine* lines);
    void emitCodeLines(QString& out, const TLine* lines, const QString& meta, bool removeIndent);
    void emitRawLines(QString& out, const TLine* lines);

    // Writes the inline HTML of in from start; with a closing token, returns where that token
    // starts (or -1 when it never comes), otherwise -1 after writing to the end.
    int recursiveEmitLine(QString& out, const QString& in, int start, TMarkToken token);
    // recursiveEmitLine of HTML the converter built, whose own tags are listed (start and end
    // positions, in order).
    void emitBuiltHtml(QString& out, const QString& html,
                       const std::vector<std::pair<int, int>>& tags);
    static QChar whitespaceToSpace(QChar c) { return c.isSpace() ? QChar(u' ') : c; }

    // Link texts nest by recursion; below this depth their text is written without markup.
    static constexpr int kMaxLinkTextDepth = 16;
    int recursiveEmitLinkText(QString& out, const QString& name, int depth);

    // Tables of the inline scanner, kept between scans of the same nesting depth.
    std::unique_ptr<ScanTables> takeScanTables(int depth);
    void returnScanTables(int depth, std::unique_ptr<ScanTables> tables);

private:
    void openBlock(QString& out, const TBlock* block);
    void closeBlock(QString& out, const TBlock* block);
    void writeIdAttribute(QString& out, const TBlock* block);

    struct Footnote {
        TBlock* block = nullptr;
        int number = 0;
        int references = 0;
    };
    static QString footnoteKey(QStringView label) { return label.toString().toLower(); }

    TConfiguration& FConfig;
    TTable* FTables = nullptr;
    QHash<QString, Footnote> FFootnotes;
    std::vector<QString> FFootnoteOrder;
    QHash<QString, std::shared_ptr<TLinkRef>> linkRefs;
    qsizetype FLongestId = 0;
    std::vector<std::unique_ptr<ScanTables>> FScanTables;
};
