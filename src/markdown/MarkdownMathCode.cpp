#include "MarkdownMathCode.h"

#include "MarkdownUtils.h"

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
