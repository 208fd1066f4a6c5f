#pragma once

#include "markdown/MarkdownEmitter.h"
#include "markdown/MarkdownMathCode.h"
#include "markdown/MarkdownUtils.h"

#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// localMath: the rich dialect's local math mode, where "\(" and "\[" open formulas too.
// answers: answer mode, GitHub's inline markup (with math) and nothing typographic.
TMarkToken tokenAt(QStringView in, int position, bool extensions, bool rich,
                   bool localMath = false, bool answers = false);

// The per-position tables of one scan. The emitter keeps one set per nesting depth and
// reuses it, so that scanning a paragraph allocates nothing once the first one is done.
struct ScanTables {
    std::vector<std::uint8_t> tokens;
    std::vector<int> positions;
    std::vector<int> nextPosition;
    std::vector<std::uint8_t> htmlForms;
    std::vector<std::vector<int>> firstClose;
    std::vector<int> nextCode[2];
};

// The inline scanner over one text. The scan as specified retries a closing-token search
// after every unmatched opener; here every position's outcome is computed once, from the
// end of the text backwards, and the HTML is then written along the path actually taken,
// with an explicit stack instead of recursion for nested spans.
class InlineScan {
public:
    // directBudget: how many characters direct searches may cost before the text gets its
    // position indexes; by default a few passes over the text.
    // knownTags: where in holds tags that the converter wrote itself (start and end, in
    // order), which read back as themselves.
    InlineScan(TEmitter& emitter, const QString& in, int depth, qint64 directBudget = -1,
               const std::vector<std::pair<int, int>>* knownTags = nullptr);
    ~InlineScan();
    InlineScan(const InlineScan&) = delete;
    InlineScan& operator=(const InlineScan&) = delete;

    // Where the span closed by token, scanned from start, ends; -1 when it never closes.
    int closeOf(int start, TMarkToken token) const;
    // Writes the HTML of the positions from start up to (not including) stop.
    void render(QString& out, int start, int stop);

private:
    enum CloseKind {
        ckEmStar,
        ckEmUnderscore,
        ckSub,
        ckStrongStar,
        ckStrongUnderscore,
        ckStrike,
        ckIns,
        ckMark,
        ckSuper,
        ckLinkClose,
        kCloseKinds
    };
    enum EscapedSet { esFormula, esAutoLink, esMail, esGreater, esQuote, kEscapedSetCount };
    enum HtmlForm { hfNONE, hfAUTOLINK, hfMAIL, hfTAG, hfKNOWN };

    static int closeKind(TMarkToken opener);
    static bool closes(TMarkToken mt, int kind);
    int spanClose(int position, TMarkToken mt) const;
    int tokenIndexFrom(int position, int from) const;
    // Direct scans are cheap for ordinary text; once they have cost more than a few passes
    // over the text, the scan builds its position indexes instead.
    bool spendDirect(qint64 steps) const;
    int computeNext(int p, int index);

    int untilEscaped(EscapedSet set, int from) const;
    int bracketClose(int start) const;
    int linkTargetEnd(int start) const;
    int skipBlank(int from) const;

    int formulaEnd(int start) const;
    int entityEnd(int start) const;
    int htmlEnd(int start, HtmlForm& form) const;
    int linkEnd(int start, TMarkToken token) const;
    int codeEnd(int start, TMarkToken token, int& a, int& b) const;
    bool knownId(int from, int to, bool linkText) const;

    // The state of render: where it writes, where it is, where the current text stops, and
    // the spans it is inside.
    struct RenderFrame;
    struct Render;
    // Answer mode: the text written since plainFrom was copied from the source; links are
    // made of the bare addresses in it before anything else is written.
    void flushPlain(Render& r);
    bool footnoteAt(int start, int close) const;
    void pushSpan(Render& r, TMarkToken mt, int next);
    void popSpan(Render& r);
    void writeToken(QString& out, int p, int index, TMarkToken mt, bool matched);
    void writeCodeSpan(QString& out, int start, TMarkToken token);
    void writeEntity(QString& out, int start);
    void writeFormula(QString& out, int start);
    // The local math mode: the formula opened at start, found on first use.
    std::optional<LocalFormula> localFormulaAt(int start) const;
    void writeHtml(QString& out, int start, HtmlForm form);
    void writeLink(QString& out, int start, TMarkToken token);

    TEmitter& m_emitter;
    TConfiguration& m_config;
    const QString& m_in;
    TagIndex m_tags;
    const std::vector<std::pair<int, int>>* m_knownTags;
    const QChar* m_data;
    int m_length;
    int m_depth;
    bool m_extensions;
    bool m_rich;
    bool m_localMath;
    bool m_answers;
    // Bare addresses become links in answer mode's text, outside link texts.
    bool m_autolinks;
    mutable std::optional<LocalFormulaFinder> m_formulas;

    qint64 m_directBudget;
    mutable qint64 m_directWork = 0;

    // The positions that hold a token and their tokens, and per such position (by its index)
    // where the scan goes on after it and the answers below.
    std::unique_ptr<ScanTables> m_tables;
    std::vector<std::uint8_t>& m_tokens;
    std::vector<int>& m_positions;
    std::vector<int>& m_nextPosition;
    std::vector<std::uint8_t>& m_htmlForms;
    std::vector<std::vector<int>>& m_firstClose;
    std::vector<int>* m_nextCode;

    mutable std::array<std::vector<int>, kEscapedSetCount> m_until;
    mutable std::vector<int> m_bracketMatch;
    mutable std::vector<int> m_parenDepth;
    mutable std::vector<std::pair<int, int>> m_targetStops;
};
