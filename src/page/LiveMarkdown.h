#pragma once

#include <QString>
#include <QStringView>

// An answer still being written is shown by converting its finished blocks once each and
// only the unfinished tail again on every change, so a long answer costs about what
// converting it once does. The finished answer is converted whole, as any answer is.

// How much of the text is finished blocks: the text up to the last blank line outside a
// fenced code block that a non-indented line already follows (an indented one may still
// continue a list item or code block). 0 when there is none.
qsizetype SettledLength(QStringView text);

// Converts one answer's text into the page's HTML piece by piece.
class LiveMarkdown {
public:
    // The HTML of the blocks finished since the last call, and of the tail as it stands.
    struct Update {
        QString settledHtml;
        QString tailHtml;
    };

    Update Advance(const QString& textSoFar);

private:
    qsizetype m_settled = 0;
};
