// The chat library: the saved chats in the chat list, naming and saving the current
// chat, opening another and starting anew.
#include "MainWindow.h"

#include "ChatNaming.h"
#include "Clock.h"
#include "Dialogs.h"
#include "GeminiDM.h"
#include "OperationError.h"
#include "PathObject.h"
#include "ScopedFlag.h"

#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>

#include <algorithm>

QListWidgetItem* TForm1::FindNewChatEntry() const {
    const QList<QListWidgetItem*> found =
        ListBox2->findItems(NewChatEntryText(), Qt::MatchFixedString); // case-insensitive
    return found.isEmpty() ? nullptr : found.first();
}

void TForm1::EnsureChatFolder() const {
    if (!QDir().mkpath(FFolders.chatsDir()))
        throw TOperationError(QStringLiteral("Не удалось создать папку %1")
                                  .arg(QDir::toNativeSeparators(FFolders.chatsDir())));
}

namespace {

// A chat that could not be written: the message shown, and the system's reason alone for
// the question that lets the user leave the chat anyway.
class ChatSaveError : public TOperationError {
public:
    ChatSaveError(const QString& path, const QString& reason)
        : TOperationError(QStringLiteral("Не удалось сохранить чат в файл %1: %2")
                              .arg(QDir::toNativeSeparators(path), reason)),
          Reason(reason) {}

    QString Reason;
};

void writeChat(const QString& path) {
    QString error;
    if (!GeminiDM->SaveHistoryToFile(path, &error))
        throw ChatSaveError(path, error);
}

} // namespace

void TForm1::LoadChatList() {
    ScopedFlag loading(FIsLoading);
    ClearChatList();
    EnsureChatFolder();

    // Each file's time is read once: comparing QDateTime values converts time zones.
    struct ChatFile {
        qint64 modified;
        QString name;
    };
    QList<ChatFile> files;
    const QDir folder(FFolders.chatsDir());
    for (const QFileInfo& file :
         folder.entryInfoList({QStringLiteral("*.json")},
                              QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot,
                              QDir::NoSort))
        files.append({file.lastModified().toMSecsSinceEpoch(), file.fileName()});
    std::sort(files.begin(), files.end(),
              [](const ChatFile& a, const ChatFile& b) { return a.modified > b.modified; });

    ListBox2->setUpdatesEnabled(false);
    for (const ChatFile& file : files) {
        auto* entry = new QListWidgetItem(ChatDisplayName(file.name), ListBox2);
        AttachPathObject(entry, folder.filePath(file.name));
    }
    ListBox2->setUpdatesEnabled(true);
}

QString TForm1::UniqueChatFilePath(const QString& title) const {
    const QDir folder(FFolders.chatsDir());
    const QDateTime now = Clock::now();
    for (int counter = 1;; ++counter) {
        const QString path = folder.filePath(ChatFileName(title, now, counter));
        if (!QFileInfo::exists(path))
            return path;
    }
}

void TForm1::SaveCurrentChat() {
    const TChatHistory& history = GeminiDM->ChatHistory();
    if (history.isEmpty())
        return;
    // Nothing new since the chat was opened or last written: its file stays as it is.
    if (!FCurrentChatFile.isEmpty() && history == FSavedHistory)
        return;
    EnsureChatFolder();

    // Whatever a partly loaded file holds beyond what loaded stays untouched, and a link
    // is not written through to a file that may lie anywhere: the conversation that has
    // moved on goes to a file of its own.
    if (FCurrentChatFileIncomplete || QFileInfo(FCurrentChatFile).isSymLink()) {
        const QString path = UniqueChatFilePath(ChatTitle(history));
        writeChat(path);
        FCurrentChatFile = path;
        FCurrentChatFileIncomplete = false;
        FSavedHistory = history;
        ShowCurrentChatInList();
        return;
    }

    if (!FCurrentChatFile.isEmpty()) {
        writeChat(FCurrentChatFile);
        FSavedHistory = history;
        return;
    }
    // The file is named on the first save that succeeds, so a failed write leaves the
    // chat new and the list as it was.
    const QString path = UniqueChatFilePath(ChatTitle(history));
    writeChat(path);
    FCurrentChatFile = path;
    FSavedHistory = history;
    ScopedFlag loading(FIsLoading);
    if (QListWidgetItem* entry = FindNewChatEntry()) {
        AttachPathObject(entry, FCurrentChatFile);
        entry->setText(ChatDisplayName(QFileInfo(FCurrentChatFile).fileName()));
    }
}

bool TForm1::LeaveCurrentChat() {
    QString reason;
    try {
        SaveCurrentChat();
        return true;
    } catch (const ChatSaveError& error) {
        reason = error.Reason;
    } catch (const std::exception& error) {
        reason = QString::fromStdString(error.what());
    }
    return FDialogs.AskYesNo(QStringLiteral("Не удалось сохранить чат: %1\r\n"
                                            "Закрыть без сохранения?")
                                 .arg(reason),
                             TDialogs::TQuestionIcon::Warning);
}

// A chat saved away from the file it was opened from gets an entry of its own at
// the top of the list, selected.
void TForm1::ShowCurrentChatInList() {
    ScopedFlag loading(FIsLoading);
    auto* entry = new QListWidgetItem(ChatDisplayName(QFileInfo(FCurrentChatFile).fileName()));
    AttachPathObject(entry, FCurrentChatFile);
    ListBox2->insertItem(0, entry);
    ListBox2->setCurrentItem(entry);
}

void TForm1::OpenChat(const QString& path) {
    const QString fileName = QFileInfo(path).fileName();
    const TChatFileLoad load = GeminiDM->LoadHistoryFromFile(path);
    if (!load.Opened()) {
        // Never the previous conversation under the new name.
        const QString text = QStringLiteral("Не удалось открыть чат %1: %2. Начат новый чат.")
                                 .arg(fileName, load.Text);
        StartNewChatInPlace(text);
        SelectNewChatEntry();
        FDialogs.ShowMessage(text);
        return;
    }
    ResetChatView();
    FCurrentChatFile = path;
    FCurrentChatFileIncomplete = load.Outcome == TChatLoadOutcome::loPartial;
    FSavedHistory = GeminiDM->ChatHistory();
    RenderHistory();
    SetStatusText(QStringLiteral("Загружен чат: ") + fileName);
}

void TForm1::ListBox2Click() {
    if (FIsLoading)
        return;
    const QListWidgetItem* entry = ListBox2->currentItem();
    if (!entry)
        return;
    if (entry->text() == NewChatEntryText()) {
        if (!FCurrentChatFile.isEmpty())
            btnNewChatClick();
        return;
    }
    const std::optional<TPathObject> chat = PathObjectOf(entry);
    if (!chat || chat->Path == FCurrentChatFile)
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
    GeminiDM->ClearHistory();
    ResetChatView();
    FCurrentChatFile.clear();
    FCurrentChatFileIncomplete = false;
    FSavedHistory.clear();
    SetStatusText(status);
    UpdateContextTokens();
}

void TForm1::SelectCurrentChatEntry() {
    if (FCurrentChatFile.isEmpty()) {
        SelectNewChatEntry();
        return;
    }
    ScopedFlag loading(FIsLoading);
    for (int row = 0; row < ListBox2->count(); ++row) {
        const std::optional<TPathObject> chat = PathObjectOf(ListBox2->item(row));
        if (chat && chat->Path == FCurrentChatFile) {
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
