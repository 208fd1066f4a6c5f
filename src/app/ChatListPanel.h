#pragma once

#include "chat/ChatLibrary.h"
#include "store/ChatSearch.h"
#include "text/Expected.h"

#include <QString>
#include <QWidget>

#include <optional>

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPoint;
class QPushButton;
class QTimer;
class Dialogs;
template <typename T> class QFutureWatcher;

// The left column: the search box, the new-chat button and the chat list with its popup
// menu. It shows the library's chats (pinned ones first, in bold) and the open one,
// searches the chat folder off the window's thread, and asks the window by signals to
// open, start, delete, export, rename or pin a chat.
class ChatListPanel : public QWidget {
    Q_OBJECT

public:
    ChatListPanel(const ChatLibrary& chats, Dialogs& dialogs, QWidget* parent);
    ~ChatListPanel() override;

    static QString NewChatEntryText();

    // Focus to the search box, its text selected for a new query.
    void FocusSearch();

    // The library's chats, newest first, in place of what the list shows.
    Expected<void> LoadChatList();
    // Empties the list; a search still running is cancelled.
    void ClearChatList();
    // Puts the new-chat entry at the top of the list unless it is there, and selects it.
    void SelectNewChatEntry();
    // Selects the open chat's entry, or the new-chat entry for a new chat.
    void SelectCurrentChatEntry();
    // A saved chat that took a new file: the new-chat entry becomes its entry, or a chat
    // written away from the file it came from gets an entry of its own on top (below the
    // pinned chats unless it is pinned itself). label is the open chat's.
    void ShowSave(ChatSaved save, const ChatLabel& label);
    // A chat's new label: its entry shows the name; a change of pin puts the whole list
    // in order again, unless it shows search results.
    void ShowLabel(const QString& path, const ChatLabel& label);
    // The entry of a deleted chat goes; the open chat's entry is not replaced by a neighbour.
    void RemoveChatEntry(const QString& path);
    // A chat that is not open was saved: one written to a file of its own gets an entry.
    void ShowSavedElsewhere(ChatSaved save, const ChatListEntry& chat);

    // After the popup menu or a deletion: the open chat's entry is selected, when listed.
    void SelectOpenChatEntryIfListed();

    void ListBox2Click();
    void Edit1KeyUp(int Key);
    // The popup menu acts on the entry under the pointer.
    void ListBox2ContextMenu(const QPoint& at);
    void N6Click();
    void N12Click();
    void RenameChatClick();
    void PinChatClick();

Q_SIGNALS:
    void NewChatRequested();
    void ChatPicked(const QString& path);
    // Asked after the user confirmed.
    void DeleteChatRequested(const QString& path);
    void DeleteAllRequested();
    // The chat of the selected entry; an empty path for the open new chat.
    void ExportRequested(const QString& path, const QString& title);
    // An empty title takes the chat's title away.
    void RenameRequested(const QString& path, const QString& title);
    void PinRequested(const QString& path, bool pinned);
    void StatusMessage(const QString& text);

private:
    void SearchChats();
    void StartSearch(const QStringList& words);
    void ShowSearchProgress(int filesRead);
    void EndSearch(const Expected<ChatSearchOutcome>& outcome);
    void CancelSearch();
    void RestoreFullChatList();
    void ExportChatClick();
    QListWidgetItem* FindNewChatEntry() const;
    QListWidgetItem* AddChatEntry(const ChatListEntry& chat, int row = -1);
    // The row a chat's entry goes to when it comes to the top of its group.
    int TopRowFor(bool pinned) const;
    // The chat of the selected entry, or nothing after telling the user to pick one.
    std::optional<QString> SelectedChatPath();

    const ChatLibrary& m_chats;
    Dialogs& m_dialogs;

    QLineEdit* Edit1 = nullptr;
    QPushButton* btnNewChat = nullptr;
    QLabel* searchProgress = nullptr;
    QListWidget* ListBox2 = nullptr;
    QMenu* PopupMenu14 = nullptr;
    QAction* N6 = nullptr;
    QAction* N11 = nullptr;
    QAction* N12 = nullptr;
    QAction* actExportChat = nullptr;
    QAction* actRenameChat = nullptr;
    QAction* actPinChat = nullptr;
    // Searches a moment after the user stops typing.
    QTimer* m_searchDelay = nullptr;
    // The search running, whose matches are listed as it finds them. A search started
    // after it, or a list loaded anew, cancels it, and whatever it finds then goes nowhere.
    QFutureWatcher<ChatListEntry>* m_search = nullptr;
    // Set while the panel itself changes the list: only the user's picks open chats.
    bool m_isLoading = false;
};
