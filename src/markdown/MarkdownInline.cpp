#include "markdown/MarkdownInline.h"

#include "markdown/MarkdownEscapes.h"
#include "markdown/MarkdownMathCode.h"
#include "markdown/MarkdownScan.h"
#include "markdown/MarkdownUtils.h"

#include <algorithm>
#include <limits>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr std::array<bool, 128> kTokenStart = [] {
    std::array<bool, 128> table{};
    for (char c : std::string_view("*_!&<[\\]`\"(-.>^$+=~"))
        table[std::size_t(c)] = true;
    return table;
}();

// ASCII first: these run for every candidate character of every paragraph.
bool isLetterOrDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80)
        return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
    return c.isLetter() || c.isDigit();
}

QChar neighbour(QStringView in, int p) {
    if (p < 0 || p >= in.size())
        return u' ';
    const char16_t u = in[p].unicode();
    if (u < 0x80)
        return u == ' ' || (u >= '\t' && u <= '\r') ? QChar(u' ') : QChar(u);
    return TEmitter::whitespaceToSpace(in[p]);
}

constexpr CharSet kEscapedSets[] = {
    {u'\n', u' ', u'$'}, {u'\n', u' ', u':', u'>'}, {u'\n', u' ', u'>', u'@'}, {u'>'}, {u'"'}};

bool opensSpan(TMarkToken mt) {
    switch (mt) {
    case mtEM_STAR:
    case mtEM_UNDERSCORE:
    case mtSUB_TILDE:
    case mtSUPER:
    case mtSTRONG_STAR:
    case mtSTRONG_UNDERSCORE:
    case mtSTRIKE_TILDE:
    case mtINS_PLUS:
    case mtMARK_EQ:
    case mtX_LINK_OPEN:
        return true;
    default:
        return false;
    }
}

bool spansTwo(TMarkToken mt) {
    return mt == mtSTRONG_STAR || mt == mtSTRONG_UNDERSCORE || mt == mtSTRIKE_TILDE ||
           mt == mtINS_PLUS || mt == mtMARK_EQ || mt == mtX_LINK_OPEN;
}

void openSpan(TDecorator& d, QString& out, TMarkToken mt) {
    switch (mt) {
    case mtEM_STAR:
    case mtEM_UNDERSCORE:
        d.openEmphasis(out);
        break;
    case mtSTRONG_STAR:
    case mtSTRONG_UNDERSCORE:
        d.openStrong(out);
        break;
    case mtSTRIKE_TILDE:
        d.openStrike(out);
        break;
    case mtINS_PLUS:
        d.openIns(out);
        break;
    case mtMARK_EQ:
        d.openMark(out);
        break;
    case mtSUB_TILDE:
        d.openSub(out);
        break;
    case mtSUPER:
        d.openSuper(out);
        break;
    default:
        break;
    }
}

void closeSpan(TDecorator& d, QString& out, TMarkToken mt) {
    switch (mt) {
    case mtEM_STAR:
    case mtEM_UNDERSCORE:
        d.closeEmphasis(out);
        break;
    case mtSTRONG_STAR:
    case mtSTRONG_UNDERSCORE:
        d.closeStrong(out);
        break;
    case mtSTRIKE_TILDE:
        d.closeStrike(out);
        break;
    case mtINS_PLUS:
        d.closeIns(out);
        break;
    case mtMARK_EQ:
        d.closeMark(out);
        break;
    case mtSUB_TILDE:
        d.closeSub(out);
        break;
    case mtSUPER:
        d.closeSuper(out);
        break;
    default:
        break;
    }
}

// GitHub's bare links: "http://", "https://" and "www." addresses and e-mail addresses.
enum class LinkKind { Url, Www, Mail };

struct BareLink {
    int start;
    int end;
    LinkKind kind;
};

// Longer names are no domains; the bound also keeps a text of failed candidates linear.
constexpr int kLongestDomain = 253;

bool isDomainChar(QChar c) {
    return c == u'-' || c == u'_' || c == u'.' || isLetterOrDigit(c);
}

// The end of a valid domain starting at p (at least one period, no underscore in its last two
// parts), or -1.
int domainEnd(QStringView text, int p, int stop) {
    int q = p;
    int periods = 0;
    int lastPeriod = -1;
    int previousPeriod = -1;
    while (q < stop && isDomainChar(text[q])) {
        if (text[q] == u'.') {
            ++periods;
            previousPeriod = lastPeriod;
            lastPeriod = q;
        }
        if (++q - p > kLongestDomain)
            return -1;
    }
    // A period at the end is punctuation after the link, not part of its domain.
    while (q > p && text[q - 1] == u'.') {
        --q;
        --periods;
        lastPeriod = previousPeriod;
        previousPeriod = -1;
        for (int k = lastPeriod - 1; k >= p && previousPeriod < 0; --k)
            if (text[k] == u'.')
                previousPeriod = k;
    }
    if (q == p || periods < 1)
        return -1;
    for (int k = std::max(previousPeriod, p); k < q; ++k)
        if (text[k] == u'_')
            return -1;
    return q;
}

// Drops what GitHub leaves after a link: trailing punctuation, a ")" without its "(", an
// entity reference.
int trimLinkEnd(QStringView text, int start, int end) {
    int opens = 0;
    int closes = 0;
    for (int k = start; k < end; ++k) {
        if (text[k] == u'(')
            ++opens;
        else if (text[k] == u')')
            ++closes;
    }
    while (end > start) {
        const QChar c = text[end - 1];
        if (QStringView(u"?!.,:*_~'\"").contains(c)) {
            --end;
        } else if (c == u')' && closes > opens) {
            --end;
            --closes;
        } else if (c == u';') {
            int k = end - 2;
            while (k >= start && isLetterOrDigit(text[k]))
                --k;
            if (k >= start && k < end - 2 && text[k] == u'&')
                end = k;
            else
                break;
        } else {
            break;
        }
    }
    return end;
}

std::optional<BareLink> urlAt(QStringView text, int i, int stop) {
    if (i > 0) {
        const QChar before = text[i - 1];
        if (!before.isSpace() && !QStringView(u"*_~(").contains(before))
            return std::nullopt;
    }
    const QStringView rest = text.mid(i, std::min(stop - i, 8));
    int domain = -1;
    LinkKind kind = LinkKind::Url;
    if (rest.startsWith(u"http://", Qt::CaseInsensitive)) {
        domain = i + 7;
    } else if (rest.startsWith(u"https://", Qt::CaseInsensitive)) {
        domain = i + 8;
    } else if (rest.startsWith(u"www.", Qt::CaseInsensitive)) {
        domain = i;
        kind = LinkKind::Www;
    } else {
        return std::nullopt;
    }
    if (domainEnd(text, domain, stop) < 0)
        return std::nullopt;
    int end = domain;
    while (end < stop && !text[end].isSpace() && text[end] != u'<')
        ++end;
    end = trimLinkEnd(text, i, end);
    if (end <= domain)
        return std::nullopt;
    return BareLink{i, end, kind};
}

bool isMailLocalChar(QChar c) {
    const char16_t u = c.unicode();
    return (u < 128 && isLetterOrDigit(c)) || u == '.' || u == '-' || u == '_' || u == '+';
}

// An e-mail address around the "@" at at, its local part starting at or after from.
std::optional<BareLink> mailAt(QStringView text, int at, int from, int stop) {
    int start = at;
    while (start > from && isMailLocalChar(text[start - 1]))
        --start;
    if (start == at)
        return std::nullopt;
    int end = domainEnd(text, at + 1, stop);
    if (end < 0)
        return std::nullopt;
    if (text[end - 1] == u'-' || text[end - 1] == u'_')
        return std::nullopt;
    return BareLink{start, end, LinkKind::Mail};
}

// An image carried inside the text itself; showing it fetches nothing.
bool isDataUri(const QString& link) {
    return link.trimmed().startsWith(u"data:"_s, Qt::CaseInsensitive);
}

} // namespace

namespace {

bool isAsciiPunctuation(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x21 && u <= 0x2F) || (u >= 0x3A && u <= 0x40) || (u >= 0x5B && u <= 0x60) ||
           (u >= 0x7B && u <= 0x7E);
}

// Answer mode's tokens: emphasis, code, links, images, HTML, entities, escapes of any ASCII
// punctuation, math, and strike-through with one or two tildes, as GitHub writes it.
TMarkToken answerTokenAt(QStringView in, int position, bool localMath) {
    const char16_t u = in[position].unicode();
    const QChar c1 = neighbour(in, position + 1);
    const auto c0 = [&] { return neighbour(in, position - 1); };
    const auto c2 = [&] { return neighbour(in, position + 2); };
    const auto space0 = [&] { return c0() == u' '; };
    switch (u) {
    case '*':
        if (c1 == u'*')
            return space0() && c2() == u' ' ? mtNONE : mtSTRONG_STAR;
        return space0() && c1 == u' ' ? mtNONE : mtEM_STAR;
    case '_':
        if (c1 == u'_')
            return space0() && c2() == u' ' ? mtNONE : mtSTRONG_UNDERSCORE;
        return isLetterOrDigit(c0()) && isLetterOrDigit(c1) ? mtNONE : mtEM_UNDERSCORE;
    case '!':
        return c1 == u'[' ? mtIMAGE : mtNONE;
    case '&':
        return mtENTITY;
    case '<':
        return mtHTML;
    case '[':
        return mtLINK;
    case '\\':
        if (localMath && (c1 == u'(' || c1 == u'['))
            return mtMATH_DOLLAR;
        return isAsciiPunctuation(c1) ? mtESCAPE : mtNONE;
    case '`':
        return c1 == u'`' ? mtCODE_DOUBLE : mtCODE_SINGLE;
    case '$':
        if (localMath)
            return c0() == u'$' ? mtNONE : mtMATH_DOLLAR;
        return space0() && c1 == u' ' ? mtNONE : mtMATH_DOLLAR;
    case '~':
        // Three tildes or more strike nothing.
        if (c0() == u'~')
            return mtNONE;
        if (c1 == u'~')
            return c2() == u'~' || (space0() && c2() == u' ') ? mtNONE : mtSTRIKE_TILDE;
        return space0() && c1 == u' ' ? mtNONE : mtSUB_TILDE;
    default:
        return mtNONE;
    }
}

} // namespace

TMarkToken tokenAt(QStringView in, int position, bool extensions, bool rich, bool localMath,
                   bool answers) {
    const char16_t u = in[position].unicode();
    if (u >= 128 || !kTokenStart[u])
        return mtNONE;
    if (answers)
        return answerTokenAt(in, position, localMath);
    // The neighbours, looked at only where the token depends on them.
    const QChar c1 = neighbour(in, position + 1);
    const auto c0 = [&] { return neighbour(in, position - 1); };
    const auto c2 = [&] { return neighbour(in, position + 2); };
    const auto space0 = [&] { return c0() == u' '; };
    switch (u) {
    case '*':
        if (c1 == u'*')
            return space0() && c2() == u' ' ? mtNONE : mtSTRONG_STAR;
        return space0() && c1 == u' ' ? mtNONE : mtEM_STAR;
    case '_':
        if (c1 == u'_')
            return space0() && c2() == u' ' ? mtNONE : mtSTRONG_UNDERSCORE;
        if (extensions)
            return isLetterOrDigit(c0()) && isLetterOrDigit(c1) ? mtNONE : mtEM_UNDERSCORE;
        return space0() && c1 == u' ' ? mtNONE : mtEM_UNDERSCORE;
    case '!':
        return c1 == u'[' ? mtIMAGE : mtNONE;
    case '&':
        return mtENTITY;
    case '<':
        return extensions && c1 == u'<' ? mtX_LAQUO : mtHTML;
    case '[':
        return extensions && c1 == u'[' ? mtX_LINK_OPEN : mtLINK;
    case '\\':
        if (rich && localMath && (c1 == u'(' || c1 == u'['))
            return mtMATH_DOLLAR;
        return isEscapable(esRunningText, c1) ? mtESCAPE : mtNONE;
    case ']':
        return extensions && c1 == u']' ? mtX_LINK_CLOSE : mtNONE;
    case '`':
        return c1 == u'`' ? mtCODE_DOUBLE : mtCODE_SINGLE;
    default:
        break;
    }
    if (extensions) {
        switch (u) {
        case '"':
            if (!isLetterOrDigit(c0()) && c1 != u' ')
                return mtX_LDQUO;
            if (!space0() && !isLetterOrDigit(c1))
                return mtX_RDQUO;
            return mtNONE;
        case '(':
            if (c1 == u'C' && c2() == u')')
                return mtX_COPY;
            if (c1 == u'R' && c2() == u')')
                return mtX_REG;
            if (c1 == u'T' && c2() == u'M' && neighbour(in, position + 3) == u')')
                return mtX_TRADE;
            break;
        case '-':
            if (c1 == u'-')
                return c2() == u'-' ? mtX_MDASH : mtX_NDASH;
            break;
        case '.':
            if (c1 == u'.' && c2() == u'.')
                return mtX_HELLIP;
            break;
        case '>':
            if (c1 == u'>')
                return mtX_RAQUO;
            break;
        case '^':
            return c0() == u'^' || c1 == u'^' ? mtNONE : mtSUPER;
        default:
            break;
        }
    }
    if (rich) {
        switch (u) {
        case '$':
            // Locally the pair "$$" opens once, at its first sign.
            if (localMath)
                return c0() == u'$' ? mtNONE : mtMATH_DOLLAR;
            return space0() && c1 == u' ' ? mtNONE : mtMATH_DOLLAR;
        case '+':
            return c1 == u'+' && !(space0() && c2() == u' ') ? mtINS_PLUS : mtNONE;
        case '=':
            return c1 == u'=' && !(space0() && c2() == u' ') ? mtMARK_EQ : mtNONE;
        case '~':
            if (c1 == u'~')
                return space0() && c2() == u' ' ? mtNONE : mtSTRIKE_TILDE;
            return space0() && c1 == u' ' ? mtNONE : mtSUB_TILDE;
        default:
            break;
        }
    }
    return mtNONE;
}

InlineScan::InlineScan(TEmitter& emitter, const QString& in, int depth, qint64 directBudget,
                       const std::vector<std::pair<int, int>>* knownTags)
    : m_emitter(emitter), m_config(emitter.config()), m_in(in), m_tags(in, directBudget),
      m_knownTags(knownTags), m_data(in.constData()), m_length(int(in.size())), m_depth(depth),
      m_extensions(m_config.isDialect({mdRich, mdExtended})), m_rich(m_config.isDialect({mdRich})),
      m_localMath(m_rich && m_config.mathMode() == TConfiguration::MathMode::Local),
      m_answers(m_config.answerMode()), m_autolinks(m_answers && depth == 0 && !knownTags),
      m_directBudget(directBudget >= 0 ? directBudget : 16 * qint64(m_length) + 1024),
      m_tables(emitter.takeScanTables(depth)), m_tokens(m_tables->tokens),
      m_positions(m_tables->positions), m_nextPosition(m_tables->nextPosition),
      m_htmlForms(m_tables->htmlForms), m_firstClose(m_tables->firstClose),
      m_nextCode(m_tables->nextCode) {
    const int n = m_length;
    m_tokens.clear();
    m_positions.clear();
    m_firstClose.resize(kCloseKinds);
    std::array<bool, kCloseKinds> needed{};
    bool code = false;
    const bool specialLinks = m_config.specialLinkEmitter() != nullptr;
    const char16_t* text = reinterpret_cast<const char16_t*>(m_data);
    for (int p = 0; p < n; ++p) {
        p = int(findPunctuation(text + p, text + n) - text);
        if (p >= n)
            break;
        const TMarkToken mt = tokenAt(in, p, m_extensions, m_rich, m_localMath, m_answers);
        if (mt == mtNONE)
            continue;
        m_tokens.push_back(mt);
        m_positions.push_back(p);
        if (mt == mtCODE_SINGLE || mt == mtCODE_DOUBLE)
            code = true;
        else if (mt == mtX_LINK_OPEN)
            needed[ckLinkClose] = needed[ckLinkClose] || specialLinks;
        else if (closeKind(mt) >= 0)
            needed[closeKind(mt)] = true;
    }
    const int m = int(m_positions.size());
    std::array<int, kCloseKinds> kinds{};
    int kindCount = 0;
    for (int k = 0; k < kCloseKinds; ++k) {
        if (needed[k]) {
            m_firstClose[k].assign(m, -1);
            kinds[kindCount++] = k;
        } else {
            m_firstClose[k].clear();
        }
    }
    if (code) {
        m_nextCode[0].assign(m + 1, -1);
        m_nextCode[1].assign(m + 1, -1);
    }
    m_nextPosition.assign(m, 0);
    m_htmlForms.assign(m, hfNONE);
    for (int i = m - 1; i >= 0; --i) {
        const int p = m_positions[i];
        const int next = computeNext(p, i);
        m_nextPosition[i] = next;
        const TMarkToken mt = TMarkToken(m_tokens[i]);
        const int j = next == p + 1 ? i + 1 : tokenIndexFrom(next, i + 1);
        for (int c = 0; c < kindCount; ++c) {
            const int k = kinds[c];
            m_firstClose[k][i] = closes(mt, k) ? p : j < m ? m_firstClose[k][j] : -1;
        }
        if (code) {
            m_nextCode[0][i] = mt == mtCODE_SINGLE ? p : m_nextCode[0][i + 1];
            m_nextCode[1][i] = mt == mtCODE_DOUBLE ? p : m_nextCode[1][i + 1];
        }
    }
}

InlineScan::~InlineScan() {
    m_emitter.returnScanTables(m_depth, std::move(m_tables));
}

// The index of the first token at or after position, searching from index from on.
int InlineScan::tokenIndexFrom(int position, int from) const {
    if (from < int(m_positions.size()) && m_positions[from] >= position)
        return from;
    return int(std::lower_bound(m_positions.begin() + from, m_positions.end(), position) -
               m_positions.begin());
}

bool InlineScan::spendDirect(qint64 steps) const {
    m_directWork += steps;
    return m_directWork < m_directBudget;
}

int InlineScan::closeKind(TMarkToken opener) {
    static constexpr std::array<std::int8_t, mtX_LINK_CLOSE + 1> kinds = [] {
        std::array<std::int8_t, mtX_LINK_CLOSE + 1> table{};
        table.fill(-1);
        table[mtEM_STAR] = ckEmStar;
        table[mtEM_UNDERSCORE] = ckEmUnderscore;
        table[mtSUB_TILDE] = ckSub;
        table[mtSTRONG_STAR] = ckStrongStar;
        table[mtSTRONG_UNDERSCORE] = ckStrongUnderscore;
        table[mtSTRIKE_TILDE] = ckStrike;
        table[mtINS_PLUS] = ckIns;
        table[mtMARK_EQ] = ckMark;
        table[mtSUPER] = ckSuper;
        table[mtX_LINK_CLOSE] = ckLinkClose;
        return table;
    }();
    return kinds[opener];
}

bool InlineScan::closes(TMarkToken mt, int kind) {
    return closeKind(mt) == kind || (kind == ckEmStar && mt == mtSTRONG_STAR) ||
           (kind == ckEmUnderscore && mt == mtSTRONG_UNDERSCORE);
}

int InlineScan::closeOf(int start, TMarkToken token) const {
    if (token == mtNONE || start < 0 || start >= m_length)
        return -1;
    const int m = int(m_positions.size());
    int i = tokenIndexFrom(start, 0);
    const int kind = closeKind(token);
    if (kind >= 0 && !m_firstClose[kind].empty())
        return i < m ? m_firstClose[kind][i] : -1;
    for (; i < m; i = tokenIndexFrom(m_nextPosition[i], i + 1)) {
        const TMarkToken mt = TMarkToken(m_tokens[i]);
        if (mt == token || (token == mtEM_STAR && mt == mtSTRONG_STAR) ||
            (token == mtEM_UNDERSCORE && mt == mtSTRONG_UNDERSCORE))
            return m_positions[i];
    }
    return -1;
}

int InlineScan::spanClose(int position, TMarkToken mt) const {
    const int kind = mt == mtX_LINK_OPEN ? int(ckLinkClose) : closeKind(mt);
    const int from = position + (spansTwo(mt) ? 2 : 1);
    if (from >= m_length || m_firstClose[kind].empty())
        return -1;
    const int i = tokenIndexFrom(from, 0);
    return i < int(m_positions.size()) ? m_firstClose[kind][i] : -1;
}

int InlineScan::computeNext(int p, int index) {
    const TMarkToken mt = TMarkToken(m_tokens[index]);
    const auto after = [p](int r, int step) { return r > 0 ? r + step : p + 1; };
    switch (mt) {
    case mtEM_STAR:
    case mtEM_UNDERSCORE:
    case mtSUB_TILDE:
    case mtSUPER:
        return after(spanClose(p, mt), 1);
    case mtSTRONG_STAR:
    case mtSTRONG_UNDERSCORE:
    case mtSTRIKE_TILDE:
    case mtINS_PLUS:
    case mtMARK_EQ:
        return after(spanClose(p, mt), 2);
    case mtX_LINK_OPEN:
        return m_config.specialLinkEmitter() ? after(spanClose(p, mt), 2) : p + 1;
    case mtMATH_DOLLAR:
        if (m_localMath) {
            if (const std::optional<LocalFormula> formula = localFormulaAt(p))
                return formula->end + 1;
            // Not a formula: "\(" and "\[" stay escapes.
            return m_data[p] == u'\\' ? p + 2 : p + 1;
        }
        return after(formulaEnd(p), 1);
    case mtCODE_SINGLE:
    case mtCODE_DOUBLE: {
        int a = 0;
        int b = 0;
        return after(codeEnd(p, mt, a, b), 1);
    }
    case mtLINK:
    case mtIMAGE:
        return after(linkEnd(p, mt), 1);
    case mtHTML: {
        HtmlForm form = hfNONE;
        int end = -1;
        if (m_knownTags) {
            // A tag the converter wrote fails as an automatic or e-mail link and reads back
            // whole, whatever the text around it.
            const auto known = std::lower_bound(m_knownTags->begin(), m_knownTags->end(),
                                                std::pair<int, int>(p, 0));
            if (known != m_knownTags->end() && known->first == p) {
                form = hfKNOWN;
                end = known->second;
            }
        }
        if (form == hfNONE)
            end = htmlEnd(p, form);
        m_htmlForms[index] = form;
        return after(end, 1);
    }
    case mtENTITY:
        return after(entityEnd(p), 1);
    case mtESCAPE:
    case mtX_LAQUO:
    case mtX_RAQUO:
    case mtX_NDASH:
        return p + 2;
    case mtX_COPY:
    case mtX_REG:
    case mtX_MDASH:
    case mtX_HELLIP:
        return p + 3;
    case mtX_TRADE:
        return p + 4;
    default:
        return p + 1;
    }
}

// Position of the escaped-aware terminator search of TUtils::readUntil, without its output.
int InlineScan::untilEscaped(EscapedSet set, int from) const {
    if (from < 0 || from >= m_length)
        return -1;
    const CharSet& chars = kEscapedSets[set];
    const int n = m_length;
    std::vector<int>& stops = m_until[set];
    if (stops.empty() && m_directWork < m_directBudget) {
        int p = from;
        for (; p < n; ++p) {
            const QChar ch = m_data[p];
            if (ch == u'\\' && p + 1 < n) {
                if (isEscapable(esReaders, m_data[p + 1]))
                    ++p;
            } else if (chars.contains(ch.unicode())) {
                break;
            }
        }
        spendDirect(p - from + 1);
        return p < n ? p : -1;
    }
    if (stops.empty()) {
        stops.assign(n + 2, -1);
        for (int p = n - 1; p >= 0; --p) {
            const QChar ch = m_data[p];
            if (ch == u'\\' && p + 1 < n)
                stops[p] = isEscapable(esReaders, m_data[p + 1]) ? stops[p + 2] : stops[p + 1];
            else
                stops[p] = chars.contains(ch.unicode()) ? p : stops[p + 1];
        }
    }
    return stops[from];
}

// The "]" that closes the "[" just before start, brackets counted, as readMdLinkId reads it.
int InlineScan::bracketClose(int start) const {
    const int n = m_length;
    if (m_bracketMatch.empty() && m_directWork < m_directBudget) {
        int depth = 1;
        int p = start;
        for (; p < n; ++p) {
            if (m_data[p] == u'[')
                ++depth;
            else if (m_data[p] == u']' && --depth == 0)
                break;
        }
        spendDirect(p - start + 1);
        return p < n ? p : -1;
    }
    if (m_bracketMatch.empty()) {
        m_bracketMatch.assign(n, -1);
        std::vector<int> open;
        for (int p = 0; p < n; ++p) {
            if (m_data[p] == u'[') {
                open.push_back(p);
            } else if (m_data[p] == u']' && !open.empty()) {
                m_bracketMatch[open.back()] = p;
                open.pop_back();
            }
        }
    }
    return start >= 1 && start <= n ? m_bracketMatch[start - 1] : -1;
}

// Where TUtils::readMdLink stops: at a space outside nested parentheses or at the ")" that
// closes the target. Long texts answer from the parenthesis depth of every position: the
// stop is the first space or ")" at or after start at the same depth as start.
int InlineScan::linkTargetEnd(int start) const {
    constexpr int kEscaped = std::numeric_limits<int>::min();
    const int n = m_length;
    if (start >= n)
        return -1;
    if (m_parenDepth.empty() && m_directWork >= m_directBudget) {
        m_parenDepth.assign(n, 0);
        int depth = 0;
        for (int p = 0; p < n; ++p) {
            const QChar ch = m_data[p];
            m_parenDepth[p] = depth;
            if (ch == u'\\' && p + 1 < n) {
                if (isEscapable(esReaders, m_data[p + 1]))
                    m_parenDepth[++p] = kEscaped;
            } else if (ch == u'(') {
                ++depth;
            } else if (ch == u')') {
                m_targetStops.emplace_back(depth--, p);
            } else if (ch == u' ') {
                m_targetStops.emplace_back(depth, p);
            }
        }
        std::sort(m_targetStops.begin(), m_targetStops.end());
    }
    // A start that the whole-text scan passes as an escaped character reads differently.
    if (!m_parenDepth.empty() && m_parenDepth[start] != kEscaped) {
        const int depth = m_parenDepth[start];
        const auto it = std::lower_bound(m_targetStops.begin(), m_targetStops.end(),
                                         std::pair<int, int>(depth, start));
        return it != m_targetStops.end() && it->first == depth ? it->second : -1;
    }
    int depth = 1;
    int p = start;
    for (; p < n; ++p) {
        const QChar ch = m_data[p];
        if (ch == u'\\' && p + 1 < n) {
            if (isEscapable(esReaders, m_data[p + 1]))
                ++p;
        } else if (ch == u' ') {
            if (depth == 1)
                break;
        } else if (ch == u'(') {
            ++depth;
        } else if (ch == u')' && --depth == 0) {
            break;
        }
    }
    spendDirect(p - start + 1);
    return p < n ? p : -1;
}

int InlineScan::skipBlank(int from) const {
    for (int p = std::max(from, 0); p < m_length; ++p)
        if (m_data[p] != u' ' && m_data[p] != u'\n')
            return p;
    return -1;
}

int InlineScan::formulaEnd(int start) const {
    const int p = untilEscaped(esFormula, start + 1);
    if (p == -1 || m_data[p] != u'$' || m_data[p - 1] == u'\\')
        return -1;
    return p;
}

// checkEntity gives up as soon as what it has read can no longer be an entity, so a long
// run of "&" costs nothing; the outcome is the same as reading up to the ";" first.
int InlineScan::entityEnd(int start) const {
    constexpr int kLongestEntity = 12;
    const int n = m_length;
    QChar second;
    int count = 1;
    bool hex = false;
    for (int p = start + 1; p < n; ++p) {
        QChar ch = m_data[p];
        if (ch == u'\\' && p + 1 < n) {
            if (isEscapable(esReaders, m_data[p + 1]))
                ch = m_data[++p];
        } else if (ch == u';') {
            if (count < 3 || (hex && count < 4))
                return -1;
            if (second == u'#')
                return p;
            QString entity;
            TUtils::readUntil(entity, m_in, start, {u';'});
            entity += u';';
            return THTML::isEntity(entity) ? p : -1;
        }
        const char16_t u = ch.unicode();
        const bool digit = u >= '0' && u <= '9';
        if (count == 1) {
            second = ch;
            if (ch != u'#' && !isLetterOrDigit(ch))
                return -1;
        } else if (second == u'#') {
            if (count == 2 && (u == 'x' || u == 'X'))
                hex = true;
            else if (hex ? !(digit || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')) : !digit)
                return -1;
        } else if (!isLetterOrDigit(ch) || count > kLongestEntity) {
            return -1;
        }
        ++count;
    }
    return -1;
}

int InlineScan::htmlEnd(int start, HtmlForm& form) const {
    int p = untilEscaped(esAutoLink, start + 1);
    if (p != -1 && m_data[p] == u':') {
        const int q = untilEscaped(esGreater, p);
        if (q != -1) {
            form = hfAUTOLINK;
            return q;
        }
    }
    p = untilEscaped(esMail, start + 1);
    if (p != -1 && m_data[p] == u'@') {
        const int q = untilEscaped(esGreater, p);
        if (q != -1) {
            form = hfMAIL;
            return q;
        }
    }
    if (start + 2 < m_length) {
        form = hfTAG;
        return m_tags.tagEnd(start);
    }
    return -1;
}

bool InlineScan::knownId(int from, int to, bool linkText) const {
    if (to - from > m_emitter.longestLinkId())
        return false;
    QString id(m_data + from, to - from);
    if (linkText)
        id.replace(u'\n', u' ');
    return m_emitter.findLinkRef(id) != nullptr;
}

bool InlineScan::footnoteAt(int start, int close) const {
    return m_answers && m_data[start] == u'[' && start + 2 < close && m_data[start + 1] == u'^' &&
           m_emitter.hasFootnote(QStringView(m_data + start + 2, close - start - 2));
}

int InlineScan::linkEnd(int start, TMarkToken token) const {
    const int nameStart = token == mtLINK ? start + 1 : start + 2;
    const int close = bracketClose(nameStart);
    if (close < start)
        return -1;
    if (token == mtLINK && footnoteAt(start, close))
        return close;
    int p = skipBlank(close + 1);
    if (p == -1)
        return knownId(nameStart, close, true) ? close : -1;
    if (m_data[p] == u'(') {
        p = skipBlank(p + 1);
        if (p == -1)
            return -1;
        if (m_data[p] == u'<') {
            p = untilEscaped(esGreater, p + 1);
            if (p < start)
                return -1;
            ++p;
        } else {
            p = linkTargetEnd(p);
            if (p < start)
                return -1;
        }
        if (p < m_length && m_data[p] == u' ') {
            p = skipBlank(p);
            if (p > start && m_data[p] == u'"') {
                p = untilEscaped(esQuote, p + 1);
                if (p < start)
                    return -1;
                p = skipBlank(p + 1);
                if (p == -1)
                    return -1;
            }
        }
        return p >= 0 && p < m_length && m_data[p] == u')' ? p : -1;
    }
    if (m_data[p] == u'[') {
        const qsizetype q = m_in.indexOf(u']', p + 1);
        if (q < start)
            return -1;
        const bool found =
            q > p + 1 ? knownId(p + 1, int(q), false) : knownId(nameStart, close, true);
        return found ? int(q) : -1;
    }
    return knownId(nameStart, close, true) ? close : -1;
}

int InlineScan::codeEnd(int start, TMarkToken token, int& a, int& b) const {
    const bool single = token == mtCODE_SINGLE;
    a = start + (single ? 1 : 2);
    b = m_nextCode[single ? 0 : 1][tokenIndexFrom(a, 0)];
    if (b <= 0)
        return -1;
    return single ? b : b + 1;
}

std::optional<LocalFormula> InlineScan::localFormulaAt(int start) const {
    if (!m_formulas)
        m_formulas.emplace(QStringView(m_data, m_length));
    return m_formulas->at(start);
}

void InlineScan::writeFormula(QString& out, int start) {
    if (m_localMath) {
        if (const std::optional<LocalFormula> formula = localFormulaAt(start))
            writeLocalFormula(out, QStringView(m_data, m_length), *formula);
        else
            out += m_data[start + 1]; // an escaped "(" or "["
        return;
    }
    checkFormula(out, m_in, start);
}

void InlineScan::writeHtml(QString& out, int start, HtmlForm form) {
    TDecorator& decorator = *m_config.decorator();
    if (form == hfKNOWN) {
        const auto known = std::lower_bound(m_knownTags->begin(), m_knownTags->end(),
                                            std::pair<int, int>(start, 0));
        out.append(m_data + start, known->second - start + 1);
        return;
    }
    if (form == hfTAG) {
        TUtils::readXML(out, m_in, start, m_config.safeMode());
        return;
    }
    QString target;
    const int p = TUtils::readUntil(target, m_in, start + 1,
                                    kEscapedSets[form == hfMAIL ? esMail : esAutoLink]);
    TUtils::readUntil(target, m_in, p, {u'>'});
    decorator.openLink(out);
    out += u" href=\""_s;
    if (form == hfAUTOLINK) {
        TUtils::codeEncode(out, target);
        out += u"\">"_s;
        TUtils::appendValue(out, target);
    } else {
        TUtils::appendMailto(out, u"mailto:"_s);
        TUtils::appendMailto(out, target);
        out += u"\">"_s;
        TUtils::appendMailto(out, target);
    }
    decorator.closeLink(out);
}

void InlineScan::writeLink(QString& out, int start, TMarkToken token) {
    QString name;
    const int close = TUtils::readMdLinkId(name, m_in, token == mtLINK ? start + 1 : start + 2);
    if (token == mtLINK && footnoteAt(start, close)) {
        m_emitter.writeFootnoteRef(out, QStringView(m_data + start + 2, close - start - 2));
        return;
    }
    int p = TUtils::skipSpaces(m_in, close + 1);
    QString link;
    QString title;
    bool isAbbrev = false;
    if (p != -1 && m_data[p] == u'(') {
        p = TUtils::skipSpaces(m_in, p + 1);
        if (m_data[p] == u'<')
            p = TUtils::readUntil(link, m_in, p + 1, {u'>'}) + 1;
        else
            p = TUtils::readMdLink(link, m_in, p);
        if (p < m_length && m_data[p] == u' ') {
            p = TUtils::skipSpaces(m_in, p);
            if (p > start && m_data[p] == u'"')
                TUtils::readUntil(title, m_in, p + 1, {u'"'});
        }
    } else {
        const bool reference = p != -1 && m_data[p] == u'[';
        QString id;
        if (reference)
            TUtils::readRawUntil(id, m_in, p + 1, u']');
        const TLinkRef* ref = m_emitter.findLinkRef(id.isEmpty() ? name : id);
        link = ref->FLink;
        title = ref->FTitle;
        isAbbrev = !reference && ref->FIsAbbrev;
    }
    TDecorator& decorator = *m_config.decorator();
    const auto writeTitle = [&] {
        if (!title.isEmpty()) {
            out += u" title=\""_s;
            TUtils::appendValue(out, title);
            out += u'"';
        }
    };
    if (token == mtIMAGE && m_config.remoteImagesAsLinks() && !isDataUri(link)) {
        // The alt text and the address, so the reader sees where the image lives.
        decorator.openLink(out);
        out += u" href=\""_s;
        TUtils::codeEncode(out, link);
        out += u'"';
        writeTitle();
        out += u'>';
        if (!name.isEmpty()) {
            TUtils::appendValue(out, name);
            out += u": "_s;
        }
        TUtils::appendValue(out, link);
        decorator.closeLink(out);
    } else if (token == mtIMAGE) {
        decorator.openImage(out);
        out += u" src=\""_s;
        TUtils::codeEncode(out, link);
        out += u"\" alt=\""_s;
        TUtils::appendValue(out, name);
        out += u'"';
        writeTitle();
        decorator.closeImage(out);
    } else if (isAbbrev && !title.isEmpty()) {
        out += u"<abbr title=\""_s;
        TUtils::appendValue(out, title);
        out += u"\">"_s;
        m_emitter.recursiveEmitLinkText(out, name, m_depth + 1);
        out += u"</abbr>"_s;
    } else {
        decorator.openLink(out);
        out += u" href=\""_s;
        TUtils::codeEncode(out, link);
        out += u'"';
        writeTitle();
        out += u'>';
        m_emitter.recursiveEmitLinkText(out, name, m_depth + 1);
        decorator.closeLink(out);
    }
}

// One open span of render: its text ends at stop, the scan resumes at resume, and the text
// around it goes to target. A special link's text is gathered in content for its hook.
struct InlineScan::RenderFrame {
    int stop;
    int resume;
    TMarkToken mt;
    QString* target;
    std::unique_ptr<QString> content;
};

struct InlineScan::Render {
    QString* target;
    int p;
    int stop;
    std::vector<RenderFrame> frames;
    int plainFrom = -1;
    qsizetype outFrom = 0;
};

void InlineScan::flushPlain(Render& r) {
    if (r.plainFrom < 0)
        return;
    const QStringView text(m_data, m_length);
    const int from = r.plainFrom;
    const int to = std::min(r.p, m_length);
    r.plainFrom = -1;
    std::vector<BareLink> links;
    int copied = from;
    for (int i = from; i < to; ++i) {
        const QChar c = text[i];
        std::optional<BareLink> link;
        if (c == u'h' || c == u'H' || c == u'w' || c == u'W')
            link = urlAt(text, i, to);
        else if (c == u'@')
            link = mailAt(text, i, copied, to);
        if (link) {
            links.push_back(*link);
            copied = link->end;
            i = link->end - 1;
        }
    }
    if (links.empty())
        return;
    // Written again from the source, as render wrote it: "<" and "&" escaped, the rest as is.
    QString& out = *r.target;
    out.truncate(r.outFrom);
    const auto copy = [&](int a, int b) {
        for (int k = a; k < b; ++k) {
            if (text[k] == u'<')
                out += QStringView(u"&lt;");
            else if (text[k] == u'&')
                out += QStringView(u"&amp;");
            else
                out += text[k];
        }
    };
    TDecorator& decorator = *m_config.decorator();
    int done = from;
    for (const BareLink& link : links) {
        copy(done, link.start);
        const QString address(m_data + link.start, link.end - link.start);
        decorator.openLink(out);
        out += u" href=\""_s;
        if (link.kind == LinkKind::Www)
            out += u"http://"_s;
        else if (link.kind == LinkKind::Mail)
            out += u"mailto:"_s;
        TUtils::codeEncode(out, address);
        out += u"\">"_s;
        TUtils::appendValue(out, address);
        decorator.closeLink(out);
        done = link.end;
    }
    copy(done, to);
}

namespace {

// The entities of the typographic tokens, in token order from mtX_COPY.
constexpr QStringView kTypographic[] = {u"&copy;",  u"&reg;",   u"&trade;", u"&laquo;",
                                        u"&raquo;", u"&ndash;", u"&mdash;", u"&hellip;",
                                        u"&rdquo;", u"&ldquo;"};
static_assert(std::size(kTypographic) == mtX_LDQUO - mtX_COPY + 1);

bool isTypographic(TMarkToken mt) {
    return mt >= mtX_COPY && mt <= mtX_LDQUO;
}

} // namespace

void InlineScan::pushSpan(Render& r, TMarkToken mt, int next) {
    r.frames.push_back({r.stop, next, mt, r.target, nullptr});
    if (mt == mtX_LINK_OPEN) {
        r.frames.back().content = std::make_unique<QString>();
        r.target = r.frames.back().content.get();
    } else {
        // GitHub strikes text through between single tildes too.
        openSpan(*m_config.decorator(), *r.target,
                 m_answers && mt == mtSUB_TILDE ? mtSTRIKE_TILDE : mt);
    }
    r.stop = spanClose(r.p, mt);
    r.p += spansTwo(mt) ? 2 : 1;
}

void InlineScan::popSpan(Render& r) {
    RenderFrame& frame = r.frames.back();
    r.target = frame.target;
    if (frame.mt == mtX_LINK_OPEN)
        m_config.specialLinkEmitter()->emitSpan(*r.target, *frame.content);
    else
        closeSpan(*m_config.decorator(), *r.target,
                  m_answers && frame.mt == mtSUB_TILDE ? mtSTRIKE_TILDE : frame.mt);
    r.p = frame.resume;
    r.stop = frame.stop;
    r.frames.pop_back();
}

void InlineScan::writeCodeSpan(QString& out, int start, TMarkToken token) {
    int a = 0;
    int b = 0;
    codeEnd(start, token, a, b);
    while (a < b && m_data[a] == u' ')
        ++a;
    if (a < b)
        while (m_data[b - 1] == u' ')
            --b;
    TDecorator& decorator = *m_config.decorator();
    decorator.openCodeSpan(out);
    TUtils::appendCode(out, m_in, a, b);
    decorator.closeCodeSpan(out);
}

void InlineScan::writeEntity(QString& out, int start) {
    TUtils::readUntil(out, m_in, start, {u';'});
    out += u';';
}

// Writes the token at p (at index) that opens no span; unmatched, most stand for themselves.
void InlineScan::writeToken(QString& out, int p, int index, TMarkToken mt, bool matched) {
    if (isTypographic(mt)) {
        out += kTypographic[mt - mtX_COPY];
        return;
    }
    switch (mt) {
    case mtMATH_DOLLAR:
        if (matched)
            writeFormula(out, p);
        else
            out += u'$';
        break;
    case mtCODE_SINGLE:
    case mtCODE_DOUBLE:
        if (matched)
            writeCodeSpan(out, p, mt);
        else
            out += m_data[p];
        break;
    case mtLINK:
    case mtIMAGE:
        if (matched)
            writeLink(out, p, mt);
        else
            out += m_data[p];
        break;
    case mtHTML:
        if (matched)
            writeHtml(out, p, HtmlForm(m_htmlForms[index]));
        else
            out += QStringView(u"&lt;");
        break;
    case mtENTITY:
        if (matched)
            writeEntity(out, p);
        else
            out += QStringView(u"&amp;");
        break;
    case mtESCAPE:
        out += m_data[p + 1];
        break;
    default:
        out += m_data[p];
    }
}

void InlineScan::render(QString& out, int start, int stop) {
    Render r{&out, std::max(start, 0), std::min(stop, m_length), {}};
    int index = 0;
    const auto plain = [&] {
        if (m_autolinks && r.plainFrom < 0) {
            r.plainFrom = r.p;
            r.outFrom = r.target->size();
        }
    };
    for (;;) {
        if (r.p >= r.stop) {
            flushPlain(r);
            if (r.frames.empty())
                return;
            popSpan(r);
            continue;
        }
        // The scan only moves forward, so the index of the next token does too.
        index = tokenIndexFrom(r.p, index);
        const bool atToken = index < int(m_positions.size()) && m_positions[index] == r.p;
        const TMarkToken mt = atToken ? TMarkToken(m_tokens[index]) : mtNONE;
        if (mt == mtNONE) {
            const int q =
                std::min(r.stop, index < int(m_positions.size()) ? m_positions[index] : r.stop);
            plain();
            r.target->append(m_data + r.p, q - r.p);
            r.p = q;
            continue;
        }
        const int next = m_nextPosition[index];
        const bool matched = next > r.p + 1;
        if (matched)
            flushPlain(r);
        else
            plain();
        if (opensSpan(mt)) {
            if (matched) {
                pushSpan(r, mt, next);
                continue;
            }
            *r.target += m_data[r.p];
        } else {
            writeToken(*r.target, r.p, index, mt, matched);
        }
        r.p = next;
    }
}
