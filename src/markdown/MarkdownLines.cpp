#include "markdown/MarkdownLines.h"

#include "markdown/MarkdownBlocks.h"
#include "markdown/MarkdownConfiguration.h"
#include "markdown/MarkdownEscapes.h"
#include "markdown/MarkdownTables.h"
#include "markdown/MarkdownUtils.h"

#include <QList>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

void TLine::Init() {
    const int L = length();
    FLeading = 0;
    while (FLeading < L && FValue.at(FLeading) == u' ')
        ++FLeading;
    FKnownSpaces = FLeading;
    if (FLeading == L) {
        setEmpty();
        return;
    }
    FIsEmpty = false;
    FTrailing = 0;
    while (FValue.at(L - 1 - FTrailing) == u' ')
        ++FTrailing;
}

void TLine::InitLeading() {
    const int L = length();
    FLeading = std::min(FKnownSpaces, L);
    while (FLeading < L && FValue.at(FLeading) == u' ')
        ++FLeading;
    FKnownSpaces = FLeading;
    if (FLeading == L)
        setEmpty();
}

bool TLine::skipSpaces() {
    while (FPosition < length() && FValue.at(FPosition) == u' ')
        ++FPosition;
    return FPosition < length();
}

QString TLine::readUntil(std::initializer_list<char16_t> chend) {
    const auto inEnd = [&](QChar c) {
        return std::find(chend.begin(), chend.end(), c.unicode()) != chend.end();
    };
    const int L = length();
    QString buffer;
    int i = FPosition;
    while (i < L) {
        const QChar ch = FValue.at(i);
        if (ch == u'\\' && i + 1 < L) {
            if (isEscapable(esDefinitions, FValue.at(i + 1))) {
                buffer += FValue.at(i + 1);
                i += 2;
            } else {
                buffer += ch;
                i += 1;
            }
        } else if (inEnd(ch)) {
            break;
        } else {
            buffer += ch;
            ++i;
        }
    }
    const QChar c = i == L ? QChar(u'\n') : FValue.at(i);
    if (!inEnd(c))
        return {};
    FPosition = i;
    return buffer;
}

void TLine::dropPrefix(qsizetype count) {
    FValue.remove(0, count);
    FKnownSpaces = int(std::max<qsizetype>(FKnownSpaces - count, 0));
    FStore->changed();
}

void TLine::setValue(QString value) {
    FValue = std::move(value);
    FMarkerChar = 0;
    FKnownSpaces = 0;
    FStore->changed();
}

void TLine::setEmpty() {
    setValue({});
    FLeading = 0;
    FTrailing = 0;
    FIsEmpty = true;
    if (FPrevious)
        FPrevious->FNextEmpty = true;
    if (FNext)
        FNext->FPrevEmpty = true;
}

int TLine::countMarkerChars(QChar ch) const {
    const qsizetype L = FValue.size();
    if (FMarkerChar != ch.unicode() || FMarkerDistance > L) {
        // Look from the end: in a nested list line the other character is usually last.
        qsizetype p = L - 1;
        while (p >= 0 && (FValue.at(p) == ch || FValue.at(p) == u' '))
            --p;
        FMarkerChar = ch.unicode();
        FMarkerDistance = p < 0 ? 0 : L - p;
    }
    if (FMarkerDistance > 0)
        return 0;
    return int(FValue.count(ch));
}

int TLine::countLeadingChars(QChar ch, bool allowSpaces) const {
    int count = 0;
    for (QChar c : FValue) {
        if (c == ch)
            ++count;
        else if (!(allowSpaces && c == u' '))
            break;
    }
    return count;
}

TLineType TLine::getLineType(const TConfiguration& config, TTable& tables) {
    if (FIsEmpty)
        return ltEMPTY;
    if (FLeading > 3)
        return ltCODE;
    const int L = length();
    const QChar c = FValue.at(FLeading);
    const bool rich = config.isDialect({mdRich});
    if (c == u'#') {
        if (!rich)
            return ltHEADLINE;
        int j = FLeading + 1;
        while (j < L - 1 && FValue.at(j) == u'#')
            ++j;
        if (j < L && FValue.at(j) == u' ')
            return ltHEADLINE;
    }
    if (c == u'>')
        return ltBQUOTE;
    const int content = L - FLeading - FTrailing;
    if (content > 2 && (c == u'`' || c == u'~') && config.isDialect({mdRich, mdExtended}) &&
        countLeadingChars(c, config.allowSpacesInFencedDelimiters()) >= 3)
        return ltFENCED_CODE;
    if (content > 2 && (c == u'*' || c == u'-' || c == u'_') && countMarkerChars(c) >= 3)
        return ltHR;
    if (L - FLeading >= 2 && FValue.at(FLeading + 1) == u' ' &&
        (c == u'*' || c == u'+' || c == u'-'))
        return ltULIST;
    if (L - FLeading >= 3 && c.isDigit()) {
        int k = FLeading + 1;
        while (k < L && FValue.at(k).isDigit())
            ++k;
        if (k + 1 < L && FValue.at(k + 1) == u' ') {
            if (FValue.at(k) == u'.')
                return ltOLIST;
            if (FValue.at(k) == u')')
                return ltBLIST;
        }
    }
    if (c == u'<' && isHtmlBlockStart())
        return ltXML;
    if (FNext && !FNext->FIsEmpty) {
        const QString& next = FNext->FValue;
        const int NL = int(next.size());
        int m = 0;
        if (rich) {
            m = NL - 1;
            for (int p = 0; p < NL - 1; ++p) {
                if (next[p] == u'-' || next[p] == u'=') {
                    m = p;
                    break;
                }
            }
        }
        if (m < 4 && m < NL) {
            if (next[m] == u'-' && FNext->countMarkerChars(u'-') > 0)
                return ltHEADLINE2;
            if (next[m] == u'=' && FNext->countMarkerChars(u'=') > 0)
                return ltHEADLINE1;
        }
        if (rich && tables.hasFormatChars(FNext) > 0 &&
            TTable::ColCount(this) == tables.separatorPipeCount())
            return ltTABLE;
    }
    return ltOTHER;
}

QString TLine::stripID() {
    const int L = length();
    if (FIsEmpty || L - FTrailing - 1 < 0 || FValue.at(L - FTrailing - 1) != u'}')
        return {};
    int p = FLeading;
    while (p < L && FValue.at(p) != u'{') {
        if (FValue.at(p) == u'\\') {
            ++p;
            if (p < L && FValue.at(p) == u'{')
                ++p;
        } else {
            ++p;
        }
    }
    if (p >= L || p + 1 >= L || FValue.at(p + 1) != u'#')
        return {};
    const int start = p + 2;
    int q = start;
    while (q < L && FValue.at(q) != u'}') {
        if (FValue.at(q) == u'\\') {
            ++q;
            if (q < L && FValue.at(q) == u'}')
                ++q;
        } else {
            ++q;
        }
    }
    if (q >= L)
        return {};
    const QString id = TUtils::trimLow(QStringView(FValue).mid(start, q - start));
    const QStringView value(FValue);
    if (FLeading > 0)
        setValue(value.left(FLeading).toString() +
                 TUtils::trimLow(value.mid(FLeading, start - 2 - FLeading)));
    else
        setValue(TUtils::trimLow(value.left(start - 2)));
    FTrailing = 0;
    return id;
}

bool TLine::isHtmlBlockStart() {
    FPosition = FLeading;
    const int L = length();
    if (L >= FLeading + 2 && FValue.at(FLeading + 1) == u'!' && findCommentEnd(this, FLeading) > 0)
        return true;
    TLine* end = nullptr;
    switch (FStore->htmlBlockStart(this, end)) {
    case DocumentStore::hsNotBlock:
        return false;
    case DocumentStore::hsBlock:
        FXmlEndLine = end;
        return true;
    default:
        break;
    }
    // A line that starts with a closing tag is read as if it opened that element.
    QString element;
    const int p = TUtils::readXML(element, FValue, FLeading, false);
    FPosition = p;
    if (p < 0)
        return false;
    const QString name = TUtils::lowerTagName(element);
    if (!THTML::isHtmlBlockElement(name))
        return false;
    if (name == u"hr"_s || element.endsWith(u"/>"_s)) {
        FXmlEndLine = this;
        return true;
    }
    QList<QString> open{name};
    TLine* line = this;
    std::optional<TagIndex> tags(std::in_place, FValue);
    while (line) {
        const qsizetype lt = line->FValue.indexOf(u'<', FPosition);
        if (lt < 0) {
            line = line->FNext;
            FPosition = 0;
            if (line)
                tags.emplace(line->FValue);
            continue;
        }
        FPosition = int(lt);
        if (tags->tagEnd(FPosition) <= 0) {
            ++FPosition;
            continue;
        }
        element.clear();
        const int q = TUtils::readXML(element, line->FValue, FPosition, false);
        const QString n = TUtils::lowerTagName(element);
        if (THTML::isHtmlBlockElement(n) && n != u"hr"_s && !element.endsWith(u"/>"_s)) {
            if (element.startsWith(u"</"_s)) {
                if (open.last() != n)
                    return false;
                open.removeLast();
            } else {
                open.append(n);
            }
        }
        if (open.isEmpty()) {
            FXmlEndLine = line;
            break;
        }
        FPosition = q;
    }
    return open.isEmpty();
}

int TLine::findCommentEnd(TLine* line, int start) {
    const int L = length();
    if (start + 3 >= L || FValue.at(start + 2) != u'-' || FValue.at(start + 3) != u'-')
        return -1;
    const qsizetype here = line->FValue.indexOf(u"-->"_s, start + 4);
    if (here >= 0) {
        FXmlEndLine = line;
        return int(here) + 3;
    }
    TLine* end = FStore->commentEndFrom(line->FNext);
    if (!end)
        return -1;
    FXmlEndLine = end;
    return int(end->FValue.indexOf(u"-->"_s)) + 3;
}
