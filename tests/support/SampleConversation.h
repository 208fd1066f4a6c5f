#pragma once

#include "conversation/ConversationModel.h"

// A saved conversation with every kind of item the page shows differently: a user item
// of several texts and attachments (one without a file name), a model image, a role the
// page skips, a model text followed by an image, and an empty model item.
inline TChatHistory SampleConversation() {
    return {
        {QStringLiteral("user"),
         {MakeTextPart(QStringLiteral("look ")), MakeTextPart(QStringLiteral("here")),
          MakeInlinePart(QStringLiteral("image/png"), "AAAA"),
          MakeInlinePart(QStringLiteral("text/plain"), "QQ==", QStringLiteral("notes.txt"))}},
        {QStringLiteral("model"), {MakeInlinePart(QStringLiteral("image/png"), "iVBO")}},
        {QStringLiteral("system"), {MakeTextPart(QStringLiteral("never shown"))}},
        {QStringLiteral("model"),
         {MakeTextPart(QStringLiteral("**caption**")),
          MakeInlinePart(QStringLiteral("image/png"), "iVBO")}},
        {QStringLiteral("model"), {}},
    };
}
