// The chat list with its search box: typing (after a short pause, or at once with Enter)
// narrows the list to the chats whose messages hold the words of the query, Escape brings
// the whole list back, and the popup menu deletes, exports, renames or pins the chat under
// the pointer. The search reads every chat file, which can take long: it runs on the
// thread pool, shows how far it has got, and typing again cancels it.
#include "app/ChatListPanel.h"

#include "app/Controls.h"
#include "app/Dialogs.h"
#include "app/Guarded.h"
#include "app/KeyUpFilter.h"
#include "app/PathObject.h"
#include "app/RightClickKeepsSelection.h"
#include "app/ScopedFlag.h"

#include <QAction>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <memory>

namespace {

const QString kChooseChatToDelete =
    QStringLiteral("Пожалуйста, выберите существующий чат для удаления.");
const QString kChooseSavedChat = QStringLiteral("Пожалуйста, выберите сохранённый чат.");
// Whether an entry's chat is pinned, beside its path.
constexpr int kPinnedRole = Qt::UserRole + 1;
// The line a search found in the entry's chat.
constexpr int kMatchedLineRole = Qt::UserRole + 2;
// Long enough to skip the keys of one word, short enough to feel immediate.
constexpr int kSearchDelayMs = 200;
constexpr int kChatListItemHeight = 21;
constexpr int kLeftColumnMinimumWidth = 140;

bool isPinned(const QListWidgetItem* entry) {
    return entry->data(kPinnedRole).toBool();
}

void showPinned(QListWidgetItem* entry, bool pinned) {
    if (isPinned(entry) == pinned) // most entries never were: nothing to set
        return;
    entry->setData(kPinnedRole, pinned);
    QFont font = entry->font();
    font.setBold(pinned);
    entry->setFont(font);
    entry->setToolTip(pinned ? QStringLiteral("Закреплён") : QString());
}

QString listStyle(int itemHeight) {
    return QStringLiteral("QListWidget#ListBox2 { color: rgb(78,78,78); border: none; }"
                          "QListWidget#ListBox2::item { height: %1px; }")
        .arg(itemHeight);
}

// Search results carry the line that matched: it goes under the chat's name, smaller and
// greyed, cut to the entry's width.
class ChatEntryDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QString line = index.data(kMatchedLineRole).toString();
        if (line.isEmpty()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem name = option;
        name.displayAlignment = Qt::AlignLeft | Qt::AlignTop;
        QStyledItemDelegate::paint(painter, name, index);
        QFont font = option.font;
        font.setPointSizeF(font.pointSizeF() * 0.9);
        const QRect area = option.rect.adjusted(6, option.rect.height() / 2, -4, 0);
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        painter->save();
        painter->setFont(font);
        painter->setPen(option.palette.color(selected ? QPalette::HighlightedText
                                                      : QPalette::PlaceholderText));
        painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(font).elidedText(line, Qt::ElideRight, area.width()));
        painter->restore();
    }
};

} // namespace

ChatListPanel::ChatListPanel(const ChatLibrary& chats, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), m_chats(chats), m_dialogs(dialogs) {
    setObjectName(QStringLiteral("Panel4"));
    paintWhite(this);
    setMinimumWidth(kLeftColumnMinimumWidth);

    Edit1 = named(new QLineEdit(this), "Edit1");
    Edit1->setPlaceholderText(QStringLiteral("Поиск по чатам"));
    Edit1->setAccessibleName(QStringLiteral("Поиск по чатам"));
    Edit1->setToolTip(QStringLiteral("Enter или пауза — искать, Esc — весь список"));
    Edit1->setClearButtonEnabled(true);
    btnNewChat = button("btnNewChat", QStringLiteral("+"), this);
    btnNewChat->setToolTip(QStringLiteral("Новый Чат"));
    btnNewChat->setFixedWidth(kSmallButtonWidth);
    searchProgress = label("searchProgress", QString(), this);
    searchProgress->hide();
    ListBox2 = named(new QListWidget(this), "ListBox2");
    // What a screen reader calls them.
    Edit1->setAccessibleName(QStringLiteral("Поиск по чатам"));
    btnNewChat->setAccessibleName(QStringLiteral("Новый чат"));
    ListBox2->setAccessibleName(QStringLiteral("Чаты"));
    ListBox2->setUniformItemSizes(true);
    new RightClickKeepsSelection(ListBox2->viewport());
    ListBox2->setStyleSheet(listStyle(kChatListItemHeight));
    ListBox2->setItemDelegate(new ChatEntryDelegate(ListBox2));

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(4, 4, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(Edit1, 0, 0);
    layout->addWidget(btnNewChat, 0, 1);
    layout->addWidget(searchProgress, 1, 0, 1, 2);
    layout->addWidget(ListBox2, 2, 0, 1, 2);

    PopupMenu14 = named(new QMenu(this), "PopupMenu14");
    N6 = menuItem(PopupMenu14, "N6", QStringLiteral("Удалить Чат"));
    N11 = menuSeparator(PopupMenu14, "N11");
    N12 = menuItem(PopupMenu14, "N12", QStringLiteral("Удалить все чаты"));
    menuSeparator(PopupMenu14, "actExportSeparator");
    actExportChat = menuItem(PopupMenu14, "actExportChat", QStringLiteral("Экспорт…"));
    menuSeparator(PopupMenu14, "actLabelSeparator");
    actRenameChat = menuItem(PopupMenu14, "actRenameChat", QStringLiteral("Переименовать…"));
    actPinChat = menuItem(PopupMenu14, "actPinChat", QStringLiteral("Закрепить"));
    ListBox2->setContextMenuPolicy(Qt::CustomContextMenu);

    m_searchDelay = named(new QTimer(this), "searchDelay");
    m_searchDelay->setSingleShot(true);
    m_searchDelay->setInterval(kSearchDelayMs);

    const auto connectGuarded = [this](auto* sender, auto signal, auto handler) {
        ConnectGuarded(sender, signal, this, m_dialogs, handler);
    };
    connectGuarded(btnNewChat, &QPushButton::clicked, [this] { Q_EMIT NewChatRequested(); });
    // Code that changes the list sets m_isLoading, so only the user's picks act here.
    connectGuarded(ListBox2, &QListWidget::currentRowChanged, [this] { ListBox2Click(); });
    connectGuarded(ListBox2, &QWidget::customContextMenuRequested,
                   [this](const QPoint& at) { ListBox2ContextMenu(at); });
    connectGuarded(m_searchDelay, &QTimer::timeout, [this] { SearchChats(); });
    // What is being found no longer answers what is typed.
    connect(Edit1, &QLineEdit::textEdited, this, [this] {
        CancelSearch();
        m_searchDelay->start();
    });
    new KeyUpFilter(Edit1, [this](int key) { Guarded(m_dialogs, [&] { Edit1KeyUp(key); }); });
    // The entry the menu was about was only shown selected; the open chat's entry is
    // selected again once the chosen item has run.
    connect(PopupMenu14, &QMenu::aboutToHide, this, [this] {
        QTimer::singleShot(0, this, [this] { SelectOpenChatEntryIfListed(); });
    });
    connectGuarded(N6, &QAction::triggered, [this] { N6Click(); });
    connectGuarded(N12, &QAction::triggered, [this] { N12Click(); });
    connectGuarded(actExportChat, &QAction::triggered, [this] { ExportChatClick(); });
    connectGuarded(actRenameChat, &QAction::triggered, [this] { RenameChatClick(); });
    connectGuarded(actPinChat, &QAction::triggered, [this] { PinChatClick(); });
}

ChatListPanel::~ChatListPanel() {
    // Its thread stops at the next file instead of reading the whole folder for nobody.
    if (m_search)
        m_search->cancel();
}

QString ChatListPanel::NewChatEntryText() {
    return QStringLiteral("<Новый чат>");
}

QListWidgetItem* ChatListPanel::FindNewChatEntry() const {
    const QList<QListWidgetItem*> found =
        ListBox2->findItems(NewChatEntryText(), Qt::MatchFixedString); // case-insensitive
    return found.isEmpty() ? nullptr : found.first();
}

QListWidgetItem* ChatListPanel::AddChatEntry(const ChatListEntry& chat, int row) {
    auto* entry = new QListWidgetItem(chat.DisplayName);
    AttachPathObject(entry, chat.Path);
    showPinned(entry, chat.Pinned);
    if (!chat.MatchedLine.isEmpty()) {
        entry->setData(kMatchedLineRole, chat.MatchedLine);
        entry->setData(Qt::AccessibleDescriptionRole, chat.MatchedLine);
        entry->setToolTip(chat.MatchedLine);
    }
    ListBox2->insertItem(row < 0 ? ListBox2->count() : row, entry);
    return entry;
}

int ChatListPanel::TopRowFor(bool pinned) const {
    if (pinned)
        return 0;
    int row = 0;
    for (int i = 0; i < ListBox2->count(); ++i) {
        if (isPinned(ListBox2->item(i)))
            row = i + 1;
    }
    return row;
}

Expected<void> ChatListPanel::LoadChatList() {
    ScopedFlag loading(m_isLoading);
    ClearChatList();
    ListBox2->setStyleSheet(listStyle(kChatListItemHeight));
    if (const Expected<void> folder = m_chats.EnsureFolder(); !folder)
        return folder;
    ListBox2->setUpdatesEnabled(false);
    for (const ChatListEntry& chat : m_chats.ListChats())
        AddChatEntry(chat);
    ListBox2->setUpdatesEnabled(true);
    return {};
}

void ChatListPanel::ClearChatList() {
    CancelSearch();
    // Entries carry their chat path as item data, which the list frees with them.
    ScopedFlag loading(m_isLoading);
    ListBox2->clear();
}

void ChatListPanel::SelectNewChatEntry() {
    ScopedFlag loading(m_isLoading);
    QListWidgetItem* entry = FindNewChatEntry();
    if (!entry) {
        entry = new QListWidgetItem(NewChatEntryText());
        ListBox2->insertItem(0, entry);
    }
    ListBox2->setCurrentItem(entry);
}

void ChatListPanel::SelectCurrentChatEntry() {
    if (m_chats.CurrentFile().isEmpty()) {
        SelectNewChatEntry();
        return;
    }
    ScopedFlag loading(m_isLoading);
    for (int row = 0; row < ListBox2->count(); ++row) {
        const std::optional<TPathObject> chat = PathObjectOf(ListBox2->item(row));
        if (chat && m_chats.IsCurrent(chat->Path)) {
            ListBox2->setCurrentRow(row);
            return;
        }
    }
    ListBox2->setCurrentItem(nullptr);
}

void ChatListPanel::SelectOpenChatEntryIfListed() {
    ScopedFlag loading(m_isLoading);
    for (int row = 0; row < ListBox2->count(); ++row) {
        const std::optional<TPathObject> chat = PathObjectOf(ListBox2->item(row));
        if (chat ? m_chats.IsCurrent(chat->Path)
                 : m_chats.CurrentFile().isEmpty() && ListBox2->item(row) == FindNewChatEntry()) {
            ListBox2->setCurrentRow(row);
            return;
        }
    }
    ListBox2->setCurrentItem(nullptr);
}

void ChatListPanel::ShowSave(ChatSaved save, const ChatLabel& label) {
    ScopedFlag loading(m_isLoading);
    const QString& path = m_chats.CurrentFile();
    const ChatListEntry chat{path, ChatLibrary::DisplayName(path, label), label.Pinned};
    if (save == ChatSaved::Named) {
        // The new-chat entry becomes the entry of the chat's first file, below the pinned.
        if (QListWidgetItem* entry = FindNewChatEntry()) {
            const bool wasCurrent = ListBox2->currentItem() == entry;
            delete ListBox2->takeItem(ListBox2->row(entry));
            QListWidgetItem* named = AddChatEntry(chat, TopRowFor(chat.Pinned));
            if (wasCurrent)
                ListBox2->setCurrentItem(named);
        }
    } else if (save == ChatSaved::MovedAway) {
        ListBox2->setCurrentItem(AddChatEntry(chat, TopRowFor(chat.Pinned)));
    }
}

void ChatListPanel::ShowLabel(const QString& path, const ChatLabel& label) {
    for (int row = 0; row < ListBox2->count(); ++row) {
        QListWidgetItem* entry = ListBox2->item(row);
        const std::optional<TPathObject> chat = PathObjectOf(entry);
        if (!chat || chat->Path != path)
            continue;
        const bool pinChanged = isPinned(entry) != label.Pinned;
        entry->setText(ChatLibrary::DisplayName(path, label));
        showPinned(entry, label.Pinned);
        if (pinChanged && TrimSpaceAndControl(Edit1->text()).isEmpty())
            RestoreFullChatList();
        return;
    }
}

void ChatListPanel::RemoveChatEntry(const QString& path) {
    ScopedFlag loading(m_isLoading);
    for (int row = 0; row < ListBox2->count(); ++row) {
        const std::optional<TPathObject> chat = PathObjectOf(ListBox2->item(row));
        if (!chat || chat->Path != path)
            continue;
        const bool wasCurrent = ListBox2->currentRow() == row;
        const std::unique_ptr<QListWidgetItem> removed(ListBox2->takeItem(row));
        // The list would move the selection to a neighbour that is not the open chat.
        if (wasCurrent)
            ListBox2->setCurrentItem(nullptr);
        return;
    }
}

void ChatListPanel::ShowSavedElsewhere(ChatSaved save, const ChatListEntry& chat) {
    if (save != ChatSaved::Named && save != ChatSaved::MovedAway)
        return;
    ScopedFlag loading(m_isLoading);
    AddChatEntry(chat, TopRowFor(chat.Pinned));
}

void ChatListPanel::ListBox2Click() {
    if (m_isLoading)
        return;
    const QListWidgetItem* entry = ListBox2->currentItem();
    if (!entry)
        return;
    if (entry->text() == NewChatEntryText()) {
        if (!m_chats.CurrentFile().isEmpty())
            Q_EMIT NewChatRequested();
        return;
    }
    const std::optional<TPathObject> chat = PathObjectOf(entry);
    if (chat && !m_chats.IsCurrent(chat->Path))
        Q_EMIT ChatPicked(chat->Path);
}

void ChatListPanel::FocusSearch() {
    Edit1->setFocus(Qt::ShortcutFocusReason);
    Edit1->selectAll();
}

void ChatListPanel::Edit1KeyUp(int Key) {
    if (IsEnterKey(Key)) {
        SearchChats();
    } else if (Key == Qt::Key_Escape) {
        Edit1->clear();
        SearchChats();
    }
}

void ChatListPanel::SearchChats() {
    m_searchDelay->stop();
    const QString query = TrimSpaceAndControl(FoldCase(Edit1->text())).toString();
    if (query.isEmpty()) {
        RestoreFullChatList();
        return;
    }
    ClearChatList();
    // Each result has room for the line that matched.
    ListBox2->setStyleSheet(listStyle(2 * kChatListItemHeight));
    StartSearch(SplitSearchQuery(query));
}

void ChatListPanel::StartSearch(const QStringList& words) {
    auto* search = new QFutureWatcher<ChatListEntry>(this);
    m_search = search;
    // Set by the search's thread before it ends; read once the search has finished.
    auto outcome = std::make_shared<Expected<ChatSearchOutcome>>(ChatSearchOutcome{});
    const auto connectGuarded = [this, search](auto signal, auto handler) {
        ConnectGuarded(search, signal, this, m_dialogs, handler);
    };
    // Matches show up as they are found.
    connectGuarded(&QFutureWatcherBase::resultsReadyAt, [this, search](int begin, int end) {
        ScopedFlag loading(m_isLoading);
        for (int i = begin; i < end; ++i)
            AddChatEntry(search->resultAt(i));
    });
    connectGuarded(&QFutureWatcherBase::progressValueChanged,
                   [this](int filesRead) { ShowSearchProgress(filesRead); });
    connectGuarded(&QFutureWatcherBase::finished, [this, outcome] { EndSearch(*outcome); });
    searchProgress->setText(QStringLiteral("Поиск…"));
    searchProgress->show();
    search->setFuture(QtConcurrent::run([folder = m_chats.Folder(), words,
                                         outcome](QPromise<ChatListEntry>& promise) {
        *outcome = SearchChatFolder(
            folder, words,
            {.Matched =
                 [&](const ChatSearchMatch& match) {
                     ChatListEntry entry = ChatLibrary::EntryOf(match.Path);
                     entry.MatchedLine = match.Line;
                     promise.addResult(entry);
                 },
             .Progressed =
                 [&](qsizetype done, qsizetype total) {
                     if (done == 1)
                         promise.setProgressRange(0, int(total));
                     promise.setProgressValue(int(done));
                 },
             .Stopped = [&] { return promise.isCanceled(); }});
    }));
}

void ChatListPanel::ShowSearchProgress(int filesRead) {
    if (m_search)
        searchProgress->setText(QStringLiteral("Поиск: прочитано %1 из %2 чатов")
                                    .arg(filesRead)
                                    .arg(m_search->progressMaximum()));
}

void ChatListPanel::EndSearch(const Expected<ChatSearchOutcome>& outcome) {
    m_search->deleteLater();
    m_search = nullptr;
    searchProgress->hide();
    if (!outcome) {
        m_dialogs.ShowMessage(outcome.error());
        return;
    }
    if (ListBox2->count() == 0) {
        // Says so in the list itself; it cannot be picked or deleted.
        auto* nothing = new QListWidgetItem(QStringLiteral("Ничего не найдено"), ListBox2);
        nothing->setFlags(Qt::NoItemFlags);
    }
    if (outcome->Skipped > 0)
        Q_EMIT StatusMessage(QStringLiteral("Поиск: пропущено повреждённых или нечитаемых "
                                            "файлов чатов: %1")
                                 .arg(outcome->Skipped));
}

void ChatListPanel::CancelSearch() {
    if (!m_search)
        return;
    // Its matches still on their way are not listed: nothing listens to it any more.
    m_search->disconnect(this);
    m_search->cancel();
    m_search->deleteLater();
    m_search = nullptr;
    searchProgress->hide();
}

void ChatListPanel::RestoreFullChatList() {
    if (const Expected<void> loaded = LoadChatList(); !loaded) {
        m_dialogs.ShowMessage(loaded.error());
        return;
    }
    SelectNewChatEntry();
    SelectCurrentChatEntry();
}

void ChatListPanel::ListBox2ContextMenu(const QPoint& at) {
    QListWidgetItem* entry = ListBox2->itemAt(at);
    if (entry && entry->flags().testFlag(Qt::ItemIsSelectable)) {
        // Shown as the one the menu is about, without opening it.
        ScopedFlag loading(m_isLoading);
        ListBox2->setCurrentItem(entry);
    }
    const bool pinned = entry && PathObjectOf(entry) && isPinned(entry);
    actPinChat->setText(pinned ? QStringLiteral("Открепить") : QStringLiteral("Закрепить"));
    PopupMenu14->popup(ListBox2->viewport()->mapToGlobal(at));
}

void ChatListPanel::N6Click() {
    QListWidgetItem* entry = ListBox2->currentItem();
    if (!entry || !entry->isSelected()) {
        m_dialogs.ShowMessage(kChooseChatToDelete);
        return;
    }
    const std::optional<TPathObject> chat = PathObjectOf(entry);
    if (!chat) {
        // Only a chat entry carries a file; a hand-made file that happens to be called
        // like the new-chat entry still has one and can be deleted.
        if (entry->text().compare(NewChatEntryText(), Qt::CaseInsensitive) == 0)
            m_dialogs.ShowMessage(kChooseChatToDelete);
        else
            m_dialogs.ShowMessage(
                QStringLiteral("Ошибка: не удалось найти данные выбранного чата."));
        return;
    }
    const QString question =
        QStringLiteral("Вы уверены, что хотите безвозвратно удалить чат?\r\n") +
        QFileInfo(chat->Path).fileName() + QStringLiteral("\r\nФайл чата будет удален с диска!");
    if (m_dialogs.AskYesNo(question, Dialogs::QuestionIcon::Question))
        Q_EMIT DeleteChatRequested(chat->Path);
}

void ChatListPanel::N12Click() {
    if (m_dialogs.AskYesNo(
            QStringLiteral("Вы уверены, что хотите безвозвратно удалить ВСЕ чаты?\r\n"
                           "Это действие нельзя будет отменить!"),
            Dialogs::QuestionIcon::Warning))
        Q_EMIT DeleteAllRequested();
}

void ChatListPanel::ExportChatClick() {
    const QListWidgetItem* entry = ListBox2->currentItem();
    const std::optional<TPathObject> chat = entry ? PathObjectOf(entry) : std::nullopt;
    if (chat)
        Q_EMIT ExportRequested(chat->Path, entry->text());
    else
        Q_EMIT ExportRequested(QString(), QStringLiteral("Чат"));
}

std::optional<QString> ChatListPanel::SelectedChatPath() {
    const QListWidgetItem* entry = ListBox2->currentItem();
    const std::optional<TPathObject> chat =
        entry && entry->isSelected() ? PathObjectOf(entry) : std::nullopt;
    if (!chat) {
        m_dialogs.ShowMessage(kChooseSavedChat);
        return std::nullopt;
    }
    return chat->Path;
}

// A confirmed empty title takes the chat's title away; cancelling, or confirming the name
// as shown, changes nothing.
void ChatListPanel::RenameChatClick() {
    const std::optional<QString> path = SelectedChatPath();
    if (!path)
        return;
    const QString shown = ListBox2->currentItem()->text();
    const std::optional<QString> answer = m_dialogs.GetText(
        QStringLiteral("Переименовать чат"), QStringLiteral("Название чата:"), shown);
    if (!answer)
        return;
    const QString title = TrimSpaceAndControl(*answer).toString();
    if (title != shown)
        Q_EMIT RenameRequested(*path, title);
}

void ChatListPanel::PinChatClick() {
    if (const std::optional<QString> path = SelectedChatPath())
        Q_EMIT PinRequested(*path, !isPinned(ListBox2->currentItem()));
}
