#pragma once

#include "chat/ChatState.h"
#include "conversation/ConversationModel.h"
#include "service/ChatParameters.h"
#include "store/ChatFile.h"
#include "store/FileRemover.h"
#include "text/Expected.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>

class TGeminiDM;

// A saved chat as the chat list shows it.
struct ChatListEntry {
    QString Path;
    QString DisplayName;
    bool Pinned = false;
    // For a search result: the line that matched.
    QString MatchedLine = {};
};

// What saving the current chat came to when it did not fail.
enum class ChatSaved {
    NotWritten, // nothing to write: an unchanged conversation, or a new one still empty
    Rewritten,  // written over the current chat's file
    Named,      // a new chat's first write: the file now has its name
    MovedAway,  // written to a new file instead of the one it was opened from
};

// Why saving failed: the message for the user, and the reason alone for the question that
// lets the user leave the chat anyway.
struct ChatSaveFailure {
    QString Message;
    QString Reason;
};

using ChatSave = Expected<ChatSaved, ChatSaveFailure>;

// Where a chat lives on disk and what was last written there.
struct ChatPlace {
    // Empty for a new chat that was never written.
    QString File;
    // A chat file that did not load whole is never written over.
    bool Incomplete = false;
    // The chat as last loaded or written: a chat that has not moved on since is not
    // written again.
    TChatHistory SavedHistory;
    ChatLabel SavedLabel;
    ChatParameters SavedParameters;
};

// How saving a chat that is not shown went, and its list entry as it now stands.
struct ParkedChatSave {
    ChatSave Save;
    ChatListEntry Entry;
};

// The saved chats and the chat the conversation belongs to: which file it lives in,
// whether that file may be written over, and when a write is due.
class ChatLibrary {
public:
    ChatLibrary(QString chatsDir, FileRemover& remover);

    // The folder the chat files live in.
    const QString& Folder() const { return m_chatsDir; }
    // The current chat's file; empty for a new chat that was never written.
    const QString& CurrentFile() const { return m_current.File; }
    bool IsCurrent(const QString& path) const { return !path.isEmpty() && path == m_current.File; }
    void SetFileRemover(FileRemover& remover) { m_remover = &remover; }

    // Creates the chat folder, or says why it cannot be made.
    Expected<void> EnsureFolder() const;

    // The chat files in the folder: the pinned ones first, each group newest first.
    QList<ChatListEntry> ListChats() const;
    // The list entry of one chat file, as its file says.
    static ChatListEntry EntryOf(const QString& path);
    // What the list, the status bar and the window's title call a chat: its title, or
    // else the name of its file without the time stamp and the extension.
    static QString DisplayName(const QString& path, const ChatLabel& label);
    // The open chat's name; empty for a new chat without a title.
    QString CurrentDisplayName(const TGeminiDM& conversation) const;

    // The label of a chat: the open one's as it stands, another's as its file says.
    ChatLabel LabelOf(const QString& path, const TGeminiDM& conversation) const;
    // Gives a chat a new label. The open chat takes it at once and writes it with its next
    // save; another chat's file is rewritten, its messages as they were. A chat whose file
    // did not load whole is refused, and the message says why.
    Expected<void> Relabel(const QString& path, const ChatLabel& label, TGeminiDM& conversation);

    // Writes the conversation when it or its label has moved on since it was loaded or
    // last written; a new label alone keeps the file's time, and so its place in the list.
    ChatSave Save(const TGeminiDM& conversation);

    // The question asked when leaving a chat whose save failed.
    static QString LeaveWithoutSavingQuestion(const ChatSaveFailure& failure);

    // Loads the chat at path into the conversation and gives the status text; a chat that
    // cannot be opened leaves an empty new chat, never the previous conversation under the
    // new name, and the message says why.
    Expected<QString> Open(const QString& path, TGeminiDM& conversation);

    // An empty new chat, without saving the current one first.
    void StartNew(TGeminiDM& conversation);

    // A request still answers into the shown chat while another is shown: the chat and
    // its place stay here until the answer is in (SaveParked) or the chat is shown again
    // (ShowParked). Call before another chat is opened or started.
    void Park(std::shared_ptr<ChatState> chat);
    bool IsParked(const QString& path) const {
        return m_parked && !path.isEmpty() && path == m_parked->Place.File;
    }
    bool HasParked(const std::shared_ptr<ChatState>& chat) const {
        return m_parked && m_parked->Chat == chat;
    }
    // Shows the parked chat again, in place of the current one, which must be saved or
    // given up first.
    void ShowParked(TGeminiDM& conversation);
    // Writes the parked chat as Save does and lets it go.
    ParkedChatSave SaveParked();

    // Deletes one chat file, or says why it cannot be deleted.
    Expected<void> Delete(const QString& path);

    // Deletes every chat file; fails when the folder is missing or a file cannot be
    // deleted. Files before the one that failed stay deleted.
    Expected<void> DeleteAll();

private:
    // The path for a new chat file: two chats first written in the same second with the
    // same title keep apart.
    QString UniqueFilePath(const QString& title) const;
    ChatSave WriteTo(const QString& path, const ChatState& chat,
                     ChatFileTime time = ChatFileTime::Now) const;
    ChatSave SaveAt(ChatPlace& place, const ChatState& chat) const;

    struct ParkedChat {
        ChatPlace Place;
        std::shared_ptr<ChatState> Chat;
    };

    QString m_chatsDir;
    FileRemover* m_remover;
    ChatPlace m_current;
    std::optional<ParkedChat> m_parked;
};
