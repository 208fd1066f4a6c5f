#pragma once

#include "markdown/MarkdownScan.h"

#include <QString>

class TConfiguration;
class DocumentStore;
class TTable;

enum TLineType {
    ltEMPTY,
    ltOTHER,
    ltHEADLINE,
    ltHEADLINE1,
    ltHEADLINE2,
    ltCODE,
    ltULIST,
    ltOLIST,
    ltBLIST,
    ltBQUOTE,
    ltHR,
    ltXML,
    ltFENCED_CODE,
    ltTABLE
};

// Hands out the source one character at a time; the character 0 marks the end.
class TMarkdownReader {
public:
    explicit TMarkdownReader(const QString& source) : FValue(source) {}
    QChar read() {
        ++FCursor;
        return FCursor <= FValue.size() ? FValue.at(FCursor - 1) : QChar(0);
    }
    // The character the next read returns.
    const QChar* current() const { return FValue.constData() + FCursor; }
    // Reads on up to (not including) the next character that the line reader treats
    // specially: a tab, a line break, the character 0 and, in panic mode, "<".
    QStringView readPlain(bool panic) {
        const QChar* data = FValue.constData();
        const qsizetype start = FCursor;
        qsizetype p = start;
        const qsizetype n = FValue.size();
        const auto* text = reinterpret_cast<const char16_t*>(data);
        for (;;) {
            if (panic) {
                while (p < n && data[p].unicode() > '\r' && data[p] != u'<')
                    ++p;
            } else {
                p = findControl(text + p, text + n) - text;
            }
            const char16_t u = p < n ? data[p].unicode() : 0;
            if (p >= n || u == '\t' || u == '\n' || u == '\r' || u == 0 || u == '<')
                break;
            ++p; // another control character, an ordinary one here
        }
        FCursor = p;
        return QStringView(data + start, p - start);
    }

private:
    const QString& FValue;
    qsizetype FCursor = 0;
};

// One source line, tabs expanded. Lines of a block form a doubly linked list; the document
// store owns them all.
class TLine {
public:
    TLine(DocumentStore& store, QString value) : FValue(std::move(value)), FStore(&store) {}

    void Init();
    void InitLeading();
    bool skipSpaces();
    QString readUntil(std::initializer_list<char16_t> chend);
    void setEmpty();
    int countMarkerChars(QChar ch) const;
    int countLeadingChars(QChar ch, bool allowSpaces) const;
    TLineType getLineType(const TConfiguration& config, TTable& tables);
    QString stripID();
    bool isHtmlBlockStart();
    int findCommentEnd(TLine* line, int start);

    int length() const { return int(FValue.size()); }
    // Drops the first count characters (list markers, quote prefixes); cheap, since the
    // string only moves its start.
    void dropPrefix(qsizetype count);
    // Replaces the text; every other change of a line's text goes through here.
    void setValue(QString value);

    // Ordered by size, so that a long text's many lines take little room.
    QString FValue;
    TLine* FPrevious = nullptr;
    TLine* FNext = nullptr;
    TLine* FXmlEndLine = nullptr;
    int FPosition = 0;
    int FLeading = 0;
    int FTrailing = 0;
    bool FIsEmpty = true;
    bool FPrevEmpty = false;
    bool FNextEmpty = false;

private:
    DocumentStore* FStore;
    // countMarkerChars of one character: the distance from the end of the text to the last
    // character that is neither that character nor a space (0: none). Dropping a prefix
    // keeps it; any other change of the text forgets it.
    mutable qsizetype FMarkerDistance = 0;
    mutable char16_t FMarkerChar = 0;
    // How many characters at the start of the text are known to be spaces. A nested list
    // item drops a few of them per level; counting the rest anew each time would cost the
    // whole indentation per level.
    int FKnownSpaces = 0;
};

// One link reference definition; a link of "*" with a title is an abbreviation.
struct TLinkRef {
    QString FLink;
    QString FTitle;
    bool FIsAbbrev = false;
};
