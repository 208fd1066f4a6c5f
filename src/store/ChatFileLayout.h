#pragma once

#include "conversation/ConversationModel.h"
#include "store/ChatFile.h"

#include <QByteArrayView>
#include <QList>

#include <optional>

// The members of a chat file that the reader does not use, found where they sit: in the
// top object, in each item of "contents", in each of its parts and in their
// "inline_data". Of duplicate members the last one counts, as in the JSON parser.
struct PartLayout {
    KeptMembers Part;
    KeptMembers InlineData;
};

struct ItemLayout {
    KeptMembers Item;
    QList<PartLayout> Parts;
};

struct ChatFileLayout {
    KeptMembers Top;
    QList<ItemLayout> Items;
};

// Walks the text of a chat file (a byte-order mark allowed) without building a tree:
// strings, however long, are stepped over with one search for their closing quote.
// Nothing when the text is not an object the walk can follow; whether it is valid JSON
// is the parser's business.
std::optional<ChatFileLayout> ReadChatFileLayout(QByteArrayView text);

// The label from the start of a chat file's text: the top object's "title" and "pinned"
// before its "contents" member (of duplicates the last one). Nothing when the text ends
// before "contents" or is not the start of an object.
std::optional<ChatLabel> ReadChatLabel(QByteArrayView start);
