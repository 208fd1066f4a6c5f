#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// The actions the chat page offers on each message, as links in a bar inside the message's
// block. A link goes to the fragment "msg-<token>-<action>-<index>": the index is the
// message's place in the conversation, and the page's token keeps a link an answer writes
// itself from passing for one of them.

enum class MessageAction : std::uint8_t { Copy, Edit, Regenerate, Delete };

struct MessageActionLink {
    MessageAction Action = MessageAction::Copy;
    qsizetype Index = 0;

    bool operator==(const MessageActionLink&) const = default;
};

// The bar of the message at index: "Копировать", "Изменить" on a question, "Ответить
// заново" on an answer (the page shows it on the last answer only) and "Удалить".
QString MessageActionsHtml(QStringView token, qsizetype index, bool question);

// An item's blocks with the bar put first into its first block; html that does not start
// with a message block is given back as it is.
QString WithMessageActions(const QString& itemHtml, QStringView token, qsizetype index,
                           bool question);

// The action a fragment asks for; nothing for any other fragment or another token.
std::optional<MessageActionLink> ParseMessageActionFragment(QStringView fragment,
                                                            QStringView token);
