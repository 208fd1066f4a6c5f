#include "markdown/MarkdownMathCode.h"

#include "markdown/MarkdownUtils.h"

#include <algorithm>

using namespace Qt::StringLiterals;

int checkFormula(QString& out, const QString& in, int start) {
    QString formula;
    const int p = TUtils::readUntil(formula, in, start + 1, {u'\n', u' ', u'$'});
    if (p == -1 || in[p] != u'$' || in[p - 1] == u'\\')
        return -1;
    out += u"<img src=\""_s;
    out += kFormulaImageService;
    out += u"/chart?cht=tx&chl="_s;
    TUtils::codeEncode(out, formula);
    out += u"\" alt=\""_s;
    TUtils::appendValue(out, formula);
    out += u" \"/>"_s;
    return p;
}

namespace {

bool isWhiteSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// The first listed position at or after from, or -1.
int firstFrom(const std::vector<int>& positions, int from) {
    const auto found = std::lower_bound(positions.begin(), positions.end(), from);
    return found == positions.end() ? -1 : *found;
}

bool holdsSomething(QStringView tex) {
    return std::any_of(tex.begin(), tex.end(), [](QChar c) { return !isWhiteSpace(c); });
}

} // namespace

LocalFormulaFinder::LocalFormulaFinder(QStringView text) : m_text(text) {
    const qsizetype n = text.size();
    for (qsizetype p = 0; p < n; ++p) {
        const QChar c = text[p];
        if (c == u'$' && (p == 0 || text[p - 1] != u'\\')) {
            m_dollars.push_back(int(p));
            if (p + 1 < n && text[p + 1] == u'$')
                m_doubleDollars.push_back(int(p));
        } else if (c == u'`') {
            m_backticks.push_back(int(p));
        } else if (c == u'\\' && p + 1 < n) {
            if (text[p + 1] == u')')
                m_parens.push_back(int(p));
            else if (text[p + 1] == u']')
                m_brackets.push_back(int(p));
        }
    }
}

std::optional<LocalFormula> LocalFormulaFinder::at(int start) const {
    const qsizetype n = m_text.size();
    if (start + 1 >= n)
        return std::nullopt;
    const QChar second = m_text[start + 1];
    std::optional<LocalFormula> formula;
    if (m_text[start] == u'\\') {
        const bool display = second == u'[';
        if (!display && second != u'(')
            return std::nullopt;
        const int close = firstFrom(display ? m_brackets : m_parens, start + 2);
        if (close >= 0)
            formula = LocalFormula{start + 2, close, close + 1, display};
    } else if (second == u'$') {
        const int close = firstFrom(m_doubleDollars, start + 2);
        if (close >= 0)
            formula = LocalFormula{start + 2, close, close + 1, true};
    } else {
        if (isWhiteSpace(second))
            return std::nullopt;
        const int close = firstFrom(m_dollars, start + 1);
        if (close < 0 || isWhiteSpace(m_text[close - 1]) ||
            (close + 1 < n && m_text[close + 1].isDigit()))
            return std::nullopt;
        formula = LocalFormula{start + 1, close, close, false};
    }
    if (!formula)
        return std::nullopt;
    // Something besides white space, and no backtick: a formula never reaches into a code span.
    const int backtick = firstFrom(m_backticks, formula->texStart);
    if ((backtick >= 0 && backtick < formula->texEnd) ||
        !holdsSomething(m_text.sliced(formula->texStart, formula->texEnd - formula->texStart)))
        return std::nullopt;
    return formula;
}

void writeLocalFormula(QString& out, QStringView text, const LocalFormula& formula) {
    out += formula.display ? u"<span class=\"math-display\">"_s : u"<span class=\"math-inline\">"_s;
    for (const QChar c : text.sliced(formula.texStart, formula.texEnd - formula.texStart)) {
        switch (c.unicode()) {
        case u'&':
            out += u"&amp;"_s;
            break;
        case u'<':
            out += u"&lt;"_s;
            break;
        case u'>':
            out += u"&gt;"_s;
            break;
        case u'"':
            out += u"&quot;"_s;
            break;
        default:
            out += c;
        }
    }
    out += u"</span>"_s;
}
