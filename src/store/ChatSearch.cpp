#include "store/ChatSearch.h"

#include "store/ChatTextScanner.h"

#include <QDir>
#include <QDirIterator>

#include <algorithm>
#include <utility>

namespace {

bool isSpaceOrControl(QChar c) {
    return c.unicode() <= 0x20;
}

} // namespace

QString FoldCase(QStringView text) {
    QString folded = text.toString().toCaseFolded();
    // Simple case folding keeps every UTF-16 unit in place, and so does this.
    folded.replace(u'ё', u'е');
    return folded;
}

QStringView TrimSpaceAndControl(QStringView text) {
    while (!text.isEmpty() && isSpaceOrControl(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isSpaceOrControl(text.back()))
        text.chop(1);
    return text;
}

QStringList SplitSearchQuery(QStringView query) {
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (const QChar c : query) {
        if (c == u'"') {
            quoted = !quoted;
            inWord = true;
        } else if (isSpaceOrControl(c) && !quoted) {
            if (inWord)
                words.append(std::exchange(word, QString()));
            inWord = false;
        } else {
            word.append(c);
            inWord = true;
        }
    }
    if (inWord)
        words.append(word);
    return words;
}

bool ContainsEveryWord(const QList<QStringView>& texts, const QStringList& words) {
    bool anyWord = false;
    for (const QString& word : words) {
        if (TrimSpaceAndControl(word).isEmpty())
            continue;
        anyWord = true;
        const bool found = std::any_of(texts.begin(), texts.end(),
                                       [&](QStringView text) { return text.contains(word); });
        if (!found)
            return false;
    }
    return anyWord;
}

QString MatchingLine(QStringView text, QStringView folded, const QStringList& words,
                     qsizetype maxLength) {
    qsizetype at = -1;
    qsizetype length = 0;
    for (const QString& word : words) {
        if (TrimSpaceAndControl(word).isEmpty())
            continue;
        const qsizetype found = folded.indexOf(word);
        if (found >= 0 && (at < 0 || found < at)) {
            at = found;
            length = word.size();
        }
    }
    // A folding that moved characters would point into the wrong place: the folded
    // text is shown then.
    const QStringView shown = text.size() == folded.size() ? text : folded;
    if (at < 0)
        return {};
    const qsizetype lineStart = shown.lastIndexOf(u'\n', at) + 1;
    qsizetype lineEnd = shown.indexOf(u'\n', at + length);
    if (lineEnd < 0)
        lineEnd = shown.size();
    qsizetype start = lineStart;
    qsizetype end = lineEnd;
    // A long line is cut around the word: a little before it, the rest after.
    if (end - start > maxLength) {
        start = std::max(lineStart, at - maxLength / 4);
        end = std::min(lineEnd, start + maxLength);
    }
    QString line = TrimSpaceAndControl(shown.sliced(start, end - start)).toString();
    if (start > lineStart)
        line.prepend(u'…');
    if (end < lineEnd)
        line.append(u'…');
    return line;
}

Expected<ChatSearchOutcome> SearchChatFolder(const QString& folder, const QStringList& words,
                                             const ChatSearchListener& listener) {
    const QDir dir(folder);
    if (!dir.exists() || !dir.isReadable())
        return Failure(
            QStringLiteral("Не удалось прочитать папку %1").arg(QDir::toNativeSeparators(folder)));
    // Listed first, so that progress can be told against the whole.
    QStringList paths;
    QDirIterator files(folder, {QStringLiteral("*.json")}, QDir::Files | QDir::Hidden);
    while (files.hasNext())
        paths.append(dir.filePath(files.nextFileInfo().fileName()));
    ChatSearchOutcome outcome;
    ChatTextScanner scanner;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (listener.Stopped && listener.Stopped())
            break;
        if (scanner.scanFile(paths[i]) != ChatTextScanner::Outcome::Text) {
            ++outcome.Skipped;
        } else {
            const QString text = FoldCase(scanner.text());
            const QString title = FoldCase(scanner.title());
            if (ContainsEveryWord({text, title}, words))
                listener.Matched({paths[i], MatchingLine(scanner.text(), text, words)});
        }
        if (listener.Progressed)
            listener.Progressed(i + 1, paths.size());
    }
    return outcome;
}
