#pragma once

#include "ConversationModel.h"

#include <QString>

// The message blocks of a whole saved conversation, in order, as the page shows them
// when a chat is opened: user items with their attachment names, and of each model item
// only its first part, each with the time it was written (none when the file did not
// keep it). Items of any other role are not shown.
QString BuildConversationHtml(const TChatHistory& history);
