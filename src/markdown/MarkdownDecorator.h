#pragma once

#include <QString>

// Writes every HTML tag of the converter; a subclass changes the HTML without touching the
// parser.
class TDecorator {
public:
    virtual ~TDecorator() = default;

    virtual void openParagraph(QString& out);
    virtual void closeParagraph(QString& out);
    virtual void openBlockQuote(QString& out);
    virtual void closeBlockQuote(QString& out);
    virtual void openCodeBlock(QString& out);
    virtual void closeCodeBlock(QString& out);
    virtual void openCodeSpan(QString& out);
    virtual void closeCodeSpan(QString& out);
    virtual void openHeadline(QString& out, int level);
    virtual void closeHeadline(QString& out, int level);
    virtual void openStrong(QString& out);
    virtual void closeStrong(QString& out);
    virtual void openEmphasis(QString& out);
    virtual void closeEmphasis(QString& out);
    virtual void openStrike(QString& out);
    virtual void closeStrike(QString& out);
    virtual void openIns(QString& out);
    virtual void closeIns(QString& out);
    virtual void openMark(QString& out);
    virtual void closeMark(QString& out);
    virtual void openSuper(QString& out);
    virtual void closeSuper(QString& out);
    virtual void openSub(QString& out);
    virtual void closeSub(QString& out);
    virtual void openOrderedList(QString& out);
    virtual void closeOrderedList(QString& out);
    virtual void openUnOrderedList(QString& out);
    virtual void closeUnOrderedList(QString& out);
    virtual void openListItem(QString& out);
    virtual void closeListItem(QString& out);
    virtual void checkedItem(QString& out);
    virtual void uncheckedItem(QString& out);
    virtual void horizontalRuler(QString& out);
    virtual void openLink(QString& out);
    virtual void closeLink(QString& out);
    virtual void openImage(QString& out);
    virtual void closeImage(QString& out);

    // Not virtual: the fence's meta text goes into the class attribute as it is.
    void openFencedCodeBlock(QString& out, const QString& classlabel);
};
