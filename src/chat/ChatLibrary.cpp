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
    if (m_currentFile.isEmpty())
        return conversation.Label().Title;
    return DisplayName(m_currentFile, conversation.Label());
}

ChatLabel ChatLibrary::LabelOf(const QString& path, const TGeminiDM& conversation) const {
    return IsCurrent(path) ? conversation.Label() : ReadChatFileLabel(path);
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
        return {};
    }
    // What a partly loaded file holds beyond what loaded would be lost.
    if (m_currentFileIncomplete)
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

ChatSave ChatLibrary::WriteTo(const QString& path, const TGeminiDM& conversation,
                              ChatFileTime time) const {
    const Expected<void> saved = conversation.SaveHistoryToFile(path, time);
    if (saved)
        return ChatSaved::Rewritten;
    return Failure(ChatSaveFailure{QStringLiteral("Не удалось сохранить чат в файл %1: %2")
                                       .arg(QDir::toNativeSeparators(path), saved.error()),
                                   saved.error()});
}

ChatSave ChatLibrary::Save(const TGeminiDM& conversation) {
    const TChatHistory& history = conversation.ChatHistory();
    // A chat emptied message by message is written empty: its file must not bring the
    // messages back.
    if (history.isEmpty() && m_currentFile.isEmpty())
        return ChatSaved::NotWritten;
    const ChatLabel& label = conversation.Label();
    const bool historyKept = !m_currentFile.isEmpty() && history == m_savedHistory;
    // Nothing new since the chat was opened or last written: its file stays as it is.
    if (historyKept && label == m_savedLabel && conversation.Parameters() == m_savedParameters)
        return ChatSaved::NotWritten;
    if (const Expected<void> folder = EnsureFolder(); !folder)
        return Failure(ChatSaveFailure{folder.error(), folder.error()});

    if (!m_currentFile.isEmpty() && !m_currentFileIncomplete &&
        !QFileInfo(m_currentFile).isSymLink()) {
        ChatSave save = WriteTo(m_currentFile, conversation,
                                historyKept ? ChatFileTime::KeepOld : ChatFileTime::Now);
        if (save) {
            m_savedHistory = history;
            m_savedLabel = label;
            m_savedParameters = conversation.Parameters();
        }
        return save;
    }

    // A new chat is named on its first write that succeeds, so a failed write leaves it
    // new. Whatever a partly loaded file holds beyond what loaded stays untouched, and a
    // link is not written through to a file that may lie anywhere: the conversation that
    // has moved on goes to a file of its own.
    const QString path = UniqueFilePath(ChatTitle(history));
    if (ChatSave save = WriteTo(path, conversation); !save)
        return save;
    const ChatSaved saved = m_currentFile.isEmpty() ? ChatSaved::Named : ChatSaved::MovedAway;
    m_currentFile = path;
    m_currentFileIncomplete = false;
    m_savedHistory = history;
    m_savedLabel = label;
    m_savedParameters = conversation.Parameters();
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
    m_currentFile = path;
    m_currentFileIncomplete = load.Outcome == ChatLoadOutcome::loPartial;
    m_savedHistory = conversation.ChatHistory();
    m_savedLabel = conversation.Label();
    m_savedParameters = conversation.Parameters();
    return QStringLiteral("Загружен чат: ") + DisplayName(path, m_savedLabel);
}

void ChatLibrary::StartNew(TGeminiDM& conversation) {
    conversation.ClearHistory();
    m_currentFile.clear();
    m_currentFileIncomplete = false;
    m_savedHistory.clear();
    m_savedLabel = {};
    m_savedParameters = conversation.Parameters();
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
