#include "page/LiveMarkdown.h"

#include "page/MessageBlocks.h"

namespace {

bool isBlank(QStringView line) {
    for (const QChar c : line) {
        if (c != u' ' && c != u'\t' && c != u'\r')
            return false;
    }
    return true;
}

// A line that opens or closes a fenced code block: ``` or ~~~ after at most three spaces.
bool isFence(QStringView line) {
    qsizetype i = 0;
    while (i < line.size() && i < 3 && line[i] == u' ')
        ++i;
    const QStringView rest = line.sliced(i);
    return rest.startsWith(u"```") || rest.startsWith(u"~~~");
}

} // namespace

qsizetype SettledLength(QStringView text) {
    qsizetype settled = 0;
    qsizetype afterBlank = -1; // where the text after a blank line outside a fence starts
    bool inFence = false;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf(u'\n', start);
        const bool complete = end >= 0;
        if (!complete)
            end = text.size();
        const QStringView line = text.sliced(start, end - start);
        if (!isBlank(line)) {
            if (afterBlank >= 0 && line[0] != u' ' && line[0] != u'\t')
                settled = afterBlank;
            afterBlank = -1;
            if (complete && isFence(line))
                inFence = !inFence;
        } else if (complete && !inFence) {
            afterBlank = end + 1;
        }
        start = end + 1;
    }
    return settled;
}

LiveMarkdown::Update LiveMarkdown::Advance(const QString& textSoFar) {
    Update update;
    const qsizetype settled = SettledLength(textSoFar);
    if (settled > m_settled) {
        update.settledHtml = BuildAnswerHtml(textSoFar.mid(m_settled, settled - m_settled));
        m_settled = settled;
    }
    update.tailHtml = BuildAnswerHtml(textSoFar.mid(m_settled));
    return update;
}
