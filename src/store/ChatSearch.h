#pragma once

#include "text/Expected.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

// The form a query and a chat's text are compared in: letter case folded for every
// alphabet, so «Сортировка» finds «сортировка» as «HELLO» finds «hello».
QString FoldCase(QStringView text);

// Trims spaces and control characters (U+0000 to U+0020) from both ends.
QStringView TrimSpaceAndControl(QStringView text);

// The words of a search query: runs of spaces and control characters separate them,
// and a part in quotation marks keeps its inner spaces, the marks removed
// («"доброе утро" кот» gives «доброе утро» and «кот»).
QStringList SplitSearchQuery(QStringView query);

// Whether any word that is not empty once trimmed occurs in text as it stands.
bool ContainsAnyWord(QStringView text, const QStringList& words);

struct ChatSearchOutcome {
    // Files passed over: unreadable, no regular file, too large to open, not a chat in
    // JSON, or with a "text" that is not a string.
    int Skipped = 0;
};

// What a search tells as it goes and asks between files, on the thread it runs on.
struct ChatSearchListener {
    // The full path of a match, as soon as it is found.
    std::function<void(const QString&)> Matched;
    // After each file: how many of the folder's chat files have been read, of how many.
    std::function<void(qsizetype done, qsizetype total)> Progressed = {};
    // Asked before each file; true ends the search there.
    std::function<bool()> Stopped = {};
};

// Searches the chat files of folder ("*.json" in the order the folder listing gives them;
// only regular files that a chat could be opened from are read) for any of the words in
// their case-folded message text or title. A damaged file does not stop the search: it is
// passed over and counted. Fails when the folder itself cannot be read.
Expected<ChatSearchOutcome> SearchChatFolder(const QString& folder, const QStringList& words,
                                             const ChatSearchListener& listener);
