#pragma once

#include "conversation/ConversationModel.h"
#include "text/Expected.h"

#include <QByteArray>
#include <QString>

// Chats above this size are not opened: their text, its parsed tree and the conversation
// would take several times as much memory.
inline constexpr qint64 kMaxChatFileSize = 256 * 1024 * 1024;

enum class ChatLoadOutcome : std::uint8_t {
    loLoaded,   // the whole file is the conversation
    loPartial,  // the items before a broken one: never to be written over
    loMissing,  // no such file; the conversation is left as it was
    loNotAFile, // a folder or the like; the conversation is left as it was
    loUnreadable,
    loTooLarge,
    loDamaged, // not JSON, or not an object with a "contents" array
};

// What loading a chat file came to. Text says why a chat could not be opened, in Russian.
struct ChatFileLoad {
    ChatLoadOutcome Outcome = ChatLoadOutcome::loLoaded;
    QString Text;

    bool Opened() const {
        return Outcome == ChatLoadOutcome::loLoaded || Outcome == ChatLoadOutcome::loPartial;
    }
    explicit operator bool() const { return Outcome == ChatLoadOutcome::loLoaded; }
};

// What a chat is called and where the list puts it: the user's title (empty: none, the
// list shows the name of the file) and whether it is pinned above the other chats. Both
// are written only when set, as "title" and "pinned": true.
struct ChatLabel {
    QString Title;
    bool Pinned = false;

    bool operator==(const ChatLabel&) const = default;
};

// A chat file's conversation, its label and the members of its top object that are kept.
struct ChatFileContent {
    TChatHistory History;
    KeptMembers Kept;
    ChatLabel Label = {};
};

// Whether writing a chat file gives it the time of the write or keeps the time it had: a
// new title or pin alone does not make a chat newer in the list.
enum class ChatFileTime : std::uint8_t { Now, KeepOld };

// The text after the byte-order mark of a chat file.
QByteArray ChatFileText(const ChatFileContent& content);

// Writes the chat file whole: a byte-order mark and the text. The file is replaced
// atomically, so when this fails the old file stays whole; a symbolic link in its place
// is replaced, never written through. A failure carries the system's reason.
Expected<void> WriteChatFile(const QString& path, const ChatFileContent& content,
                             ChatFileTime time = ChatFileTime::Now);

// Reads a chat file into content. Only a regular file is read; a file above
// kMaxChatFileSize is refused before anything is read.
ChatFileLoad ReadChatFile(const QString& path, ChatFileContent& content);

// Reads the text of a chat file (the byte-order mark optional), which it consumes, into
// content; gives loLoaded, loPartial or loDamaged.
ChatFileLoad ReadChatFileText(QByteArray text, ChatFileContent& content);

// The label of the chat file at path, read from the members before "contents" (where this
// program writes it) without reading the rest, so listing many large chats stays quick.
// A file that cannot be read or does not start as a chat gives an empty label.
ChatLabel ReadChatFileLabel(const QString& path);

// Gives the chat file at path a new label, keeping its messages, its other members and its
// time. A file that does not load whole is refused, so nothing it holds beyond what loaded
// is lost; the message says why, in Russian.
Expected<void> RelabelChatFile(const QString& path, const ChatLabel& label);
