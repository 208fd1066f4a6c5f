// Answer mode's block structure: lines are matched against the open containers one at a
// time, as CommonMark reads them, instead of being split by line type. The result is the
// same tree of TBlock that the emitter writes for every dialect.
#include "markdown/MarkdownAnswerBlocks.h"

#include "markdown/MarkdownEmitter.h"
#include "markdown/MarkdownTables.h"
#include "markdown/MarkdownUtils.h"

#include <array>
#include <deque>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

enum class Kind : std::uint8_t {
    Document,
    Quote,
    List,
    Item,
    Footnote,
    Paragraph,
    Heading,
    Rule,
    Fenced,
    Indented,
    Html,
    Table
};

bool isLeaf(Kind kind) {
    return kind >= Kind::Paragraph;
}

// A list holds items only, and items live in lists only.
bool canContain(Kind parent, Kind child) {
    if (isLeaf(parent))
        return false;
    if (parent == Kind::List)
        return child == Kind::Item;
    return child != Kind::Item;
}

// A block while the text is read; the tree of TBlock is built alongside.
struct Node {
    Node(TBlock* b, int up, Kind k) : block(b), parent(up), kind(k) {}

    TBlock* block;
    int parent;
    int prev = -1;
    int next = -1;
    int firstChild = -1;
    int lastChild = -1;
    int startLine = 0;
    // Item: the column its content starts at; fenced code: the fence's indentation.
    int indent = 0;
    int fenceLength = 0;
    Kind kind;
    char16_t marker = 0; // list: the bullet or the delimiter; fenced code: the fence character
    std::uint8_t htmlType = 0;
    bool lastLineBlank = false;
    // Set when the node is closed: its last descendant list item ends with a blank line.
    bool childEndsBlank = false;
    bool attached = false;
};

int skipSpaces(const QString& s, int p) {
    const int n = int(s.size());
    while (p < n && (s[p] == u' ' || s[p] == u'\t'))
        ++p;
    return p;
}

bool isAsciiLetter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

bool isAsciiDigit(QChar c) {
    return c.unicode() >= '0' && c.unicode() <= '9';
}

// "***", "- - -", "___" after at most three spaces.
bool isThematicBreak(const QString& s, int p) {
    const QChar c = s[p];
    if (c != u'*' && c != u'-' && c != u'_')
        return false;
    int count = 0;
    for (int i = p; i < s.size(); ++i) {
        if (s[i] == c)
            ++count;
        else if (s[i] != u' ' && s[i] != u'\t')
            return false;
    }
    return count >= 3;
}

// An ATX heading: its level, or 0.
int atxLevel(const QString& s, int p) {
    int level = 0;
    while (p + level < s.size() && s[p + level] == u'#')
        ++level;
    if (level < 1 || level > 6)
        return 0;
    const int after = p + level;
    return after == s.size() || s[after] == u' ' || s[after] == u'\t' ? level : 0;
}

// The text of an ATX heading without its opening and closing "#" runs.
QString atxContent(const QString& s, int p, int level) {
    int start = skipSpaces(s, p + level);
    int end = int(s.size());
    while (end > start && (s[end - 1] == u' ' || s[end - 1] == u'\t'))
        --end;
    int hashes = end;
    while (hashes > start && s[hashes - 1] == u'#')
        --hashes;
    if (hashes < end && (hashes == start || s[hashes - 1] == u' ' || s[hashes - 1] == u'\t')) {
        end = hashes;
        while (end > start && (s[end - 1] == u' ' || s[end - 1] == u'\t'))
            --end;
    }
    return s.mid(start, end - start);
}

// The level of a setext underline ("===" 1, "---" 2), or 0.
int setextLevel(const QString& s, int p) {
    const QChar c = s[p];
    if (c != u'=' && c != u'-')
        return 0;
    int q = p;
    while (q < s.size() && s[q] == c)
        ++q;
    return skipSpaces(s, q) == s.size() ? (c == u'=' ? 1 : 2) : 0;
}

struct Fence {
    char16_t ch;
    int length;
};

std::optional<Fence> openingFence(const QString& s, int p) {
    const QChar c = s[p];
    if (c != u'`' && c != u'~')
        return std::nullopt;
    int q = p;
    while (q < s.size() && s[q] == c)
        ++q;
    if (q - p < 3)
        return std::nullopt;
    // A backtick fence's info text holds no backtick, or the line is a code span.
    if (c == u'`' && s.indexOf(u'`', q) >= 0)
        return std::nullopt;
    return Fence{c.unicode(), q - p};
}

bool closesFence(const QString& s, int p, const Node& node) {
    int q = p;
    while (q < s.size() && s[q] == node.marker)
        ++q;
    return q - p >= node.fenceLength && skipSpaces(s, q) == s.size();
}

struct ListMarker {
    bool ordered = false;
    char16_t marker = 0;
    int start = 1;
    int width = 0;
    int contentPos = 0;
    int padding = 0;
};

std::optional<ListMarker> listMarker(const QString& s, int p, bool interruptsParagraph) {
    const int n = int(s.size());
    ListMarker m;
    const QChar c = s[p];
    if (c == u'*' || c == u'+' || c == u'-') {
        m.marker = c.unicode();
        m.width = 1;
    } else if (isAsciiDigit(c)) {
        int q = p;
        int value = 0;
        while (q < n && q - p < 9 && isAsciiDigit(s[q]))
            value = value * 10 + (s[q++].unicode() - '0');
        if (q >= n || (s[q] != u'.' && s[q] != u')'))
            return std::nullopt;
        m.ordered = true;
        m.marker = s[q].unicode();
        m.start = value;
        m.width = q - p + 1;
    } else {
        return std::nullopt;
    }
    const int after = p + m.width;
    if (after < n && s[after] != u' ' && s[after] != u'\t')
        return std::nullopt;
    const int content = skipSpaces(s, after);
    const bool restBlank = content >= n;
    // An empty item, or a list that starts past 1, leaves a paragraph going on.
    if (interruptsParagraph && (restBlank || (m.ordered && m.start != 1)))
        return std::nullopt;
    const int spaces = content - after;
    if (restBlank || spaces > 4) {
        m.padding = m.width + 1;
        m.contentPos = std::min(after + 1, n);
    } else {
        m.padding = m.width + spaces;
        m.contentPos = content;
    }
    return m;
}

bool startsWithNoCase(const QString& s, int p, QLatin1StringView text) {
    return QStringView(s).mid(p, text.size()).compare(text, Qt::CaseInsensitive) == 0;
}

constexpr std::array<QLatin1StringView, 4> kRawTextElements = {
    "script"_L1, "pre"_L1, "style"_L1, "textarea"_L1};

constexpr std::array<QLatin1StringView, 62> kHtmlBlockNames = {
    "address"_L1,  "article"_L1,  "aside"_L1,      "base"_L1,       "basefont"_L1, "blockquote"_L1,
    "body"_L1,     "caption"_L1,  "center"_L1,     "col"_L1,        "colgroup"_L1, "dd"_L1,
    "details"_L1,  "dialog"_L1,   "dir"_L1,        "div"_L1,        "dl"_L1,       "dt"_L1,
    "fieldset"_L1, "figcaption"_L1, "figure"_L1,   "footer"_L1,     "form"_L1,     "frame"_L1,
    "frameset"_L1, "h1"_L1,       "h2"_L1,         "h3"_L1,         "h4"_L1,       "h5"_L1,
    "h6"_L1,       "head"_L1,     "header"_L1,     "hr"_L1,         "html"_L1,     "iframe"_L1,
    "legend"_L1,   "li"_L1,       "link"_L1,       "main"_L1,       "menu"_L1,     "menuitem"_L1,
    "nav"_L1,      "noframes"_L1, "ol"_L1,         "optgroup"_L1,   "option"_L1,   "p"_L1,
    "param"_L1,    "search"_L1,   "section"_L1,    "summary"_L1,    "table"_L1,    "tbody"_L1,
    "td"_L1,       "tfoot"_L1,    "th"_L1,         "thead"_L1,      "title"_L1,    "tr"_L1,
    "track"_L1,    "ul"_L1};

// A whole open or closing tag from p, as CommonMark's seventh kind of HTML block needs it;
// the position after it, or -1.
int completeTagEnd(const QString& s, int p) {
    const int n = int(s.size());
    int q = p + 1;
    const bool closing = q < n && s[q] == u'/';
    if (closing)
        ++q;
    if (q >= n || !isAsciiLetter(s[q]))
        return -1;
    while (q < n && (isAsciiLetter(s[q]) || isAsciiDigit(s[q]) || s[q] == u'-'))
        ++q;
    if (closing) {
        q = skipSpaces(s, q);
        return q < n && s[q] == u'>' ? q + 1 : -1;
    }
    for (;;) {
        const int spaced = skipSpaces(s, q);
        if (spaced >= n)
            return -1;
        if (s[spaced] == u'>')
            return spaced + 1;
        if (s[spaced] == u'/')
            return spaced + 1 < n && s[spaced + 1] == u'>' ? spaced + 2 : -1;
        if (spaced == q)
            return -1; // an attribute needs white space before it
        q = spaced;
        const QChar first = s[q];
        if (!isAsciiLetter(first) && first != u'_' && first != u':')
            return -1;
        while (q < n && (isAsciiLetter(s[q]) || isAsciiDigit(s[q]) || s[q] == u'_' ||
                         s[q] == u':' || s[q] == u'.' || s[q] == u'-'))
            ++q;
        const int eq = skipSpaces(s, q);
        if (eq < n && s[eq] == u'=') {
            q = skipSpaces(s, eq + 1);
            if (q >= n)
                return -1;
            const QChar quote = s[q];
            if (quote == u'"' || quote == u'\'') {
                const qsizetype close = s.indexOf(quote, q + 1);
                if (close < 0)
                    return -1;
                q = int(close) + 1;
            } else {
                const int begin = q;
                while (q < n && QStringView(u" \t\"'=<>`").indexOf(s[q]) < 0)
                    ++q;
                if (q == begin)
                    return -1;
            }
        }
    }
}

// The kind (1 to 7) of HTML block that starts at p, or 0.
int htmlBlockStart(const QString& s, int p, bool interruptsParagraph) {
    const int n = int(s.size());
    if (p + 1 >= n || s[p] != u'<')
        return 0;
    const auto nameEnds = [&](int q) {
        return q >= n || s[q] == u' ' || s[q] == u'\t' || s[q] == u'>' ||
               (s[q] == u'/' && q + 1 < n && s[q + 1] == u'>');
    };
    for (QLatin1StringView name : kRawTextElements) {
        const int q = p + 1 + int(name.size());
        if (startsWithNoCase(s, p + 1, name) && (q >= n || s[q] == u' ' || s[q] == u'\t' ||
                                                 s[q] == u'>'))
            return 1;
    }
    if (startsWithNoCase(s, p, "<!--"_L1))
        return 2;
    if (s[p + 1] == u'?')
        return 3;
    if (startsWithNoCase(s, p, "<![CDATA["_L1))
        return 5;
    if (s[p + 1] == u'!' && p + 2 < n && isAsciiLetter(s[p + 2]))
        return 4;
    const int nameStart = s[p + 1] == u'/' ? p + 2 : p + 1;
    int nameEnd = nameStart;
    while (nameEnd < n && (isAsciiLetter(s[nameEnd]) || isAsciiDigit(s[nameEnd])))
        ++nameEnd;
    if (nameEnd > nameStart && nameEnds(nameEnd)) {
        const QString name = s.mid(nameStart, nameEnd - nameStart).toLower();
        for (QLatin1StringView known : kHtmlBlockNames)
            if (name == known)
                return 6;
    }
    if (interruptsParagraph)
        return 0;
    const int end = completeTagEnd(s, p);
    if (end < 0 || skipSpaces(s, end) != n)
        return 0;
    const QString name = s.mid(nameStart, nameEnd - nameStart).toLower();
    for (QLatin1StringView raw : kRawTextElements)
        if (name == raw)
            return 0;
    return 7;
}

bool endsHtmlBlock(const QString& s, int type) {
    switch (type) {
    case 1:
        for (QLatin1StringView name : kRawTextElements)
            if (s.contains(u"</"_s + name + u'>', Qt::CaseInsensitive))
                return true;
        return false;
    case 2:
        return s.contains(u"-->"_s);
    case 3:
        return s.contains(u"?>"_s);
    case 4:
        return s.contains(u'>');
    case 5:
        return s.contains(u"]]>"_s);
    default:
        return false;
    }
}

// "[^label]:" opening a footnote definition; the label, and where the content starts.
std::optional<QString> footnoteStart(const QString& s, int p, int& contentPos) {
    const int n = int(s.size());
    if (p + 1 >= n || s[p] != u'[' || s[p + 1] != u'^')
        return std::nullopt;
    int q = p + 2;
    while (q < n && s[q] != u']' && s[q] != u'[' && s[q] != u' ' && s[q] != u'\t')
        ++q;
    if (q == p + 2 || q + 1 >= n || s[q] != u']' || s[q + 1] != u':')
        return std::nullopt;
    contentPos = skipSpaces(s, q + 2);
    return s.mid(p + 2, q - p - 2);
}

// A table's delimiter row: cells of dashes with optional colons, at least one pipe; the
// number of cells, or 0.
int delimiterCells(const QString& s, int p) {
    int cells = 0;
    bool dash = false;
    bool pipe = false;
    bool inCell = false;
    for (int i = p; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'|') {
            pipe = true;
            if (inCell && !dash)
                return 0;
            if (inCell)
                ++cells;
            inCell = false;
            dash = false;
        } else if (c == u'-' || c == u':') {
            inCell = true;
            dash = dash || c == u'-';
        } else if (c != u' ' && c != u'\t') {
            return 0;
        }
    }
    if (inCell) {
        if (!dash)
            return 0;
        ++cells;
    }
    return pipe ? cells : 0;
}

} // namespace

class AnswerBlockBuilder {
public:
    AnswerBlockBuilder(DocumentStore& store, TEmitter& emitter, const DefinitionReader& definitions)
        : m_store(store), m_emitter(emitter), m_definitions(definitions) {}

    void build(TBlock* root);

private:
    void addLine(TLine* line);
    void closeTop();
    int open(Kind kind, int parent);
    void appendContent(int node, TLine* line, int pos);
    void closeParagraph(int index);
    // Takes link reference definitions off the paragraph's start; false when nothing is left.
    bool takeDefinitions(TBlock* block);
    void removeNode(int index);
    bool endsWithBlank(const Node& node) const {
        return node.lastLineBlank || node.childEndsBlank;
    }
    void closeList(Node& list);
    void markBlank(int container, bool blank);

    DocumentStore& m_store;
    TEmitter& m_emitter;
    const DefinitionReader& m_definitions;
    // A deque grows without copying what it holds: a hostile line opens a million blocks.
    std::deque<Node> m_nodes;
    std::vector<int> m_open;
    std::vector<std::pair<int, QString>> m_footnotes;
    int m_lineNumber = 0;
};

void AnswerBlockBuilder::build(TBlock* root) {
    TLine* line = root->FLines;
    root->FLines = root->FLineTail = nullptr;
    m_nodes.emplace_back(root, -1, Kind::Document);
    m_open.push_back(0);
    while (line) {
        TLine* next = line->FNext;
        line->FPrevious = line->FNext = nullptr;
        line->FPrevEmpty = line->FNextEmpty = false;
        ++m_lineNumber;
        addLine(line);
        line = next;
    }
    while (m_open.size() > 1)
        closeTop();
    for (const auto& [index, label] : m_footnotes)
        m_emitter.addFootnote(label, m_nodes[std::size_t(index)].block);
}

int AnswerBlockBuilder::open(Kind kind, int parent) {
    while (m_open.back() != parent)
        closeTop();
    while (!canContain(m_nodes[std::size_t(parent)].kind, kind)) {
        closeTop();
        parent = m_open.back();
    }
    const int index = int(m_nodes.size());
    Node node(m_store.newBlock(), parent, kind);
    node.startLine = m_lineNumber;
    Node& up = m_nodes[std::size_t(parent)];
    node.prev = up.lastChild;
    if (up.lastChild >= 0)
        m_nodes[std::size_t(up.lastChild)].next = index;
    else
        up.firstChild = index;
    up.lastChild = index;
    // Paragraphs join the tree when they close, as they may turn out to be only definitions;
    // footnotes are written at the end.
    if (kind != Kind::Paragraph && kind != Kind::Footnote) {
        up.block->appendChild(node.block);
        node.attached = true;
    }
    static constexpr std::array<TBlockType, 12> kTypes = {
        btNONE,      btBLOCKQUOTE, btUNORDERED_LIST, btLIST_ITEM, btNONE, btPARAGRAPH,
        btHEADLINE,  btRULER,      btFENCED_CODE,    btCODE,      btXML,  btTABLE};
    node.block->FType = kTypes[std::size_t(kind)];
    m_nodes.push_back(std::move(node));
    if (kind != Kind::Heading && kind != Kind::Rule)
        m_open.push_back(index);
    return index;
}

void AnswerBlockBuilder::removeNode(int index) {
    Node& node = m_nodes[std::size_t(index)];
    Node& up = m_nodes[std::size_t(node.parent)];
    if (node.prev >= 0)
        m_nodes[std::size_t(node.prev)].next = node.next;
    else
        up.firstChild = node.next;
    if (node.next >= 0)
        m_nodes[std::size_t(node.next)].prev = node.prev;
    else
        up.lastChild = node.prev;
}

bool AnswerBlockBuilder::takeDefinitions(TBlock* block) {
    std::shared_ptr<TLinkRef> pendingTitle;
    while (TLine* line = block->FLines) {
        if (m_definitions(*line, pendingTitle)) {
            block->removeLine(line);
            continue;
        }
        if (pendingTitle && !line->FIsEmpty) {
            const QChar ch = line->FValue.at(line->FLeading);
            if (ch == u'"' || ch == u'\'' || ch == u'(') {
                line->FPosition = line->FLeading + 1;
                const QString title = line->readUntil({ch == u'(' ? u')' : ch.unicode()});
                line->FPosition = 0;
                if (!title.isEmpty()) {
                    pendingTitle->FTitle = title;
                    block->removeLine(line);
                }
            }
        }
        break;
    }
    return block->FLines != nullptr;
}

void AnswerBlockBuilder::closeParagraph(int index) {
    Node& node = m_nodes[std::size_t(index)];
    if (!takeDefinitions(node.block)) {
        removeNode(index);
        return;
    }
    m_nodes[std::size_t(node.parent)].block->appendChild(node.block);
    node.attached = true;
}

// Loose when an item, or a block of an item, ends with a blank line and something follows.
void AnswerBlockBuilder::closeList(Node& list) {
    bool tight = true;
    for (int i = list.firstChild; i >= 0 && tight; i = m_nodes[std::size_t(i)].next) {
        const Node& item = m_nodes[std::size_t(i)];
        if (endsWithBlank(item) && item.next >= 0) {
            tight = false;
            break;
        }
        for (int c = item.firstChild; c >= 0; c = m_nodes[std::size_t(c)].next) {
            const Node& child = m_nodes[std::size_t(c)];
            if (endsWithBlank(child) && (item.next >= 0 || child.next >= 0)) {
                tight = false;
                break;
            }
        }
    }
    if (!tight)
        return;
    for (int i = list.firstChild; i >= 0; i = m_nodes[std::size_t(i)].next)
        for (int c = m_nodes[std::size_t(i)].firstChild; c >= 0; c = m_nodes[std::size_t(c)].next)
            if (m_nodes[std::size_t(c)].kind == Kind::Paragraph)
                m_nodes[std::size_t(c)].block->FType = btNONE;
}

void AnswerBlockBuilder::closeTop() {
    const int index = m_open.back();
    m_open.pop_back();
    Node& node = m_nodes[std::size_t(index)];
    switch (node.kind) {
    case Kind::Paragraph:
        closeParagraph(index);
        break;
    case Kind::List:
        closeList(node);
        break;
    case Kind::Footnote:
        m_footnotes.emplace_back(index, node.block->meta());
        break;
    default:
        break;
    }
    if ((node.kind == Kind::List || node.kind == Kind::Item) && node.lastChild >= 0)
        node.childEndsBlank = endsWithBlank(m_nodes[std::size_t(node.lastChild)]);
}

void AnswerBlockBuilder::appendContent(int node, TLine* line, int pos) {
    if (pos > 0)
        line->dropPrefix(std::min<qsizetype>(pos, line->FValue.size()));
    line->Init();
    m_nodes[std::size_t(node)].block->AppendLine(line);
}

// What tight and loose lists are told by: which blocks end with a blank line.
void AnswerBlockBuilder::markBlank(int container, bool blank) {
    Node& node = m_nodes[std::size_t(container)];
    if (blank && node.lastChild >= 0)
        m_nodes[std::size_t(node.lastChild)].lastLineBlank = true;
    node.lastLineBlank = blank && node.kind != Kind::Quote && node.kind != Kind::Heading &&
                         node.kind != Kind::Rule && node.kind != Kind::Fenced &&
                         !(node.kind == Kind::Item && node.firstChild < 0 &&
                           node.startLine == m_lineNumber);
    for (int up = node.parent; up >= 0; up = m_nodes[std::size_t(up)].parent) {
        if (!m_nodes[std::size_t(up)].lastLineBlank)
            break;
        m_nodes[std::size_t(up)].lastLineBlank = false;
    }
}

void AnswerBlockBuilder::addLine(TLine* line) {
    const QString& s = line->FValue;
    const int n = int(s.size());
    int pos = 0;
    int nns = -1;
    int indent = 0;
    bool blank = false;
    // The text after pos up to nns is spaces, so nns holds while pos stays at or before it: a
    // deep line's indentation is read once, not once per container.
    const auto look = [&] {
        if (pos > nns) {
            nns = pos;
            while (nns < n && s[nns] == u' ')
                ++nns;
            blank = skipSpaces(s, nns) >= n;
        }
        indent = nns - pos;
    };
    // A thematic break ends at the line's end; a line of many "- " markers must not be scanned
    // to its end once per marker. Before noBreakUntil no break starts with noBreakChar.
    int noBreakUntil = -1;
    QChar noBreakChar;
    const auto thematicBreak = [&](int p) {
        if (p < noBreakUntil && s[p] == noBreakChar)
            return false;
        if (isThematicBreak(s, p))
            return true;
        int q = p;
        while (q < n && (s[q] == s[p] || s[q] == u' ' || s[q] == u'\t'))
            ++q;
        noBreakUntil = q;
        noBreakChar = s[p];
        return false;
    };

    // Which open blocks the line continues.
    std::size_t matched = 1;
    for (; matched < m_open.size(); ++matched) {
        const Node& node = m_nodes[std::size_t(m_open[matched])];
        look();
        bool goesOn = false;
        switch (node.kind) {
        case Kind::Quote:
            if (!blank && indent <= 3 && s[nns] == u'>') {
                pos = nns + 1;
                if (pos < n && s[pos] == u' ')
                    ++pos;
                goesOn = true;
            }
            break;
        case Kind::List:
        case Kind::Fenced:
            goesOn = true;
            break;
        case Kind::Item:
            if (!blank && indent >= node.indent) {
                pos += node.indent;
                goesOn = true;
            } else if (blank && node.firstChild >= 0) {
                pos = nns;
                goesOn = true;
            }
            break;
        case Kind::Footnote:
            if (blank) {
                pos = nns;
                goesOn = true;
            } else if (indent >= 4) {
                pos += 4;
                goesOn = true;
            }
            break;
        case Kind::Indented:
            goesOn = indent >= 4 || blank;
            break;
        case Kind::Html:
            goesOn = !(blank && node.htmlType >= 6);
            break;
        case Kind::Paragraph:
        case Kind::Table:
            goesOn = !blank;
            break;
        default:
            break;
        }
        if (!goesOn)
            break;
    }
    const bool allMatched = matched == m_open.size();
    int container = m_open[matched - 1];
    look();

    // Code and HTML blocks take the line as it is.
    const Kind matchedKind = m_nodes[std::size_t(container)].kind;
    if (allMatched && matchedKind == Kind::Fenced) {
        Node& fence = m_nodes[std::size_t(container)];
        if (!blank && indent <= 3 && closesFence(s, nns, fence)) {
            markBlank(container, false);
            closeTop();
            return;
        }
        markBlank(container, blank);
        appendContent(container, line, pos + std::min(indent, fence.indent));
        return;
    }
    if (allMatched && matchedKind == Kind::Html) {
        markBlank(container, blank);
        appendContent(container, line, pos);
        if (endsHtmlBlock(s, m_nodes[std::size_t(container)].htmlType))
            closeTop();
        return;
    }
    if (allMatched && matchedKind == Kind::Indented) {
        markBlank(container, blank);
        appendContent(container, line, pos);
        return;
    }

    // New blocks that start on the line.
    const bool maybeLazy = m_nodes[std::size_t(m_open.back())].kind == Kind::Paragraph;
    bool started = false;
    bool consumed = false;
    int current = container;
    for (;;) {
        look();
        const Kind kind = m_nodes[std::size_t(current)].kind;
        if (indent >= 4) {
            if (!maybeLazy && !blank) {
                current = open(Kind::Indented, current);
                started = true;
            }
            break;
        }
        if (blank)
            break;
        const QChar c = s[nns];
        const bool inParagraph = kind == Kind::Paragraph;
        if (c == u'>') {
            pos = nns + 1;
            if (pos < n && s[pos] == u' ')
                ++pos;
            current = open(Kind::Quote, current);
            started = true;
            continue;
        }
        if (const int level = c == u'#' ? atxLevel(s, nns) : 0) {
            current = open(Kind::Heading, current);
            TBlock* heading = m_nodes[std::size_t(current)].block;
            heading->FHlDepth = level;
            line->setValue(atxContent(s, nns, level));
            line->Init();
            heading->AppendLine(line);
            started = consumed = true;
            break;
        }
        if (const std::optional<Fence> fence = openingFence(s, nns)) {
            current = open(Kind::Fenced, current);
            Node& node = m_nodes[std::size_t(current)];
            node.marker = fence->ch;
            node.fenceLength = fence->length;
            node.indent = indent;
            node.block->setMeta(TUtils::getMetaFromFence(s.mid(nns)));
            started = consumed = true;
            break;
        }
        if (const int type = c == u'<' ? htmlBlockStart(s, nns, inParagraph) : 0) {
            current = open(Kind::Html, current);
            m_nodes[std::size_t(current)].htmlType = std::uint8_t(type);
            markBlank(current, false);
            appendContent(current, line, pos);
            if (endsHtmlBlock(s, type))
                closeTop();
            return;
        }
        if (inParagraph && allMatched) {
            if (const int level = setextLevel(s, nns)) {
                Node& paragraph = m_nodes[std::size_t(current)];
                if (takeDefinitions(paragraph.block)) {
                    paragraph.kind = Kind::Heading;
                    paragraph.block->FType = btHEADLINE;
                    paragraph.block->FHlDepth = level;
                    closeTop();
                    m_nodes[std::size_t(paragraph.parent)].block->appendChild(paragraph.block);
                    paragraph.attached = true;
                    markBlank(paragraph.parent, false);
                    return;
                }
                m_open.pop_back();
                removeNode(current);
                current = m_open.back();
                continue;
            }
        }
        if (thematicBreak(nns)) {
            current = open(Kind::Rule, current);
            started = consumed = true;
            break;
        }
        if (c == u'[') {
            int contentPos = 0;
            if (const std::optional<QString> label = footnoteStart(s, nns, contentPos)) {
                current = open(Kind::Footnote, current);
                m_nodes[std::size_t(current)].block->setMeta(*label);
                pos = contentPos;
                started = true;
                continue;
            }
        }
        if (const std::optional<ListMarker> marker = listMarker(s, nns, inParagraph)) {
            const Node& here = m_nodes[std::size_t(current)];
            if (kind != Kind::List || here.marker != marker->marker ||
                (here.block->FType == btORDERED_LIST) != marker->ordered) {
                current = open(Kind::List, current);
                Node& list = m_nodes[std::size_t(current)];
                list.marker = marker->marker;
                if (marker->ordered) {
                    list.block->FType = btORDERED_LIST;
                    list.block->setListStart(marker->start);
                }
            }
            const int indentBefore = nns - pos;
            current = open(Kind::Item, current);
            Node& item = m_nodes[std::size_t(current)];
            item.indent = indentBefore + marker->padding;
            pos = marker->contentPos;
            // "[ ] " or "[x] " before the item's text makes it a task.
            if (pos + 3 < n && s[pos] == u'[' && s[pos + 2] == u']' &&
                (s[pos + 3] == u' ' || s[pos + 3] == u'\t') && skipSpaces(s, pos + 3) < n) {
                const QChar mark = s[pos + 1];
                if (mark == u' ' || mark == u'x' || mark == u'X') {
                    item.block->setTask(mark == u' ' ? TBlock::tsOpen : TBlock::tsDone);
                    pos = skipSpaces(s, pos + 3);
                }
            }
            started = true;
            continue;
        }
        if (inParagraph && allMatched) {
            const int cells = delimiterCells(s, nns);
            Node& paragraph = m_nodes[std::size_t(current)];
            TLine* header = paragraph.block->FLineTail;
            if (cells > 0 && header && TTable::answerCellCount(header) == cells) {
                paragraph.block->removeLine(header);
                const int parent = paragraph.parent;
                if (paragraph.block->FLines) {
                    closeTop();
                } else {
                    m_open.pop_back();
                    removeNode(current);
                }
                current = open(Kind::Table, parent);
                m_nodes[std::size_t(current)].indent = cells;
                m_nodes[std::size_t(current)].block->AppendLine(header);
                markBlank(current, false);
                appendContent(current, line, pos);
                return;
            }
        }
        break;
    }

    if (!started && !allMatched && maybeLazy && !blank) {
        // A lazy continuation line: the paragraph goes on whatever did not match.
        appendContent(m_open.back(), line, pos);
        return;
    }
    if (!started) {
        while (m_open.back() != container)
            closeTop();
        current = container;
    }
    markBlank(current, blank);
    if (consumed)
        return;
    const Kind kind = m_nodes[std::size_t(current)].kind;
    if (kind == Kind::Paragraph || kind == Kind::Table || kind == Kind::Indented) {
        appendContent(current, line, pos);
    } else if (!blank) {
        current = open(Kind::Paragraph, current);
        appendContent(current, line, pos);
    }
}

void buildAnswerBlocks(TBlock* root, DocumentStore& store, TEmitter& emitter,
                       const DefinitionReader& definitions) {
    AnswerBlockBuilder(store, emitter, definitions).build(root);
}
