#include "chat/ChatLibrary.h"

#include "store/ChatNaming.h"
#include "text/Clock.h"
#include "chat/GeminiDM.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>
#include <utility>

ChatLibrary::ChatLibrary(QString chatsDir, FileRemover& remover)
    : m_chatsDir(std::move(chatsDir)), m_remover(&remover) {}

Expected<void> ChatLibrary::EnsureFolder() const {
    if (QDir().mkpath(m_chatsDir))
        return {};
    return Failure(
        QStringLiteral("Не удалось создать папку %1").arg(QDir::toNativeSeparators(m_chatsDir)));
}

QList<ChatListEntry> ChatLibrary::ListChats() const {
    // Each file's time is read once: comparing QDateTime values converts time zones.
    struct ChatFile {
        qint64 modified;
        QString name;
        ChatLabel label;
    };
    QList<ChatFile> files;
    const QDir folder(m_chatsDir);
    for (const QFileInfo& file : folder.entryInfoList({QStringLiteral("*.json")},
                                                      QDir::Files | QDir::Dirs | QDir::Hidden |
                                                          QDir::System | QDir::NoDotAndDotDot,
                                                      QDir::NoSort))
        files.append({file.lastModified().toMSecsSinceEpoch(), file.fileName(),
                      ReadChatFileLabel(file.filePath())});
    std::sort(files.begin(), files.end(), [](const ChatFile& a, const ChatFile& b) {
        if (a.label.Pinned != b.label.Pinned)
            return a.label.Pinned;
        return a.modified > b.modified;
    });

    QList<ChatListEntry> entries;
    entries.reserve(files.size());
    for (const ChatFile& file : files) {
        const QString path = folder.filePath(file.name);
        entries.append({path, DisplayName(path, file.label), file.label.Pinned});
    }
    return entries;
}

ChatListEntry ChatLibrary::EntryOf(const QString& path) {
    const ChatLabel label = ReadChatFileLabel(path);
    return {path, DisplayName(path, label), label.Pinned};
}

QString ChatLibrary::DisplayName(const QString& path, const ChatLabel& label) {
    return label.Title.isEmpty() ? ChatDisplayName(QFileInfo(path).fileName()) : label.Title;
}

QString ChatLibrary::CurrentDisplayName(const TGeminiDM& conversation) const {
    if (m_current.File.isEmpty())
        return conversation.Label().Title;
    return DisplayName(m_current.File, conversation.Label());
}

ChatLabel ChatLibrary::LabelOf(const QString& path, const TGeminiDM& conversation) const {
    if (IsCurrent(path))
        return conversation.Label();
    if (IsParked(path))
        return m_parked->Chat->Label;
    return ReadChatFileLabel(path);
}

Expected<void> ChatLibrary::Relabel(const QString& path, const ChatLabel& label,
                                    TGeminiDM& conversation) {
    const auto refused = [&](const QString& reason) {
        return Failure(QStringLiteral("Не удалось изменить чат %1: %2")
                           .arg(QFileInfo(path).fileName(), reason));
    };
    if (!IsCurrent(path)) {
        if (const Expected<void> written = RelabelChatFile(path, label); !written)
            return refused(written.error());
        // The parked chat writes its label with its answer: the new one, not the old.
        if (IsParked(path)) {
            m_parked->Chat->Label = label;
            m_parked->Place.SavedLabel = label;
        }
        return {};
    }
    // What a partly loaded file holds beyond what loaded would be lost.
    if (m_current.Incomplete)
        return refused(QStringLiteral("чат прочитан не полностью, и его файл не будет перезаписан"));
    conversation.SetLabel(label);
    return {};
}

QString ChatLibrary::UniqueFilePath(const QString& title) const {
    const QDir folder(m_chatsDir);
    const QDateTime now = Clock::now();
    for (int counter = 1;; ++counter) {
        const QString path = folder.filePath(ChatFileName(title, now, counter));
        if (!QFileInfo::exists(path))
            return path;
    }
}

ChatSave ChatLibrary::WriteTo(const QString& path, const ChatState& chat,
                              ChatFileTime time) const {
    const Expected<void> saved = TGeminiDM::SaveChatToFile(chat, path, time);
    if (saved)
        return ChatSaved::Rewritten;
    return Failure(ChatSaveFailure{QStringLiteral("Не удалось сохранить чат в файл %1: %2")
                                       .arg(QDir::toNativeSeparators(path), saved.error()),
                                   saved.error()});
}

ChatSave ChatLibrary::Save(const TGeminiDM& conversation) {
    return SaveAt(m_current, *conversation.Chat());
}

ChatSave ChatLibrary::SaveAt(ChatPlace& place, const ChatState& chat) const {
    const TChatHistory& history = chat.History;
    // A chat emptied message by message is written empty: its file must not bring the
    // messages back.
    if (history.isEmpty() && place.File.isEmpty())
        return ChatSaved::NotWritten;
    const bool historyKept = !place.File.isEmpty() && history == place.SavedHistory;
    // Nothing new since the chat was opened or last written: its file stays as it is.
    if (historyKept && chat.Label == place.SavedLabel && chat.Parameters == place.SavedParameters)
        return ChatSaved::NotWritten;
    if (const Expected<void> folder = EnsureFolder(); !folder)
        return Failure(ChatSaveFailure{folder.error(), folder.error()});

    if (!place.File.isEmpty() && !place.Incomplete && !QFileInfo(place.File).isSymLink()) {
        ChatSave save =
            WriteTo(place.File, chat, historyKept ? ChatFileTime::KeepOld : ChatFileTime::Now);
        if (save) {
            place.SavedHistory = history;
            place.SavedLabel = chat.Label;
            place.SavedParameters = chat.Parameters;
        }
        return save;
    }

    // A new chat is named on its first write that succeeds, so a failed write leaves it
    // new. Whatever a partly loaded file holds beyond what loaded stays untouched, and a
    // link is not written through to a file that may lie anywhere: the conversation that
    // has moved on goes to a file of its own.
    const QString path = UniqueFilePath(ChatTitle(history));
    if (ChatSave save = WriteTo(path, chat); !save)
        return save;
    const ChatSaved saved = place.File.isEmpty() ? ChatSaved::Named : ChatSaved::MovedAway;
    place = {path, false, history, chat.Label, chat.Parameters};
    return saved;
}

QString ChatLibrary::LeaveWithoutSavingQuestion(const ChatSaveFailure& failure) {
    return QStringLiteral("Не удалось сохранить чат: %1\r\nЗакрыть без сохранения?")
        .arg(failure.Reason);
}

Expected<QString> ChatLibrary::Open(const QString& path, TGeminiDM& conversation) {
    const QString fileName = QFileInfo(path).fileName();
    const ChatFileLoad load = conversation.LoadHistoryFromFile(path);
    if (!load.Opened()) {
        StartNew(conversation);
        return Failure(QStringLiteral("Не удалось открыть чат %1: %2. Начат новый чат.")
                           .arg(fileName, load.Text));
    }
    m_current = {path, load.Outcome == ChatLoadOutcome::loPartial, conversation.ChatHistory(),
                 conversation.Label(), conversation.Parameters()};
    return QStringLiteral("Загружен чат: ") + DisplayName(path, m_current.SavedLabel);
}

void ChatLibrary::StartNew(TGeminiDM& conversation) {
    conversation.ClearHistory();
    m_current = {};
    m_current.SavedParameters = conversation.Parameters();
}

void ChatLibrary::Park(std::shared_ptr<ChatState> chat) {
    m_parked = ParkedChat{m_current, std::move(chat)};
}

void ChatLibrary::ShowParked(TGeminiDM& conversation) {
    if (!m_parked)
        return;
    m_current = std::move(m_parked->Place);
    conversation.ShowChat(std::move(m_parked->Chat));
    m_parked.reset();
}

ParkedChatSave ChatLibrary::SaveParked() {
    if (!m_parked)
        return {ChatSaved::NotWritten, {}};
    ParkedChat parked = std::move(*m_parked);
    m_parked.reset();
    ChatSave save = SaveAt(parked.Place, *parked.Chat);
    const ChatLabel& label = parked.Chat->Label;
    const QString& path = parked.Place.File;
    return {std::move(save), {path, path.isEmpty() ? label.Title : DisplayName(path, label),
                              label.Pinned}};
}

Expected<void> ChatLibrary::Delete(const QString& path) {
    if (!QFileInfo::exists(path))
        return {};
    if (const Expected<void> removed = m_remover->Remove(path); !removed)
        return Failure(QStringLiteral("Не удалось удалить чат. Ошибка: ") + removed.error());
    return {};
}

Expected<void> ChatLibrary::DeleteAll() {
    if (!QFileInfo(m_chatsDir).isDir())
        return Failure(QStringLiteral("Папка с чатами не найдена."));
    const QDir dir(m_chatsDir);
    QDirIterator files(m_chatsDir, {QStringLiteral("*.json")}, QDir::Files | QDir::Hidden);
    while (files.hasNext()) {
        const QString path = dir.filePath(files.nextFileInfo().fileName());
        if (const Expected<void> removed = m_remover->Remove(path); !removed)
            return Failure(QStringLiteral("Произошла ошибка при удалении чатов: ") +
                           removed.error());
    }
    return {};
}
