#include "markdown/MarkdownUtils.h"

#include "markdown/MarkdownEscapes.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>

using namespace Qt::StringLiterals;

namespace {

std::mt19937& randomSource() {
    static std::mt19937 source{std::random_device{}()};
    return source;
}

bool isTagNameChar(QChar ch) {
    return ch.isLetter() || ch.isDigit();
}

template <std::size_t N>
bool containsName(const std::array<QStringView, N>& names, QStringView name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

constexpr std::array<QStringView, 21> kBlockElements = {
    u"address", u"blockquote", u"del", u"div", u"dl",  u"fieldset", u"form",
    u"h1",      u"h2",         u"h3",  u"h4",  u"h5",  u"h6",       u"hr",
    u"ins",     u"noscript",   u"ol",  u"p",   u"pre", u"table",    u"ul"};

constexpr std::array<QStringView, 9> kUnsafeElements = {
    u"applet", u"body", u"frame", u"frameset", u"head", u"html", u"iframe", u"object", u"script"};

// The named character references of HTML 4.01 without &Aacute;, &aacute; and &THORN;, plus
// &apos;, sorted for a binary search.
constexpr std::array<QStringView, 250> kEntities = {
    u"&AElig;",   u"&Acirc;",   u"&Agrave;",  u"&Alpha;",    u"&Aring;",  u"&Atilde;",  u"&Auml;",
    u"&Beta;",    u"&Ccedil;",  u"&Chi;",     u"&Dagger;",   u"&Delta;",  u"&ETH;",     u"&Eacute;",
    u"&Ecirc;",   u"&Egrave;",  u"&Epsilon;", u"&Eta;",      u"&Euml;",   u"&Gamma;",   u"&Iacute;",
    u"&Icirc;",   u"&Igrave;",  u"&Iota;",    u"&Iuml;",     u"&Kappa;",  u"&Lambda;",  u"&Mu;",
    u"&Ntilde;",  u"&Nu;",      u"&OElig;",   u"&Oacute;",   u"&Ocirc;",  u"&Ograve;",  u"&Omega;",
    u"&Omicron;", u"&Oslash;",  u"&Otilde;",  u"&Ouml;",     u"&Phi;",    u"&Pi;",      u"&Prime;",
    u"&Psi;",     u"&Rho;",     u"&Scaron;",  u"&Sigma;",    u"&Tau;",    u"&Theta;",   u"&Uacute;",
    u"&Ucirc;",   u"&Ugrave;",  u"&Upsilon;", u"&Uuml;",     u"&Xi;",     u"&Yacute;",  u"&Yuml;",
    u"&Zeta;",    u"&acirc;",   u"&acute;",   u"&aelig;",    u"&agrave;", u"&alefsym;", u"&alpha;",
    u"&amp;",     u"&and;",     u"&ang;",     u"&apos;",     u"&aring;",  u"&asymp;",   u"&atilde;",
    u"&auml;",    u"&bdquo;",   u"&beta;",    u"&brvbar;",   u"&bull;",   u"&cap;",     u"&ccedil;",
    u"&cedil;",   u"&cent;",    u"&chi;",     u"&circ;",     u"&clubs;",  u"&cong;",    u"&copy;",
    u"&crarr;",   u"&cup;",     u"&curren;",  u"&dArr;",     u"&dagger;", u"&darr;",    u"&deg;",
    u"&delta;",   u"&diams;",   u"&divide;",  u"&eacute;",   u"&ecirc;",  u"&egrave;",  u"&empty;",
    u"&emsp;",    u"&ensp;",    u"&epsilon;", u"&equiv;",    u"&eta;",    u"&eth;",     u"&euml;",
    u"&euro;",    u"&exist;",   u"&fnof;",    u"&forall;",   u"&frac12;", u"&frac14;",  u"&frac34;",
    u"&frasl;",   u"&gamma;",   u"&ge;",      u"&gt;",       u"&hArr;",   u"&harr;",    u"&hearts;",
    u"&hellip;",  u"&iacute;",  u"&icirc;",   u"&iexcl;",    u"&igrave;", u"&image;",   u"&infin;",
    u"&int;",     u"&iota;",    u"&iquest;",  u"&isin;",     u"&iuml;",   u"&kappa;",   u"&lArr;",
    u"&lambda;",  u"&lang;",    u"&laquo;",   u"&larr;",     u"&lceil;",  u"&ldquo;",   u"&le;",
    u"&lfloor;",  u"&lowast;",  u"&loz;",     u"&lrm;",      u"&lsaquo;", u"&lsquo;",   u"&lt;",
    u"&macr;",    u"&mdash;",   u"&micro;",   u"&middot;",   u"&minus;",  u"&mu;",      u"&nabla;",
    u"&nbsp;",    u"&ndash;",   u"&ne;",      u"&ni;",       u"&not;",    u"&notin;",   u"&nsub;",
    u"&ntilde;",  u"&nu;",      u"&oacute;",  u"&ocirc;",    u"&oelig;",  u"&ograve;",  u"&oline;",
    u"&omega;",   u"&omicron;", u"&oplus;",   u"&or;",       u"&ordf;",   u"&ordm;",    u"&oslash;",
    u"&otilde;",  u"&otimes;",  u"&ouml;",    u"&para;",     u"&part;",   u"&permil;",  u"&perp;",
    u"&phi;",     u"&pi;",      u"&piv;",     u"&plusmn;",   u"&pound;",  u"&prime;",   u"&prod;",
    u"&prop;",    u"&psi;",     u"&quot;",    u"&rArr;",     u"&radic;",  u"&rang;",    u"&raquo;",
    u"&rarr;",    u"&rceil;",   u"&rdquo;",   u"&real;",     u"&reg;",    u"&rfloor;",  u"&rho;",
    u"&rlm;",     u"&rsaquo;",  u"&rsquo;",   u"&sbquo;",    u"&scaron;", u"&sdot;",    u"&sect;",
    u"&shy;",     u"&sigma;",   u"&sigmaf;",  u"&sim;",      u"&spades;", u"&sub;",     u"&sube;",
    u"&sum;",     u"&sup1;",    u"&sup2;",    u"&sup3;",     u"&sup;",    u"&supe;",    u"&szlig;",
    u"&tau;",     u"&there4;",  u"&theta;",   u"&thetasym;", u"&thinsp;", u"&thorn;",   u"&tilde;",
    u"&times;",   u"&trade;",   u"&uArr;",    u"&uacute;",   u"&uarr;",   u"&ucirc;",   u"&ugrave;",
    u"&uml;",     u"&upsih;",   u"&upsilon;", u"&uuml;",     u"&weierp;", u"&xi;",      u"&yacute;",
    u"&yen;",     u"&yuml;",    u"&zeta;",    u"&zwj;",      u"&zwnj;",
};

} // namespace

QStringView TUtils::trimLowView(QStringView text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].unicode() <= ' ')
        ++first;
    while (last > first && text[last - 1].unicode() <= ' ')
        --last;
    return text.mid(first, last - first);
}

int TUtils::skipSpaces(const QString& in, int start) {
    const int length = int(in.size());
    for (int p = std::max(start, 0); p < length; ++p)
        if (in[p] != u' ' && in[p] != u'\n')
            return p;
    return -1;
}

int TUtils::escape(QString& out, QChar ch, int position) {
    if (isEscapable(esReaders, ch)) {
        out += ch;
        return position + 1;
    }
    out += u'\\';
    return position;
}

int TUtils::readUntil(QString& out, const QString& in, int start, CharSet end) {
    const int length = int(in.size());
    int p = start;
    while (p < length) {
        const QChar ch = in[p];
        if (ch == u'\\' && p + 1 < length)
            p = escape(out, in[p + 1], p);
        else if (end.contains(ch.unicode()))
            return p;
        else
            out += ch;
        ++p;
    }
    return -1;
}

int TUtils::readRawUntil(QString& out, const QString& in, int start, QChar end) {
    const qsizetype p = in.indexOf(end, std::max(start, 0));
    if (p < 0)
        return -1;
    out += QStringView(in).mid(start, p - start);
    return int(p);
}

int TUtils::readMdLink(QString& out, const QString& in, int start) {
    const int length = int(in.size());
    int depth = 1;
    for (int p = start; p < length; ++p) {
        const QChar ch = in[p];
        if (ch == u'\\' && p + 1 < length) {
            p = escape(out, in[p + 1], p);
        } else if (ch == u' ') {
            if (depth == 1)
                return p;
            out += ch;
        } else if (ch == u'(') {
            ++depth;
            out += ch;
        } else if (ch == u')') {
            if (--depth == 0)
                return p;
            out += ch;
        } else {
            out += ch;
        }
    }
    return -1;
}

int TUtils::readMdLinkId(QString& out, const QString& in, int start) {
    const int length = int(in.size());
    int depth = 1;
    for (int p = start; p < length; ++p) {
        const QChar ch = in[p];
        if (ch == u'\n') {
            out += u' ';
            continue;
        }
        if (ch == u'[') {
            ++depth;
        } else if (ch == u']') {
            if (--depth == 0)
                return p;
        }
        out += ch;
    }
    return -1;
}

namespace {

// Reads inside a tag, quotes respected; the sink either keeps what was read or drops it.
template <typename Sink> int readInsideTag(Sink& out, const QString& in, int start, CharSet end) {
    const int length = int(in.size());
    bool inString = false;
    QChar quote;
    int p = start;
    while (p < length) {
        const QChar ch = in[p];
        if (inString && ch == u'\\') {
            out += ch;
            if (p + 1 < length)
                out += in[p + 1];
            p = std::min(p + 2, length);
            continue;
        }
        if (inString && ch == quote) {
            inString = false;
            out += ch;
            ++p;
            continue;
        }
        if (ch == u'"' || ch == u'\'') {
            inString = true;
            quote = ch;
        }
        if (!inString && end.contains(ch.unicode()))
            return p;
        out += ch;
        ++p;
    }
    return -1;
}

struct Discard {
    void operator+=(QChar) {}
};

} // namespace

int TUtils::readXMLUntil(QString& out, const QString& in, int start, CharSet end) {
    return readInsideTag(out, in, start, end);
}

namespace {

// Whether a tag name, trimmed and lower-cased, names an unsafe element; plain ASCII names are
// compared without building the lower-cased copy.
bool isUnsafeName(QStringView name) {
    name = TUtils::trimLowView(name);
    constexpr qsizetype kLongest = 8;
    if (name.size() > kLongest || name.isEmpty())
        return false;
    char16_t lower[kLongest];
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name[i].unicode();
        if (u >= 0x80)
            return THTML::isUnsafeHtmlElement(name.toString().toLower());
        lower[i] = u >= 'A' && u <= 'Z' ? char16_t(u + 32) : u;
    }
    return THTML::isUnsafeHtmlElement(QStringView(lower, name.size()));
}

} // namespace

// What readXMLUntil reads is always the input as it stands, so the tag is located first and
// then copied in ranges.
int TUtils::readXML(QString& out, const QString& in, int start, bool safeMode) {
    const int length = int(in.size());
    if (length < start + 2)
        return -1;
    const QChar c = in[start + 1];
    if (c == u'!') {
        out += u"<!"_s;
        return start + 1;
    }
    const bool closing = c == u'/';
    const int nameStart = closing ? start + 2 : start + 1;
    Discard skip;
    const int nameEnd = readInsideTag(skip, in, nameStart, {u' ', u'/', u'>'});
    if (nameEnd == -1)
        return -1;
    const int attributesEnd = readInsideTag(skip, in, nameEnd, {u'/', u'>'});
    if (attributesEnd == -1)
        return -1;
    int p = attributesEnd;
    if (in[p] == u'/') {
        p = readInsideTag(skip, in, p + 1, {u'>'});
        if (p == -1)
            return -1;
    }
    if (in[p] != u'>')
        return -1;
    const QChar* data = in.constData();
    const QStringView name(data + nameStart, nameEnd - nameStart);
    const bool unsafe = safeMode && isUnsafeName(name);
    if (!unsafe && p == attributesEnd) {
        // Without a neutralised name or a "/" the tag is written exactly as it was read.
        out.append(data + start, p - start + 1);
        return p;
    }
    out += unsafe ? QStringView(u"&lt;") : QStringView(u"<");
    if (closing)
        out += u'/';
    out += name;
    out.append(data + nameEnd, attributesEnd - nameEnd);
    if (p != attributesEnd) {
        out += u" /"_s;
        out.append(data + attributesEnd + 1, p - attributesEnd - 1);
    }
    out += u'>';
    return p;
}

void TUtils::getXMLTag(QString& out, const QString& element) {
    qsizetype p = element.size() > 1 && element[1] == u'/' ? 2 : 1;
    while (p < element.size() && isTagNameChar(element[p]))
        out += element[p++];
}

QString TUtils::lowerTagName(const QString& element) {
    QString name;
    getXMLTag(name, element);
    return name.toLower();
}

namespace {

// The characters that code, attribute values and link targets escape.
enum Escaping { esCode = 1, esValue = 2, esLink = 4 };

constexpr std::array<std::uint8_t, 128> kEscapes = [] {
    std::array<std::uint8_t, 128> table{};
    table['&'] = table['<'] = table['>'] = esCode | esValue | esLink;
    table['"'] = table['\''] = esValue;
    table['+'] = esLink;
    return table;
}();

QStringView escaped(char16_t c) {
    switch (c) {
    case '&':
        return u"&amp;";
    case '<':
        return u"&lt;";
    case '>':
        return u"&gt;";
    case '"':
        return u"&quot;";
    case '\'':
        return u"&apos;";
    default:
        return u"%2b";
    }
}

// Copies in[start, end) to out, each character that the escaping names written as its
// reference; runs of other characters are copied at once.
void appendEscaped(QString& out, const QString& in, qsizetype start, qsizetype end,
                   Escaping escaping) {
    const QChar* data = in.constData();
    qsizetype run = start;
    for (qsizetype p = start; p < end; ++p) {
        const char16_t u = data[p].unicode();
        if (u >= 0x80 || !(kEscapes[u] & escaping))
            continue;
        out.append(data + run, p - run);
        out += escaped(u);
        run = p + 1;
    }
    out.append(data + run, end - run);
}

} // namespace

void TUtils::appendCode(QString& out, const QString& in, int start, int end) {
    appendEscaped(out, in, start, end, esCode);
}

void TUtils::appendValue(QString& out, const QString& in, int start, int end) {
    appendEscaped(out, in, start, end, esValue);
}

void TUtils::codeEncode(QString& out, const QString& value, int offset) {
    appendEscaped(out, value, offset, value.size(), esLink);
}

void TUtils::appendDecEntity(QString& out, char16_t value) {
    out += u"&#"_s + QString::number(value) + u';';
}

void TUtils::appendHexEntity(QString& out, char16_t value) {
    out += u"&#x"_s + QStringLiteral("%1").arg(uint(value), 2, 16, QChar(u'0')).toUpper() + u';';
}

void TUtils::appendMailto(QString& out, const QString& in, int start, int end) {
    std::bernoulli_distribution coin;
    for (int p = start; p < end; ++p) {
        const QChar ch = in[p];
        const char16_t u = ch.unicode();
        const bool hidden = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
                            (u >= '0' && u <= '9') || u == '"' || u == '&' || u == '\'' ||
                            u == '<' || u == '>' || u == '@';
        if (!hidden)
            out += ch;
        else if (coin(randomSource()))
            appendHexEntity(out, u);
        else
            appendDecEntity(out, u);
    }
}

void TUtils::seedRandom(unsigned seed) {
    randomSource().seed(seed);
}

QString TUtils::getMetaFromFence(const QString& fenceLine) {
    for (qsizetype p = 0; p < fenceLine.size(); ++p) {
        const QChar ch = fenceLine[p];
        if (ch.unicode() > ' ' && !ch.isSpace() && ch != u'`' && ch != u'~')
            return trimLow(QStringView(fenceLine).mid(p));
    }
    return {};
}

bool THTML::isHtmlBlockElement(QStringView name) {
    return containsName(kBlockElements, name);
}

bool THTML::isUnsafeHtmlElement(QStringView name) {
    return containsName(kUnsafeElements, name);
}

bool THTML::isEntity(QStringView text) {
    return std::binary_search(kEntities.begin(), kEntities.end(), text);
}

namespace {

constexpr CharSet kTagSets[] = {{u' ', u'/', u'>'}, {u'/', u'>'}, {u'>'}};

} // namespace

int TagIndex::until(ScanSet set, int from) const {
    const int n = int(m_text.size());
    if (from < 0 || from >= n)
        return -1;
    const CharSet& chars = kTagSets[set];
    const QChar* data = m_text.constData();
    std::vector<int>& outside = m_stops[set * 3];
    if (outside.empty() && m_directWork < m_directBudget) {
        Discard read;
        const int stop = readInsideTag(read, m_text, from, chars);
        m_directWork += (stop < 0 ? n : stop) - from + 1;
        return stop;
    }
    if (outside.empty()) {
        std::vector<int>& inDouble = m_stops[set * 3 + 1];
        std::vector<int>& inSingle = m_stops[set * 3 + 2];
        outside.assign(n + 2, -1);
        inDouble.assign(n + 2, -1);
        inSingle.assign(n + 2, -1);
        for (int p = n - 1; p >= 0; --p) {
            const QChar ch = data[p];
            if (ch == u'"')
                outside[p] = inDouble[p + 1];
            else if (ch == u'\'')
                outside[p] = inSingle[p + 1];
            else
                outside[p] = chars.contains(ch.unicode()) ? p : outside[p + 1];
            const int skip = std::min(p + 2, n);
            inDouble[p] = ch == u'\\'   ? inDouble[skip]
                          : ch == u'"'  ? outside[p + 1]
                          : ch == u'\'' ? inSingle[p + 1]
                                        : inDouble[p + 1];
            inSingle[p] = ch == u'\\'   ? inSingle[skip]
                          : ch == u'\'' ? outside[p + 1]
                          : ch == u'"'  ? inDouble[p + 1]
                                        : inSingle[p + 1];
        }
    }
    return outside[from];
}

int TagIndex::tagEnd(int start) const {
    const int n = int(m_text.size());
    if (n < start + 2)
        return -1;
    const QChar c = m_text[start + 1];
    if (c == u'!')
        return start + 1;
    int p = until(tsName, c == u'/' ? start + 2 : start + 1);
    if (p == -1)
        return -1;
    p = until(tsAttributes, p);
    if (p == -1)
        return -1;
    if (m_text[p] == u'/') {
        p = until(tsGreater, p + 1);
        if (p == -1)
            return -1;
    }
    return m_text[p] == u'>' ? p : -1;
}
