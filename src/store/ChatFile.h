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

// A chat file's conversation and the members of its top object that are kept.
struct ChatFileContent {
    TChatHistory History;
    KeptMembers Kept;
};

// The text after the byte-order mark of a chat file.
QByteArray ChatFileText(const ChatFileContent& content);

// Writes the chat file whole: a byte-order mark and the text. The file is replaced
// atomically, so when this fails the old file stays whole; a symbolic link in its place
// is replaced, never written through. A failure carries the system's reason.
Expected<void> WriteChatFile(const QString& path, const ChatFileContent& content);

// Reads a chat file into content. Only a regular file is read; a file above
// kMaxChatFileSize is refused before anything is read.
ChatFileLoad ReadChatFile(const QString& path, ChatFileContent& content);

// Reads the text of a chat file (the byte-order mark optional), which it consumes, into
// content; gives loLoaded, loPartial or loDamaged.
ChatFileLoad ReadChatFileText(QByteArray text, ChatFileContent& content);
