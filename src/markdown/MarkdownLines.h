#pragma once

#include <QString>

class TConfiguration;
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
        return FCursor <= FValue.size() ? FValue[FCursor - 1] : QChar(0);
    }

private:
    const QString& FValue;
    qsizetype FCursor = 0;
};

// One source line, tabs expanded. Lines of a block form a doubly linked list; the document
// store owns them all.
class TLine {
public:
    explicit TLine(QString value) : FValue(std::move(value)) {}

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

    TLine* FXmlEndLine = nullptr;
    bool FPrevEmpty = false;
    TLine* FPrevious = nullptr;
    int FPosition = 0;
    QString FValue;
    bool FIsEmpty = true;
    int FTrailing = 0;
    bool FNextEmpty = false;
    int FLeading = 0;
    TLine* FNext = nullptr;
};

// One link reference definition; a link of "*" with a title is an abbreviation.
struct TLinkRef {
    QString FLink;
    QString FTitle;
    bool FIsAbbrev = false;
};
