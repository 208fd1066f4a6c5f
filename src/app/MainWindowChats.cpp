// The chat library's events: the current chat saved, another opened, a new one started,
// chats deleted, renamed or pinned; the chat list panel and the window's title show each
// change.
#include "app/MainWindow.h"

#include "app/ChatListPanel.h"
#include "app/ChatView.h"
#include "app/Dialogs.h"
#include "app/LiveAnswerView.h"
#include "chat/GeminiDM.h"

Expected<void> TForm1::LoadChatList() {
    return m_chatList->LoadChatList();
}

ChatSave TForm1::SaveCurrentChat() {
    const ChatSave save = FChats.Save(FGeminiDM);
    if (save) {
        m_chatList->ShowSave(*save, FGeminiDM.Label());
        UpdateWindowTitle();
    }
    return save;
}

bool TForm1::ChatMayChange() {
    if (!m_readingFiles)
        return true;
    SetStatusText(QStringLiteral("Файлы вопроса ещё читаются — подождите"));
    return false;
}

bool TForm1::LeaveCurrentChat() {
    const ChatSave save = SaveCurrentChat();
    if (save)
        return true;
    return FDialogs.AskYesNo(ChatLibrary::LeaveWithoutSavingQuestion(save.error()),
                             Dialogs::QuestionIcon::Warning);
}

void TForm1::OpenChat(const QString& path) {
    const Expected<QString> opened = FChats.Open(path, FGeminiDM);
    if (!opened) {
        StartNewChatInPlace(opened.error());
        m_chatList->SelectNewChatEntry();
        FDialogs.ShowMessage(opened.error());
        return;
    }
    ResetChatView();
    m_view->RenderHistory();
    SetStatusText(*opened);
    UpdateWindowTitle();
}

void TForm1::OpenPickedChat(const QString& path) {
    if (!ChatMayChange() || !LeaveCurrentChat()) {
        m_chatList->SelectCurrentChatEntry();
        return;
    }
    if (FChats.IsParked(path)) {
        ShowRunningChat();
        return;
    }
    ParkRunningChat();
    OpenChat(path);
    UpdateContextTokens();
}

void TForm1::ParkRunningChat() {
    if (RunningChatShown())
        FChats.Park(FGeminiDM.Chat());
}

void TForm1::ShowRunningChat() {
    FChats.ShowParked(FGeminiDM);
    ResetChatView();
    m_view->RenderHistory();
    m_view->LiveView().Begin(m_session->LiveStatus());
    if (const QString text = m_session->LiveText(); !text.isEmpty())
        m_view->LiveView().SetText(text);
    m_view->ScrollChatToBottom();
    SetStatusText(QStringLiteral("Получение ответа…"));
    UpdateContextTokens();
    UpdateWindowTitle();
}

void TForm1::btnNewChatClick() {
    if (!ChatMayChange() || !LeaveCurrentChat()) {
        m_chatList->SelectCurrentChatEntry();
        return;
    }
    ParkRunningChat();
    StartNewChatInPlace(QStringLiteral("Новый чат начат."));
    m_chatList->SelectNewChatEntry();
}

bool TForm1::StopAnswerBeforeDeleting(const QString& question) {
    if (!RequestRunning())
        return true;
    if (!FDialogs.AskYesNo(question, Dialogs::QuestionIcon::Warning))
        return false;
    // The answer ends, and its chat is saved, before the file goes.
    StopRequest();
    return true;
}

void TForm1::StartNewChatInPlace(const QString& status) {
    FChats.StartNew(FGeminiDM);
    ResetChatView();
    SetStatusText(status);
    UpdateContextTokens();
    UpdateWindowTitle();
}

void TForm1::DeleteChat(const QString& path) {
    if (FChats.IsCurrent(path) && !ChatMayChange())
        return;
    const bool answering = FChats.IsParked(path) || (FChats.IsCurrent(path) && RunningChatShown());
    if (answering && !StopAnswerBeforeDeleting(QStringLiteral(
                         "В этот чат ещё приходит ответ. Остановить его и удалить чат?")))
        return;
    if (FChats.IsCurrent(path)) {
        StartNewChatInPlace(QStringLiteral("Новый чат начат."));
        m_chatList->SelectOpenChatEntryIfListed();
    }
    if (const Expected<void> deleted = FChats.Delete(path); !deleted) {
        FDialogs.ShowMessage(deleted.error());
        return;
    }
    m_chatList->RemoveChatEntry(path);
}

void TForm1::DeleteAllChats() {
    if (!ChatMayChange())
        return;
    if (!StopAnswerBeforeDeleting(
            QStringLiteral("Ответ ещё приходит. Остановить его и удалить все чаты?")))
        return;
    if (const Expected<void> deleted = FChats.DeleteAll(); !deleted) {
        FDialogs.ShowMessage(deleted.error());
        return;
    }
    StartNewChatInPlace(QStringLiteral("Все чаты удалены. Начат новый чат."));
    if (const Expected<void> listed = LoadChatList(); !listed) {
        FDialogs.ShowMessage(listed.error());
        return;
    }
    m_chatList->SelectNewChatEntry();
    FDialogs.ShowMessage(QStringLiteral("Все чаты были успешно удалены."));
}

void TForm1::RelabelChat(const QString& path, const std::function<void(ChatLabel&)>& change) {
    ChatLabel label = FChats.LabelOf(path, FGeminiDM);
    change(label);
    if (const Expected<void> relabelled = FChats.Relabel(path, label, FGeminiDM); !relabelled) {
        FDialogs.ShowMessage(relabelled.error());
        return;
    }
    if (FChats.IsCurrent(path)) {
        // The open chat is written at once, so its file and the list agree.
        if (const ChatSave save = SaveCurrentChat(); !save)
            FDialogs.ShowMessage(save.error().Message);
        UpdateWindowTitle();
    }
    m_chatList->ShowLabel(path, label);
}

void TForm1::UpdateWindowTitle() {
    QStringList parts{QStringLiteral("Tovik-L")};
    if (const QString chat = FChats.CurrentDisplayName(FGeminiDM); !chat.isEmpty())
        parts.prepend(chat);
    if (!m_dataFolder.isEmpty())
        parts.append(m_dataFolder);
    setWindowTitle(parts.join(QStringLiteral(" — ")));
}

void TForm1::ShowDataFolder(const QString& folder) {
    m_dataFolder = folder;
    UpdateWindowTitle();
}
