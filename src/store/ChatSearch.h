#pragma once

#include "text/Expected.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

// The form a query and a chat's text are compared in: letter case folded for every
// alphabet, so «Сортировка» finds «сортировка» as «HELLO» finds «hello», and ё read as е,
// as Russian is often written without it («ежик» finds «ЁЖИК»). Each character keeps its
// place, so a position in the folded text is one in the text as written.
QString FoldCase(QStringView text);

// Trims spaces and control characters (U+0000 to U+0020) from both ends.
QStringView TrimSpaceAndControl(QStringView text);

// The words of a search query: runs of spaces and control characters separate them,
// and a part in quotation marks keeps its inner spaces, the marks removed
// («"доброе утро" кот» gives «доброе утро» and «кот»).
QStringList SplitSearchQuery(QStringView query);

// Whether every word that is not empty once trimmed occurs in one of texts as it stands,
// in any order; a query without such a word matches nothing.
bool ContainsEveryWord(const QList<QStringView>& texts, const QStringList& words);

// The line of text (as written) where the first of the words occurs in folded (text
// folded by FoldCase), trimmed and cut to about maxLength characters around the word; empty
// when none occurs.
QString MatchingLine(QStringView text, QStringView folded, const QStringList& words,
                     qsizetype maxLength = 120);

// A chat the search found, and the line that matched under its name.
struct ChatSearchMatch {
    QString Path;
    QString Line;
};

struct ChatSearchOutcome {
    // Files passed over: unreadable, no regular file, too large to open, not a chat in
    // JSON, or with a "text" that is not a string.
    int Skipped = 0;
};

// What a search tells as it goes and asks between files, on the thread it runs on.
struct ChatSearchListener {
    // A match, as soon as it is found.
    std::function<void(const ChatSearchMatch&)> Matched;
    // After each file: how many of the folder's chat files have been read, of how many.
    std::function<void(qsizetype done, qsizetype total)> Progressed = {};
    // Asked before each file; true ends the search there.
    std::function<bool()> Stopped = {};
};

// Searches the chat files of folder ("*.json" in the order the folder listing gives them;
// only regular files that a chat could be opened from are read) for chats whose folded
// message text or title holds every one of the words. A damaged file does not stop the search: it is
// passed over and counted. Fails when the folder itself cannot be read.
Expected<ChatSearchOutcome> SearchChatFolder(const QString& folder, const QStringList& words,
                                             const ChatSearchListener& listener);
