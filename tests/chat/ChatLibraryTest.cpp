#include "chat/ChatLibrary.h"
#include "store/ChatFile.h"
#include "text/Clock.h"
#include "FileSizeLimit.h"
#include "chat/GeminiDM.h"
#include "RefusingRemover.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString kStamp = u"_2025-03-01_142530"_s;

THistoryItem says(const char* role, const QString& text) {
    return THistoryItem{QString::fromLatin1(role), {MakeTextPart(text)}};
}

// A chat library over a temporary chat folder, with the clock standing still.
class ChatLibraryCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        Clock::setSource([] { return QDateTime(QDate(2025, 3, 1), QTime(14, 25, 30)); });
        ASSERT_TRUE(library.EnsureFolder());
    }
    void TearDown() override { Clock::setSource({}); }

    QString chatPath(const QString& fileName) const { return QDir(chatsDir).filePath(fileName); }

    // What a save came to, or nothing when it failed.
    static std::optional<ChatSaved> savedAs(const ChatSave& save) {
        return save ? std::optional(*save) : std::nullopt;
    }

    QStringList chatFiles() const {
        return QDir(chatsDir).entryList({u"*.json"_s}, QDir::Files, QDir::Name);
    }

    QByteArray bytesOf(const QString& path) const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void writeFile(const QString& path, const QByteArray& bytes, int ageSeconds = 0) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.flush();
        file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                         QFileDevice::FileModificationTime);
    }

    // A chat file written by the program's own writer.
    void placeChat(const QString& fileName, const TChatHistory& history, int ageSeconds = 60,
                   const ChatLabel& label = {}) {
        TGeminiDM writer;
        writer.SetChatHistory(history);
        writer.SetLabel(label);
        ASSERT_TRUE(writer.SaveHistoryToFile(chatPath(fileName)));
        QFile file(chatPath(fileName));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                         QFileDevice::FileModificationTime);
    }

    QTemporaryDir root;
    const QString chatsDir = root.filePath(u"chats"_s);
    RefusingRemover remover;
    ChatLibrary library{chatsDir, remover};
    TGeminiDM conversation;
};

TEST_F(ChatLibraryCoreTest, ANewChatIsNamedOnItsFirstWriteAndKeepsThatFile) {
    EXPECT_EQ(savedAs(library.Save(conversation)), ChatSaved::NotWritten);
    EXPECT_TRUE(chatFiles().isEmpty());

    conversation.ChatHistory() = {says("user", u"Как дела? / план: 2025"_s)};
    EXPECT_EQ(savedAs(library.Save(conversation)), ChatSaved::Named);
    const QString fileName = u"Как дела    план  2025"_s + kStamp + u".json"_s;
    EXPECT_EQ(chatFiles(), QStringList{fileName});
    EXPECT_EQ(library.CurrentFile(), chatPath(fileName));

    // Later saves rewrite the same file, even when the first message changes.
    conversation.ChatHistory()[0] = says("user", u"другое"_s);
    EXPECT_EQ(savedAs(library.Save(conversation)), ChatSaved::Rewritten);
    EXPECT_EQ(chatFiles(), QStringList{fileName});
}

TEST_F(ChatLibraryCoreTest, TwoNewChatsWithOneTitleInOneSecondKeepTwoFiles) {
    conversation.ChatHistory() = {says("user", u"привет"_s)};
    ASSERT_EQ(savedAs(library.Save(conversation)), ChatSaved::Named);
    library.StartNew(conversation);
    EXPECT_TRUE(conversation.ChatHistory().isEmpty());
    EXPECT_TRUE(library.CurrentFile().isEmpty());
    conversation.ChatHistory() = {says("user", u"привет"_s), says("model", u"второй"_s)};
    ASSERT_EQ(savedAs(library.Save(conversation)), ChatSaved::Named);
    EXPECT_EQ(chatFiles(), QStringList({u"привет"_s + kStamp + u".json"_s,
                                        u"привет"_s + kStamp + u"_2.json"_s}));
    EXPECT_EQ(library.CurrentFile(), chatPath(u"привет"_s + kStamp + u"_2.json"_s));
}

TEST_F(ChatLibraryCoreTest, ListsChatsNewestFirstByTheirDisplayNames) {
    placeChat(u"notes.json"_s, {says("user", u"заметки"_s)}, 3600);
    placeChat(u"отчёт_2024 итоги"_s + kStamp + u".json"_s, {says("user", u"отчёт"_s)}, 60);
    placeChat(u"old.json"_s, {says("user", u"старый"_s)}, 7200);
    const QList<ChatListEntry> chats = library.ListChats();
    ASSERT_EQ(chats.size(), 3);
    EXPECT_EQ(chats[0].DisplayName, u"отчёт"_s);
    EXPECT_EQ(chats[1].DisplayName, u"notes"_s);
    EXPECT_EQ(chats[1].Path, chatPath(u"notes.json"_s));
    EXPECT_EQ(chats[2].DisplayName, u"old"_s);
}

TEST_F(ChatLibraryCoreTest, ListsPinnedChatsFirstByTheirTitles) {
    placeChat(u"new.json"_s, {says("user", u"n"_s)}, 60);
    placeChat(u"old pinned.json"_s, {says("user", u"o"_s)}, 7200, {u"Закреплённый"_s, true});
    placeChat(u"titled"_s + kStamp + u".json"_s, {says("user", u"t"_s)}, 600, {u"Мой чат"_s});
    placeChat(u"pinned.json"_s, {says("user", u"p"_s)}, 3600, {{}, true});
    placeChat(u"oldest.json"_s, {says("user", u"x"_s)}, 9000);

    QStringList names;
    QList<bool> pins;
    for (const ChatListEntry& chat : library.ListChats()) {
        names.append(chat.DisplayName);
        pins.append(chat.Pinned);
    }
    EXPECT_EQ(names, QStringList({u"pinned"_s, u"Закреплённый"_s, u"new"_s, u"Мой чат"_s,
                                  u"oldest"_s}));
    EXPECT_EQ(pins, QList<bool>({true, true, false, false, false}));
    EXPECT_EQ(ChatLibrary::EntryOf(chatPath(u"titled"_s + kStamp + u".json"_s)).DisplayName,
              u"Мой чат"_s);
}

// The open chat takes a new label at once and writes it with its next save; another
// chat's file is rewritten. Neither becomes newer in the list for it.
TEST_F(ChatLibraryCoreTest, RelabelsTheOpenChatAndOthersKeepingTheirPlaces) {
    placeChat(u"open.json"_s, {says("user", u"a"_s)}, 3600);
    placeChat(u"other.json"_s, {says("user", u"b"_s)}, 7200);
    const QDateTime openTime = QFileInfo(chatPath(u"open.json"_s)).lastModified();
    const QDateTime otherTime = QFileInfo(chatPath(u"other.json"_s)).lastModified();
    ASSERT_TRUE(library.Open(chatPath(u"open.json"_s), conversation).has_value());
    EXPECT_EQ(library.CurrentDisplayName(conversation), u"open"_s);

    ASSERT_TRUE(library.Relabel(chatPath(u"open.json"_s), {u"Открытый"_s, true}, conversation));
    EXPECT_EQ(conversation.Label(), ChatLabel({u"Открытый"_s, true}));
    EXPECT_EQ(library.CurrentDisplayName(conversation), u"Открытый"_s);
    EXPECT_EQ(ReadChatFileLabel(chatPath(u"open.json"_s)), ChatLabel());
    EXPECT_EQ(savedAs(library.Save(conversation)), ChatSaved::Rewritten);
    EXPECT_EQ(ReadChatFileLabel(chatPath(u"open.json"_s)), ChatLabel({u"Открытый"_s, true}));
    EXPECT_EQ(QFileInfo(chatPath(u"open.json"_s)).lastModified(), openTime);
    EXPECT_EQ(savedAs(library.Save(conversation)), ChatSaved::NotWritten);

    ASSERT_TRUE(library.Relabel(chatPath(u"other.json"_s), {u"Другой"_s}, conversation));
    EXPECT_EQ(library.LabelOf(chatPath(u"other.json"_s), conversation), ChatLabel({u"Другой"_s}));
    EXPECT_EQ(QFileInfo(chatPath(u"other.json"_s)).lastModified(), otherTime);
    EXPECT_EQ(conversation.Label(), ChatLabel({u"Открытый"_s, true}));

    // Reopened, each says its title; a new chat has none.
    const Expected<QString> reopened = library.Open(chatPath(u"other.json"_s), conversation);
    ASSERT_TRUE(reopened.has_value());
    EXPECT_EQ(*reopened, u"Загружен чат: Другой"_s);
    EXPECT_EQ(ChatLibrary::DisplayName(chatPath(u"open.json"_s),
                                       ReadChatFileLabel(chatPath(u"open.json"_s))),
              u"Открытый"_s);
    library.StartNew(conversation);
    EXPECT_EQ(conversation.Label(), ChatLabel());
    EXPECT_TRUE(library.CurrentDisplayName(conversation).isEmpty());
}

TEST_F(ChatLibraryCoreTest, AnOpenedChatIsWrittenOnlyOnceItMovesOn) {
    placeChat(u"a.json"_s, {says("user", u"a"_s)}, 3600);
    const QByteArray before = bytesOf(chatPath(u"a.json"_s));
    const QDateTime modified = QFileInfo(chatPath(u"a.json"_s)).lastModified();

    const Expected<QString> opened = library.Open(chatPath(u"a.json"_s), conversation);
    ASSERT_TRUE(opened.has_value());
    EXPECT_EQ(*opened, u"Загружен чат: a"_s);
    EXPECT_TRUE(library.IsCurrent(chatPath(u"a.json"_s)));
    EXPECT_EQ(savedAs(library.Save(conversation)), ChatSaved::NotWritten);
    EXPECT_EQ(QFileInfo(chatPath(u"a.json"_s)).lastModified(), modified);

    conversation.ChatHistory().append(says("model", u"b"_s));
    EXPECT_EQ(savedAs(library.Save(conversation)), ChatSaved::Rewritten);
    EXPECT_NE(bytesOf(chatPath(u"a.json"_s)), before);
    EXPECT_EQ(savedAs(library.Save(conversation)), ChatSaved::NotWritten);
    EXPECT_EQ(chatFiles(), QStringList{u"a.json"_s});
}

TEST_F(ChatLibraryCoreTest, APartlyLoadedChatIsNeverWrittenOver) {
    const QByteArray corrupt =
        R"({"contents":[{"role":"user","parts":[{"text":"первый"}]},{"role":"model","parts":[7]}]})";
    writeFile(chatPath(u"broken.json"_s), corrupt);
    ASSERT_TRUE(library.Open(chatPath(u"broken.json"_s), conversation).has_value());
    EXPECT_EQ(conversation.ChatHistory().size(), 1);
    EXPECT_EQ(savedAs(library.Save(conversation)), ChatSaved::NotWritten);

    conversation.ChatHistory().append(says("model", u"новый ответ"_s));
    EXPECT_EQ(savedAs(library.Save(conversation)), ChatSaved::MovedAway);
    const QString kept = u"первый"_s + kStamp + u".json"_s;
    EXPECT_EQ(bytesOf(chatPath(u"broken.json"_s)), corrupt);
    EXPECT_EQ(chatFiles(), QStringList({u"broken.json"_s, kept}));
    EXPECT_EQ(library.CurrentFile(), chatPath(kept));
    // The new file loaded whole: later saves write it in place.
    conversation.ChatHistory().append(says("user", u"ещё"_s));
    EXPECT_EQ(savedAs(library.Save(conversation)), ChatSaved::Rewritten);
    EXPECT_EQ(chatFiles().size(), 2);
}

// Relabelling writes the file over: a chat that did not load whole is refused, open or not.
TEST_F(ChatLibraryCoreTest, APartlyLoadedChatIsNotRelabelled) {
    const QByteArray corrupt =
        R"({"contents":[{"role":"user","parts":[{"text":"первый"}]},{"role":"model","parts":[7]}]})";
    writeFile(chatPath(u"broken.json"_s), corrupt);
    const QString refusal = u"Не удалось изменить чат broken.json: чат прочитан не полностью, и "
                            u"его файл не будет перезаписан"_s;

    const Expected<void> other = library.Relabel(chatPath(u"broken.json"_s), {u"T"_s}, conversation);
    ASSERT_FALSE(other);
    EXPECT_EQ(other.error(), refusal);

    ASSERT_TRUE(library.Open(chatPath(u"broken.json"_s), conversation).has_value());
    const Expected<void> open =
        library.Relabel(chatPath(u"broken.json"_s), {{}, true}, conversation);
    ASSERT_FALSE(open);
    EXPECT_EQ(open.error(), refusal);
    EXPECT_EQ(conversation.Label(), ChatLabel());
    EXPECT_EQ(savedAs(library.Save(conversation)), ChatSaved::NotWritten);
    EXPECT_EQ(bytesOf(chatPath(u"broken.json"_s)), corrupt);
}

TEST_F(ChatLibraryCoreTest, AChatFileThatIsALinkIsNotWrittenThrough) {
    const QString outside = root.filePath(u"outside.json"_s);
    placeChat(u"target.json"_s, {says("user", u"ссылка"_s)});
    ASSERT_TRUE(QFile::rename(chatPath(u"target.json"_s), outside));
    ASSERT_TRUE(QFile::link(outside, chatPath(u"link.json"_s)));
    const QByteArray before = bytesOf(outside);

    ASSERT_TRUE(library.Open(chatPath(u"link.json"_s), conversation).has_value());
    conversation.ChatHistory().append(says("model", u"ответ"_s));
    EXPECT_EQ(savedAs(library.Save(conversation)), ChatSaved::MovedAway);
    EXPECT_EQ(bytesOf(outside), before);
    EXPECT_EQ(library.CurrentFile(), chatPath(u"ссылка"_s + kStamp + u".json"_s));
}

// A failed write leaves a new chat new: its name is not taken and the next save tries again.
TEST_F(ChatLibraryCoreTest, ANameIsTakenOnlyAfterTheFirstWriteSucceeds) {
    conversation.ChatHistory() = {says("user", u"не сохранить"_s)};
    const ChatSaveFailure failure = [this] {
        const FileSizeLimit limit(16);
        return library.Save(conversation).error();
    }();
    const QString reason = qt_error_string(EFBIG);
    EXPECT_EQ(failure.Reason, reason);
    EXPECT_EQ(failure.Message,
              u"Не удалось сохранить чат в файл "_s +
                  QDir::toNativeSeparators(chatPath(u"не сохранить"_s + kStamp + u".json"_s)) +
                  u": "_s + reason);
    EXPECT_EQ(ChatLibrary::LeaveWithoutSavingQuestion(failure),
              u"Не удалось сохранить чат: "_s + reason + u"\r\nЗакрыть без сохранения?"_s);
    EXPECT_TRUE(library.CurrentFile().isEmpty());
    EXPECT_TRUE(chatFiles().isEmpty());

    EXPECT_EQ(savedAs(library.Save(conversation)), ChatSaved::Named);
    EXPECT_EQ(chatFiles(), QStringList{u"не сохранить"_s + kStamp + u".json"_s});
}

TEST_F(ChatLibraryCoreTest, AChatFolderThatCannotBeMadeFailsTheSaveWithItsName) {
    ASSERT_TRUE(QDir(chatsDir).removeRecursively());
    writeFile(chatsDir, QByteArray()); // a file where the folder goes
    conversation.ChatHistory() = {says("user", u"важное"_s)};
    const ChatSave save = library.Save(conversation);
    const QString message = u"Не удалось создать папку "_s + QDir::toNativeSeparators(chatsDir);
    ASSERT_FALSE(save.has_value());
    EXPECT_EQ(save.error().Message, message);
    EXPECT_EQ(save.error().Reason, message);
    EXPECT_EQ(library.EnsureFolder().error(), message);
    EXPECT_TRUE(library.CurrentFile().isEmpty());
}

// Never the previous conversation under the new name.
TEST_F(ChatLibraryCoreTest, AChatThatCannotBeOpenedLeavesAnEmptyNewChat) {
    QDir().mkdir(chatPath(u"folder.json"_s));
    writeFile(chatPath(u"damaged.json"_s), R"({"contents":[{"role":"user")");
    {
        QFile huge(chatPath(u"huge.json"_s)); // sparse: nothing is really written
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
        ASSERT_TRUE(huge.resize(kMaxChatFileSize + 1));
    }
    const struct {
        const char16_t* fileName;
        const char16_t* reason;
    } cases[] = {
        {u"folder.json", u"это не файл"},
        {u"missing.json", u"файл не найден"},
        {u"damaged.json", u"файл повреждён: в нём нет чата"},
        {u"huge.json", u"файл больше 256 МБ"},
    };
    placeChat(u"previous.json"_s, {says("user", u"прежний"_s)});
    for (const auto& c : cases) {
        const QString fileName = QString::fromUtf16(c.fileName);
        SCOPED_TRACE(fileName.toStdString());
        ASSERT_TRUE(library.Open(chatPath(u"previous.json"_s), conversation).has_value());
        const Expected<QString> opened = library.Open(chatPath(fileName), conversation);
        EXPECT_FALSE(opened.has_value());
        EXPECT_EQ(opened.error(), u"Не удалось открыть чат "_s + fileName + u": "_s +
                                    QString::fromUtf16(c.reason) + u". Начат новый чат."_s);
        EXPECT_TRUE(conversation.ChatHistory().isEmpty());
        EXPECT_TRUE(library.CurrentFile().isEmpty());
        EXPECT_EQ(savedAs(library.Save(conversation)), ChatSaved::NotWritten);
    }
    EXPECT_EQ(chatFiles(), QStringList({u"damaged.json"_s, u"huge.json"_s, u"previous.json"_s}));
}

TEST_F(ChatLibraryCoreTest, DeletesOneChatOrAllUntilOneCannotBeDeleted) {
    placeChat(u"a.json"_s, {says("user", u"a"_s)});
    placeChat(u"b.json"_s, {says("user", u"b"_s)});
    placeChat(u"c.json"_s, {says("user", u"c"_s)});

    EXPECT_TRUE(library.Delete(chatPath(u"a.json"_s)));
    EXPECT_TRUE(library.Delete(chatPath(u"gone.json"_s))); // already gone
    remover.locked = u"b.json"_s;
    EXPECT_EQ(library.Delete(chatPath(u"b.json"_s)).error(),
              u"Не удалось удалить чат. Ошибка: Отказано в доступе"_s);
    EXPECT_EQ(chatFiles(), QStringList({u"b.json"_s, u"c.json"_s}));

    EXPECT_EQ(library.DeleteAll().error(),
              u"Произошла ошибка при удалении чатов: Отказано в доступе"_s);
    EXPECT_TRUE(chatFiles().contains(u"b.json"_s));
    remover.locked.clear();
    EXPECT_TRUE(library.DeleteAll());
    EXPECT_TRUE(chatFiles().isEmpty());

    ASSERT_TRUE(QDir(chatsDir).removeRecursively());
    EXPECT_EQ(library.DeleteAll().error(), u"Папка с чатами не найдена."_s);
}

} // namespace
