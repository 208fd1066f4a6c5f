#pragma once

#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

// The web service that renders the TeX text of its "chl" parameter as an image.
inline constexpr QStringView kFormulaImageService = u"https://chart.googleapis.com";

// A formula between "$" signs at start becomes an image of the service; returns the position
// of the closing "$", or -1 when there is no formula there.
int checkFormula(QString& out, const QString& in, int start);

// A formula for the page to typeset itself (the local math mode): "$…$" and "\(…\)"
// inline, "$$…$$" and "\[…\]" displayed; any of them may run across lines.
struct LocalFormula {
    int texStart;
    int texEnd;
    int end; // the last character of the closing delimiter
    bool display;
};

// Finds local formulas in one text. The closing delimiters are listed once, so a text
// full of openers that never close costs a search each, not a pass over the rest.
class LocalFormulaFinder {
public:
    explicit LocalFormulaFinder(QStringView text);

    // The formula whose opening delimiter is at start ("$", "$$", "\(" or "\["), when it
    // is closed. For "$…$": the opening "$" is not followed by white space, and the first
    // "$" after it that no backslash escapes closes it when it is not preceded by white
    // space nor followed by a digit; otherwise there is no formula, so "$5 and $10" stays
    // text. A formula holds something besides white space, and no backtick, so it never
    // reaches into a code span.
    std::optional<LocalFormula> at(int start) const;

private:
    QStringView m_text;
    std::vector<int> m_dollars;       // "$" not after a backslash
    std::vector<int> m_doubleDollars; // "$$" not after a backslash
    std::vector<int> m_parens;        // "\)"
    std::vector<int> m_brackets;      // "\]"
    std::vector<int> m_backticks;
};

// The TeX source, escaped, in an element the page's typesetter finds by its class.
void writeLocalFormula(QString& out, QStringView text, const LocalFormula& formula);
