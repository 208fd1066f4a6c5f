#pragma once

#include "ConversationModel.h"

#include <QString>

// The message blocks of a whole saved conversation, in order, as the page shows them
// when a chat is opened: user items with their attachment names, and of each model item
// only its first part. Items of any other role are not shown.
QString BuildConversationHtml(const TChatHistory& history);
