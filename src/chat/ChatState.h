#pragma once

#include "conversation/ConversationModel.h"
#include "service/ChatParameters.h"
#include "store/ChatFile.h"

#include <QString>

// One chat's conversation and what its file keeps beside it. A request holds the chat it
// was sent from, so its answer lands there even when another chat is shown meanwhile.
struct ChatState {
    TChatHistory History;
    // The members of the chat file's top object that this program does not read.
    KeptMembers KeptTopMembers;
    ChatLabel Label;
    ChatParameters Parameters;

    // Marks the user message at index as a failed request with nothing kept: it stays in
    // the chat, is never sent again, and says why. Nothing when the message at that place
    // is no user message.
    void MarkRequestFailed(qsizetype index, const QString& reason);
};
