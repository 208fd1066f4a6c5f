#pragma once

#include "chat/ChatLibrary.h"
#include "text/Expected.h"

#include <QString>
#include <QWidget>

class QAction;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPoint;
class QPushButton;
class QTimer;
class Dialogs;

// The left column: the search box, the new-chat button and the chat list with its popup
// menu. It shows the library's chats and the open one, searches the chat folder, and asks
// the window by signals to open, start, delete or export a chat.
class ChatListPanel : public QWidget {
    Q_OBJECT

public:
    ChatListPanel(const ChatLibrary& chats, Dialogs& dialogs, QWidget* parent);

    static QString NewChatEntryText();

    // The library's chats, newest first, in place of what the list shows.
    Expected<void> LoadChatList();
    void ClearChatList();
    // Puts the new-chat entry at the top of the list unless it is there, and selects it.
    void SelectNewChatEntry();
    // Selects the open chat's entry, or the new-chat entry for a new chat.
    void SelectCurrentChatEntry();
    // A saved chat that took a new file: the new-chat entry becomes its entry, or a chat
    // written away from the file it came from gets an entry of its own on top.
    void ShowSave(ChatSaved save);
    // The entry of a deleted chat goes; the open chat's entry is not replaced by a neighbour.
    void RemoveChatEntry(const QString& path);
    // While a request runs no other chat can be opened or started.
    void SetRequestRunning(bool running);

    // After the popup menu or a deletion: the open chat's entry is selected, when listed.
    void SelectOpenChatEntryIfListed();

    void ListBox2Click();
    void Edit1KeyUp(int Key);
    // The popup menu acts on the entry under the pointer.
    void ListBox2ContextMenu(const QPoint& at);
    void N6Click();
    void N12Click();

Q_SIGNALS:
    void NewChatRequested();
    void ChatPicked(const QString& path);
    // Asked after the user confirmed.
    void DeleteChatRequested(const QString& path);
    void DeleteAllRequested();
    // The chat of the selected entry; an empty path for the open new chat.
    void ExportRequested(const QString& path, const QString& title);
    void StatusMessage(const QString& text);

private:
    void SearchChats();
    void RestoreFullChatList();
    void ExportChatClick();
    QListWidgetItem* FindNewChatEntry() const;
    QListWidgetItem* AddChatEntry(const QString& path, int row = -1);

    const ChatLibrary& m_chats;
    Dialogs& m_dialogs;

    QLineEdit* Edit1 = nullptr;
    QPushButton* btnNewChat = nullptr;
    QListWidget* ListBox2 = nullptr;
    QMenu* PopupMenu14 = nullptr;
    QAction* N6 = nullptr;
    QAction* N11 = nullptr;
    QAction* N12 = nullptr;
    QAction* actExportChat = nullptr;
    // Searches a moment after the user stops typing.
    QTimer* m_searchDelay = nullptr;
    // Set while the panel itself changes the list: only the user's picks open chats.
    bool m_isLoading = false;
};
