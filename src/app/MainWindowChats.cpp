// The chat list: the saved chats as its entries, and the events that save the current
// chat, open another or start anew, forwarded to the chat library.
#include "app/MainWindow.h"

#include "store/ChatNaming.h"
#include "app/Dialogs.h"
#include "chat/GeminiDM.h"
#include "app/OperationError.h"
#include "app/PathObject.h"
#include "app/ScopedFlag.h"

#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>

QListWidgetItem* TForm1::FindNewChatEntry() const {
    const QList<QListWidgetItem*> found =
        ListBox2->findItems(NewChatEntryText(), Qt::MatchFixedString); // case-insensitive
    return found.isEmpty() ? nullptr : found.first();
}

void TForm1::LoadChatList() {
    ScopedFlag loading(FIsLoading);
    ClearChatList();
    if (const Expected<void> folder = FChats.EnsureFolder(); !folder)
        throw OperationError(folder.error());
    ListBox2->setUpdatesEnabled(false);
    for (const ChatListEntry& chat : FChats.ListChats()) {
        auto* entry = new QListWidgetItem(chat.displayName, ListBox2);
        AttachPathObject(entry, chat.path);
    }
    ListBox2->setUpdatesEnabled(true);
}

ChatSave TForm1::SaveCurrentChat() {
    const ChatSave save = FChats.Save(FGeminiDM);
    if (save.result == ChatSave::Result::MovedAway)
        ShowCurrentChatInList();
    else if (save.result == ChatSave::Result::Named)
        NameNewChatEntry();
    return save;
}

bool TForm1::LeaveCurrentChat() {
    const ChatSave save = SaveCurrentChat();
    if (!save.failed())
        return true;
    return FDialogs.AskYesNo(ChatLibrary::LeaveWithoutSavingQuestion(save),
                             Dialogs::QuestionIcon::Warning);
}

// The new-chat entry becomes the entry of the chat's first file.
void TForm1::NameNewChatEntry() {
    ScopedFlag loading(FIsLoading);
    if (QListWidgetItem* entry = FindNewChatEntry()) {
        AttachPathObject(entry, FChats.CurrentFile());
        entry->setText(ChatDisplayName(QFileInfo(FChats.CurrentFile()).fileName()));
    }
}

// A chat saved away from the file it was opened from gets an entry of its own at
// the top of the list, selected.
void TForm1::ShowCurrentChatInList() {
    ScopedFlag loading(FIsLoading);
    auto* entry = new QListWidgetItem(ChatDisplayName(QFileInfo(FChats.CurrentFile()).fileName()));
    AttachPathObject(entry, FChats.CurrentFile());
    ListBox2->insertItem(0, entry);
    ListBox2->setCurrentItem(entry);
}

void TForm1::OpenChat(const QString& path) {
    const ChatOpening opening = FChats.Open(path, FGeminiDM);
    if (!opening.opened) {
        StartNewChatInPlace(opening.text);
        SelectNewChatEntry();
        FDialogs.ShowMessage(opening.text);
        return;
    }
    ResetChatView();
    RenderHistory();
    SetStatusText(opening.text);
}

void TForm1::ListBox2Click() {
    if (FIsLoading)
        return;
    const QListWidgetItem* entry = ListBox2->currentItem();
    if (!entry)
        return;
    if (entry->text() == NewChatEntryText()) {
        if (!FChats.CurrentFile().isEmpty())
            btnNewChatClick();
        return;
    }
    const std::optional<TPathObject> chat = PathObjectOf(entry);
    if (!chat || FChats.IsCurrent(chat->Path))
        return;
    if (!LeaveCurrentChat()) {
        SelectCurrentChatEntry();
        return;
    }
    OpenChat(chat->Path);
    UpdateContextTokens();
}

void TForm1::btnNewChatClick() {
    if (!LeaveCurrentChat()) {
        SelectCurrentChatEntry();
        return;
    }
    StartNewChatInPlace(QStringLiteral("Новый чат начат."));
    SelectNewChatEntry();
}

void TForm1::StartNewChatInPlace(const QString& status) {
    FChats.StartNew(FGeminiDM);
    ResetChatView();
    SetStatusText(status);
    UpdateContextTokens();
}

void TForm1::SelectCurrentChatEntry() {
    if (FChats.CurrentFile().isEmpty()) {
        SelectNewChatEntry();
        return;
    }
    ScopedFlag loading(FIsLoading);
    for (int row = 0; row < ListBox2->count(); ++row) {
        const std::optional<TPathObject> chat = PathObjectOf(ListBox2->item(row));
        if (chat && FChats.IsCurrent(chat->Path)) {
            ListBox2->setCurrentRow(row);
            return;
        }
    }
    ListBox2->setCurrentItem(nullptr);
}

void TForm1::SelectNewChatEntry() {
    ScopedFlag loading(FIsLoading);
    QListWidgetItem* entry = FindNewChatEntry();
    if (!entry) {
        entry = new QListWidgetItem(NewChatEntryText());
        ListBox2->insertItem(0, entry);
    }
    ListBox2->setCurrentItem(entry);
}
