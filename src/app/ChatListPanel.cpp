// Chat search and deletion: typing in the search box (after a short pause, or at once
// with Enter) narrows the chat list to the chats whose messages hold a word of the query,
// Escape brings the whole list back, and the list's popup menu deletes the chat under
// the pointer or all of them.
#include "app/MainWindow.h"

#include "store/ChatNaming.h"
#include "store/ChatSearch.h"
#include "app/Dialogs.h"
#include "chat/GeminiDM.h"
#include "app/KeyUpFilter.h"
#include "app/OperationError.h"
#include "app/PathObject.h"
#include "app/ScopedFlag.h"

#include <QAction>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTimer>

#include <memory>

namespace {

const QString kChooseChatToDelete =
    QStringLiteral("Пожалуйста, выберите существующий чат для удаления.");
// Long enough to skip the keys of one word, short enough to feel immediate.
constexpr int kSearchDelayMs = 200;

} // namespace

void TForm1::ConnectSearchHandlers() {
    FSearchDelay = new QTimer(this);
    FSearchDelay->setObjectName(QStringLiteral("searchDelay"));
    FSearchDelay->setSingleShot(true);
    FSearchDelay->setInterval(kSearchDelayMs);
    connect(FSearchDelay, &QTimer::timeout, this, [this] { Guarded([this] { SearchChats(); }); });
    connect(Edit1, &QLineEdit::textEdited, FSearchDelay, qOverload<>(&QTimer::start));
    new KeyUpFilter(Edit1, [this](int key) { Guarded([&] { Edit1KeyUp(key); }); });
    // The entry the menu was about was only shown selected; the open chat's entry is
    // selected again once the chosen item has run.
    connect(PopupMenu14, &QMenu::aboutToHide, this, [this] {
        QTimer::singleShot(0, this, [this] { SelectOpenChatEntryIfListed(); });
    });
    ConnectGuarded(N6, &QAction::triggered, &TForm1::N6Click);
    ConnectGuarded(N12, &QAction::triggered, &TForm1::N12Click);
}

void TForm1::Edit1KeyUp(int Key) {
    if (IsEnterKey(Key)) {
        SearchChats();
    } else if (Key == Qt::Key_Escape) {
        Edit1->clear();
        SearchChats();
    }
}

void TForm1::SearchChats() {
    FSearchDelay->stop();
    const QString query = TrimSpaceAndControl(FoldCase(Edit1->text())).toString();
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
    if (ListBox2->count() == 0) {
        // Says so in the list itself; it cannot be picked or deleted.
        auto* nothing = new QListWidgetItem(QStringLiteral("Ничего не найдено"), ListBox2);
        nothing->setFlags(Qt::NoItemFlags);
    }
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

void TForm1::ListBox2ContextMenu(const QPoint& at) {
    QListWidgetItem* entry = ListBox2->itemAt(at);
    if (entry && entry->flags().testFlag(Qt::ItemIsSelectable)) {
        // Shown as the one the menu is about, without opening it.
        ScopedFlag loading(FIsLoading);
        ListBox2->setCurrentItem(entry);
    }
    PopupMenu14->popup(ListBox2->viewport()->mapToGlobal(at));
}

void TForm1::SelectOpenChatEntryIfListed() {
    ScopedFlag loading(FIsLoading);
    for (int row = 0; row < ListBox2->count(); ++row) {
        const std::optional<TPathObject> chat = PathObjectOf(ListBox2->item(row));
        if (chat ? FChats.IsCurrent(chat->Path)
                 : FChats.CurrentFile().isEmpty() && ListBox2->item(row) == FindNewChatEntry()) {
            ListBox2->setCurrentRow(row);
            return;
        }
    }
    ListBox2->setCurrentItem(nullptr);
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
