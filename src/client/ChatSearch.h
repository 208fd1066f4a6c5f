#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>

// Lower-cases the Latin letters A-Z only; every other character, Cyrillic included,
// keeps its case.
QString LowerLatin(QStringView text);

// Trims spaces and control characters (U+0000 to U+0020) from both ends.
QStringView TrimSpaceAndControl(QStringView text);

// The words of a search query: runs of spaces and control characters separate them,
// and a part in quotation marks keeps its inner spaces, the marks removed
// («"доброе утро" кот» gives «доброе утро» and «кот»).
QStringList SplitSearchQuery(QStringView query);

// Whether any word that is not empty once trimmed occurs in text as it stands.
bool ContainsAnyWord(QStringView text, const QStringList& words);

// Searches the chat files of folder ("*.json", regular files, in the order the folder
// listing gives them) for any of the words in their lower-cased message text, and
// passes the full path of each match to onMatch as soon as it is found. Files that are
// not JSON objects are skipped. The first failure (the folder cannot be listed, a file
// cannot be read, a "text" member is not a string) ends the search; its text is returned.
std::optional<QString> SearchChatFolder(const QString& folder, const QStringList& words,
                                        const std::function<void(const QString&)>& onMatch);
