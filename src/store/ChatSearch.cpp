#include "store/ChatSearch.h"

#include "store/ChatTextScanner.h"

#include <QDir>
#include <QDirIterator>

#include <utility>

namespace {

bool isSpaceOrControl(QChar c) {
    return c.unicode() <= 0x20;
}

} // namespace

QString FoldCase(QStringView text) {
    return text.toString().toCaseFolded();
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

bool ContainsAnyWord(QStringView text, const QStringList& words) {
    for (const QString& word : words) {
        if (!TrimSpaceAndControl(word).isEmpty() && text.contains(word))
            return true;
    }
    return false;
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
        if (scanner.scanFile(paths[i]) != ChatTextScanner::Outcome::Text)
            ++outcome.Skipped;
        else if (ContainsAnyWord(FoldCase(scanner.text()), words) ||
                 ContainsAnyWord(FoldCase(scanner.title()), words))
            listener.Matched(paths[i]);
        if (listener.Progressed)
            listener.Progressed(i + 1, paths.size());
    }
    return outcome;
}
