#pragma once

#include "conversation/ConversationModel.h"

#include <QDateTime>
#include <QString>

// Text of a chat-list entry for a chat file name: the name without its extension,
// cut before the first "_20" that is not at its very start (where the time stamp of
// the program's own names begins).
QString ChatDisplayName(const QString& fileName);

// Title of a new chat file: the first user text (its first 50 UTF-16 code units),
// with the characters a file name cannot hold turned into spaces and the ends
// trimmed; "chat" when nothing is left.
QString ChatTitle(const TChatHistory& history);

// "<title>_yyyy-MM-dd_HHmmss.json"; `counter` above 1 goes before the extension
// ("_2") so that two chats first saved in the same second keep apart.
QString ChatFileName(const QString& title, const QDateTime& firstSaved, int counter = 1);
