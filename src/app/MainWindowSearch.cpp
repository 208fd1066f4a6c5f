// Chat search and deletion: Enter in the search box narrows the chat list to the chats
// whose messages hold a word of the query, and the list's popup menu deletes one chat
// or all of them.
#include "MainWindow.h"

#include "ChatNaming.h"
#include "ChatSearch.h"
#include "Dialogs.h"
#include "GeminiDM.h"
#include "KeyUpFilter.h"
#include "OperationError.h"
#include "PathObject.h"
#include "ScopedFlag.h"

#include <QAction>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>

#include <memory>

namespace {

const QString kChooseChatToDelete =
    QStringLiteral("Пожалуйста, выберите существующий чат для удаления.");

} // namespace

void TForm1::ConnectSearchHandlers() {
    new KeyUpFilter(Edit1, [this](int key) { Guarded([&] { Edit1KeyUp(key); }); });
    ConnectGuarded(N6, &QAction::triggered, &TForm1::N6Click);
    ConnectGuarded(N12, &QAction::triggered, &TForm1::N12Click);
}

void TForm1::Edit1KeyUp(int Key) {
    if (!IsEnterKey(Key))
        return;
    const QString query = TrimSpaceAndControl(LowerLatin(Edit1->text())).toString();
    if (query.isEmpty()) {
        RestoreFullChatList();
        return;
    }
    const QStringList words = SplitSearchQuery(query);
    ClearChatList();
    ScopedFlag loading(FIsLoading);
    // Matches show up as they are found.
    const Expected<ChatSearchOutcome> outcome =
        SearchChatFolder(FFolders.chatsDir(), words, [this](const QString& path) {
            auto* entry =
                new QListWidgetItem(ChatDisplayName(QFileInfo(path).fileName()), ListBox2);
            AttachPathObject(entry, path);
        });
    if (!outcome)
        throw OperationError(outcome.error());
    if (outcome->Skipped > 0)
        SetStatusText(QStringLiteral("Поиск: пропущено повреждённых или нечитаемых файлов "
                                     "чатов: %1")
                          .arg(outcome->Skipped));
}

void TForm1::RestoreFullChatList() {
    LoadChatList();
    SelectNewChatEntry();
    SelectCurrentChatEntry();
}

void TForm1::N6Click() {
    QListWidgetItem* entry = ListBox2->currentItem();
    if (!entry || !entry->isSelected()) {
        FDialogs.ShowMessage(kChooseChatToDelete);
        return;
    }
    const std::optional<TPathObject> chat = PathObjectOf(entry);
    if (!chat) {
        // Only a chat entry carries a file; a hand-made file that happens to be called
        // like the new-chat entry still has one and can be deleted.
        if (entry->text().compare(NewChatEntryText(), Qt::CaseInsensitive) == 0)
            FDialogs.ShowMessage(kChooseChatToDelete);
        else
            FDialogs.ShowMessage(
                QStringLiteral("Ошибка: не удалось найти данные выбранного чата."));
        return;
    }
    const QString question =
        QStringLiteral("Вы уверены, что хотите безвозвратно удалить чат?\r\n") +
        QFileInfo(chat->Path).fileName() + QStringLiteral("\r\nФайл чата будет удален с диска!");
    if (!FDialogs.AskYesNo(question, Dialogs::QuestionIcon::Question))
        return;

    if (FChats.IsCurrent(chat->Path)) {
        StartNewChatInPlace(QStringLiteral("Новый чат начат."));
        ScopedFlag loading(FIsLoading);
        ListBox2->setCurrentItem(FindNewChatEntry());
    }
    if (const Expected<void> deleted = FChats.Delete(chat->Path); !deleted) {
        FDialogs.ShowMessage(deleted.error());
        return;
    }
    ScopedFlag loading(FIsLoading);
    const bool wasCurrent = ListBox2->currentItem() == entry;
    const std::unique_ptr<QListWidgetItem> removed(ListBox2->takeItem(ListBox2->row(entry)));
    // The list would move the selection to a neighbour that is not the open chat.
    if (wasCurrent)
        ListBox2->setCurrentItem(nullptr);
}

void TForm1::N12Click() {
    if (!FDialogs.AskYesNo(
            QStringLiteral("Вы уверены, что хотите безвозвратно удалить ВСЕ чаты?\r\n"
                           "Это действие нельзя будет отменить!"),
            Dialogs::QuestionIcon::Warning))
        return;
    DeleteAllChats();
}

void TForm1::DeleteAllChats() {
    if (const Expected<void> deleted = FChats.DeleteAll(); !deleted) {
        FDialogs.ShowMessage(deleted.error());
        return;
    }
    StartNewChatInPlace(QStringLiteral("Все чаты удалены. Начат новый чат."));
    LoadChatList();
    SelectNewChatEntry();
    FDialogs.ShowMessage(QStringLiteral("Все чаты были успешно удалены."));
}
