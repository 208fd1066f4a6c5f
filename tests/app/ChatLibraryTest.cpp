#include "text/Clock.h"
#include "FileSizeLimit.h"
#include "chat/GeminiDM.h"
#include "app/MainWindow.h"
#include "app/PathObject.h"
#include "WindowTest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <utility>

namespace {

const QString kStamp = QStringLiteral("_2025-03-01_142530");

THistoryItem says(const char* role, const QString& text) {
    return THistoryItem{QString::fromLatin1(role), {MakeTextPart(text)}};
}

class ChatLibraryTest : public WindowTest {
protected:
    QStringList chatFiles() const {
        return QDir(programDir.filePath(QStringLiteral("chats")))
            .entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    }

    QStringList entries() const {
        QStringList texts;
        for (int i = 0; i < control<QListWidget>("ListBox2")->count(); ++i)
            texts.append(control<QListWidget>("ListBox2")->item(i)->text());
        return texts;
    }

    QString selectedPath() const {
        const QListWidgetItem* entry = control<QListWidget>("ListBox2")->currentItem();
        const std::optional<TPathObject> chat = entry ? PathObjectOf(entry) : std::nullopt;
        return chat ? chat->Path : QString();
    }

    // A chat file written by the program's own writer, with a given age.
    void placeChat(const QString& fileName, const TChatHistory& history, int ageSeconds) {
        const TChatHistory current = geminiDM->ChatHistory();
        geminiDM->SetChatHistory(history);
        ASSERT_TRUE(geminiDM->SaveHistoryToFile(chatPath(fileName)));
        geminiDM->SetChatHistory(current);
        QFile file(chatPath(fileName));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                         QFileDevice::FileModificationTime);
    }

    // The user picks an entry of the chat list.
    void pick(int row) { control<QListWidget>("ListBox2")->setCurrentRow(row); }
};

TEST_F(ChatLibraryTest, FirstSaveNamesTheFileAndTurnsTheNewChatEntryIntoIt) {
    geminiDM->ChatHistory() = {says("user", QStringLiteral("Как дела? / план: 2025")),
                               says("model", QStringLiteral("Хорошо"))};
    ASSERT_TRUE(form->SaveCurrentChat());

    const QString fileName =
        QStringLiteral("Как дела    план  2025") + kStamp + QStringLiteral(".json");
    EXPECT_EQ(chatFiles(), QStringList{fileName});
    EXPECT_EQ(form->CurrentChatFile(), chatPath(fileName));
    EXPECT_EQ(entries(), QStringList{QStringLiteral("Как дела    план  2025")});
    EXPECT_EQ(control<QListWidget>("ListBox2")->currentRow(), 0);
    EXPECT_EQ(selectedPath(), chatPath(fileName));

    // Later saves rewrite the same file, even when the first message changes.
    geminiDM->ChatHistory()[0] = says("user", QStringLiteral("другое"));
    ASSERT_TRUE(form->SaveCurrentChat());
    EXPECT_EQ(chatFiles(), QStringList{fileName});
}

TEST_F(ChatLibraryTest, AnEmptyConversationIsNeverWritten) {
    control<QPushButton>("btnNewChat")->click();
    control<QPushButton>("btnNewChat")->click();
    EXPECT_TRUE(chatFiles().isEmpty());
    EXPECT_EQ(entries(), QStringList{QStringLiteral("<Новый чат>")});
    EXPECT_EQ(form->StatusText(), QStringLiteral("Новый чат начат."));
}

TEST_F(ChatLibraryTest, FilesOnlyFirstMessageIsCalledChat) {
    geminiDM->ChatHistory() = {
        THistoryItem{QStringLiteral("user"),
                     {MakeTextPart(QString()), MakeInlinePart(QStringLiteral("image/png"), "AAAA",
                                                              QStringLiteral("a.png"))}}};
    ASSERT_TRUE(form->SaveCurrentChat());
    EXPECT_EQ(chatFiles(), QStringList{QStringLiteral("chat") + kStamp + QStringLiteral(".json")});
    EXPECT_EQ(entries(), QStringList{QStringLiteral("chat")});
}

TEST_F(ChatLibraryTest, TwoNewChatsWithOneTitleInOneSecondKeepTwoFiles) {
    geminiDM->ChatHistory() = {says("user", QStringLiteral("привет"))};
    control<QPushButton>("btnNewChat")->click(); // saves the first
    geminiDM->ChatHistory() = {says("user", QStringLiteral("привет")),
                               says("model", QStringLiteral("второй"))};
    control<QPushButton>("btnNewChat")->click();

    EXPECT_EQ(chatFiles(),
              QStringList({QStringLiteral("привет") + kStamp + QStringLiteral(".json"),
                           QStringLiteral("привет") + kStamp + QStringLiteral("_2.json")}));
    ASSERT_TRUE(form->LoadChatList());
    EXPECT_EQ(entries(), QStringList({QStringLiteral("привет"), QStringLiteral("привет")}));
}

TEST_F(ChatLibraryTest, ListsChatsNewestFirstAndOpensAHandPlacedFile) {
    placeChat(QStringLiteral("notes.json"), {says("user", QStringLiteral("заметки"))}, 3600);
    placeChat(QStringLiteral("отчёт_2024 итоги") + kStamp + QStringLiteral(".json"),
              {says("user", QStringLiteral("отчёт"))}, 60);
    ASSERT_TRUE(form->LoadChatList());
    EXPECT_EQ(entries(), QStringList({QStringLiteral("отчёт"), QStringLiteral("notes")}));

    pick(1);
    EXPECT_EQ(form->CurrentChatFile(), chatPath(QStringLiteral("notes.json")));
    EXPECT_EQ(geminiDM->ChatHistory(), TChatHistory{says("user", QStringLiteral("заметки"))});
    EXPECT_EQ(form->StatusText(), QStringLiteral("Загружен чат: notes"));
}

TEST_F(ChatLibraryTest, OpeningAnotherChatSavesTheCurrentOneFirst) {
    placeChat(QStringLiteral("old.json"), {says("user", QStringLiteral("старый"))}, 60);
    ASSERT_TRUE(form->LoadChatList());
    pick(0);
    geminiDM->ChatHistory().append(says("model", QStringLiteral("ответ")));

    control<QPushButton>("btnNewChat")->click();
    ASSERT_TRUE(geminiDM->LoadHistoryFromFile(chatPath(QStringLiteral("old.json"))));
    EXPECT_EQ(geminiDM->ChatHistory().size(), 2);
}

TEST_F(ChatLibraryTest, PickingTheOpenChatOrTheCurrentNewChatChangesNothing) {
    pick(0); // the new chat is already the current one
    EXPECT_EQ(form->StatusText(), QStringLiteral("Новый чат начат."));

    placeChat(QStringLiteral("a.json"), {says("user", QStringLiteral("a"))}, 60);
    ASSERT_TRUE(form->LoadChatList());
    pick(0);
    form->SetStatusText(QStringLiteral("marker"));
    geminiDM->ChatHistory().append(says("model", QStringLiteral("unsaved")));
    control<QListWidget>("ListBox2")->setCurrentRow(-1);
    pick(0);
    EXPECT_EQ(form->StatusText(), QStringLiteral("marker"));
    EXPECT_EQ(geminiDM->ChatHistory().size(), 2);
}

TEST_F(ChatLibraryTest, ARightClickOpensTheMenuWithoutPickingTheEntry) {
    placeChat(QStringLiteral("a.json"), {says("user", QStringLiteral("a"))}, 60);
    placeChat(QStringLiteral("b.json"), {says("user", QStringLiteral("b"))}, 120);
    ASSERT_TRUE(form->LoadChatList());
    pick(0);
    const QRect other =
        control<QListWidget>("ListBox2")->visualItemRect(control<QListWidget>("ListBox2")->item(1));
    QTest::mouseClick(control<QListWidget>("ListBox2")->viewport(), Qt::RightButton, {},
                      other.center());
    control<QMenu>("PopupMenu14")->close();
    EXPECT_EQ(control<QListWidget>("ListBox2")->currentRow(), 0);
    EXPECT_EQ(form->CurrentChatFile(), chatPath(QStringLiteral("a.json")));

    QTest::mouseClick(control<QListWidget>("ListBox2")->viewport(), Qt::LeftButton, {},
                      other.center());
    EXPECT_EQ(form->CurrentChatFile(), chatPath(QStringLiteral("b.json")));
}

TEST_F(ChatLibraryTest, AChatThatLoadedOnlyPartlyIsNeverWrittenOver) {
    const QByteArray corrupt =
        R"({"contents":[{"role":"user","parts":[{"text":"первый"}]},{"role":"model","parts":[7]}]})";
    QFile file(chatPath(QStringLiteral("broken.json")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(corrupt);
    file.close();
    ASSERT_TRUE(form->LoadChatList());

    pick(0);
    EXPECT_EQ(geminiDM->ChatHistory().size(), 1);
    control<QPushButton>("btnNewChat")->click(); // leaving the chat saves it
    QFile reread(chatPath(QStringLiteral("broken.json")));
    ASSERT_TRUE(reread.open(QIODevice::ReadOnly));
    EXPECT_EQ(reread.readAll(), corrupt);
    EXPECT_EQ(chatFiles(), QStringList{QStringLiteral("broken.json")});

    // A conversation that goes on is kept in a file of its own, listed and selected.
    ASSERT_TRUE(form->LoadChatList());
    pick(0);
    geminiDM->ChatHistory().append(says("model", QStringLiteral("новый ответ")));
    ASSERT_TRUE(form->SaveCurrentChat());
    const QString kept = QStringLiteral("первый") + kStamp + QStringLiteral(".json");
    EXPECT_EQ(chatFiles(), QStringList({QStringLiteral("broken.json"), kept}));
    EXPECT_EQ(form->CurrentChatFile(), chatPath(kept));
    EXPECT_EQ(selectedPath(), chatPath(kept));
    EXPECT_EQ(entries().first(), QStringLiteral("первый"));
}

TEST_F(ChatLibraryTest, AFailedSaveAsksBeforeLeavingTheChat) {
    ASSERT_TRUE(QDir(programDir.filePath(QStringLiteral("chats"))).removeRecursively());
    QFile blocker(programDir.filePath(QStringLiteral("chats"))); // a file where the folder goes
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    geminiDM->ChatHistory() = {says("user", QStringLiteral("важное"))};
    control<QPushButton>("btnNewChat")->click(); // answered No: the user stays
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(dialogs.questions.first().text.contains(QStringLiteral("chats")));
    EXPECT_EQ(geminiDM->ChatHistory().size(), 1);
    EXPECT_TRUE(form->CurrentChatFile().isEmpty());
}

// Every way out of a chat that cannot be saved asks, and the answer decides.
TEST_F(ChatLibraryTest, AChatThatCannotBeSavedIsLeftOnlyWhenTheUserSaysSo) {
    placeChat(QStringLiteral("other.json"), {says("user", QStringLiteral("другой"))}, 60);
    ASSERT_TRUE(form->LoadChatList());
    const QString reason = qt_error_string(EFBIG);
    const QString question = QStringLiteral("Не удалось сохранить чат: ") + reason +
                             QStringLiteral("\r\nЗакрыть без сохранения?");
    struct Way {
        const char* name;
        std::function<void()> leave;
        std::function<bool()> left;
    };
    const Way ways[] = {
        {"+", [&] { control<QPushButton>("btnNewChat")->click(); },
         [&] { return geminiDM->ChatHistory().isEmpty(); }},
        {"another chat", [&] { pick(control<QListWidget>("ListBox2")->count() - 1); },
         [&] { return form->CurrentChatFile() == chatPath(QStringLiteral("other.json")); }},
        {"closing the window", [&] { form->close(); }, [&] { return !form->isVisible(); }},
    };
    for (const Way& way : ways) {
        for (const bool leave : {false, true}) {
            SCOPED_TRACE(std::string(way.name) + (leave ? ": yes" : ": no"));
            geminiDM->ClearHistory();
            control<QPushButton>("btnNewChat")->click();
            geminiDM->ChatHistory() = {says("user", QStringLiteral("не сохранить"))};
            dialogs.questions.clear();
            dialogs.answers = {leave};
            {
                const FileSizeLimit limit(16);
                way.leave();
            }
            ASSERT_EQ(dialogs.questions.size(), 1);
            EXPECT_EQ(dialogs.questions.first().text, question);
            EXPECT_EQ(way.left(), leave);
            if (!leave) {
                EXPECT_EQ(geminiDM->ChatHistory().size(), 1);
                EXPECT_TRUE(form->CurrentChatFile().isEmpty());
                EXPECT_EQ(control<QListWidget>("ListBox2")->currentItem()->text(),
                          QStringLiteral("<Новый чат>"));
            }
        }
    }
    EXPECT_EQ(chatFiles(), QStringList{QStringLiteral("other.json")});
}

TEST_F(ChatLibraryTest, AnUnchangedChatIsNotWrittenAgain) {
    placeChat(QStringLiteral("a.json"), {says("user", QStringLiteral("a"))}, 3600);
    placeChat(QStringLiteral("b.json"), {says("user", QStringLiteral("b"))}, 7200);
    // Written by a newer version: members this one does not read.
    const QByteArray newer = "\xEF\xBB\xBF"
                             R"({"version":7,"contents":[{"role":"user","parts":[{"text":"c",)"
                             R"("thoughtSignature":"S"}],"meta":{}}],"settings":{}})";
    QFile c(chatPath(QStringLiteral("c.json")));
    ASSERT_TRUE(c.open(QIODevice::WriteOnly));
    c.write(newer);
    c.flush();
    c.setFileTime(QDateTime::currentDateTime().addSecs(-10800), QFileDevice::FileModificationTime);
    c.close();
    const auto state = [&](const QString& name) {
        QFile file(chatPath(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return std::pair(file.readAll(), QFileInfo(file).lastModified());
    };
    const auto a = state(QStringLiteral("a.json"));
    const auto b = state(QStringLiteral("b.json"));
    const auto cBefore = state(QStringLiteral("c.json"));
    ASSERT_TRUE(form->LoadChatList()); // a, b, c

    pick(0);
    pick(2);
    pick(1);
    EXPECT_EQ(state(QStringLiteral("a.json")), a);
    EXPECT_EQ(state(QStringLiteral("c.json")), cBefore);

    // A chat that moved on is written, its unknown members kept where they were.
    pick(2);
    geminiDM->ChatHistory().append(says("model", QStringLiteral("d")));
    pick(0);
    EXPECT_EQ(state(QStringLiteral("c.json")).first.toStdString(),
              (newer.chopped(16) + R"(,{"role":"model","parts":[{"text":"d"}]}],"settings":{}})")
                  .toStdString());

    form->close();
    EXPECT_EQ(state(QStringLiteral("a.json")), a);
    EXPECT_EQ(state(QStringLiteral("b.json")), b);
}

// A listed chat that cannot be opened any more leaves an empty new chat, selected, and a
// message; the reasons of every kind are the chat library's own (tests/chat).
TEST_F(ChatLibraryTest, AChatThatCannotBeOpenedLeavesAnEmptyNewChat) {
    placeChat(QStringLiteral("previous.json"), {says("user", QStringLiteral("прежний"))}, 60);
    placeChat(QStringLiteral("deleted.json"), {says("user", QStringLiteral("удалён"))}, 120);
    ASSERT_TRUE(form->LoadChatList());
    pick(0);
    ASSERT_EQ(form->CurrentChatFile(), chatPath(QStringLiteral("previous.json")));
    ASSERT_TRUE(QFile::remove(chatPath(QStringLiteral("deleted.json"))));
    dialogs.messages.clear();

    pick(1);
    EXPECT_TRUE(geminiDM->ChatHistory().isEmpty());
    EXPECT_TRUE(form->CurrentChatFile().isEmpty());
    EXPECT_EQ(control<QListWidget>("ListBox2")->currentItem()->text(),
              QStringLiteral("<Новый чат>"));
    EXPECT_EQ(
        form->StatusText(),
        QStringLiteral("Не удалось открыть чат deleted.json: файл не найден. Начат новый чат."));
    EXPECT_EQ(dialogs.messages, QStringList{form->StatusText()});
    control<QPushButton>("btnNewChat")->click(); // writes nothing
    EXPECT_EQ(chatFiles(), QStringList{QStringLiteral("previous.json")});
}

TEST_F(ChatLibraryTest, AChatFileThatIsALinkIsNotWrittenThrough) {
    const QString outside = workingDir.filePath(QStringLiteral("outside.json"));
    placeChat(QStringLiteral("target.json"), {says("user", QStringLiteral("ссылка"))}, 60);
    ASSERT_TRUE(QFile::rename(chatPath(QStringLiteral("target.json")), outside));
    ASSERT_TRUE(QFile::link(outside, chatPath(QStringLiteral("link.json"))));
    QFile original(outside);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray before = original.readAll();
    ASSERT_TRUE(form->LoadChatList());

    pick(0);
    ASSERT_EQ(form->CurrentChatFile(), chatPath(QStringLiteral("link.json")));
    geminiDM->ChatHistory().append(says("model", QStringLiteral("ответ")));
    ASSERT_TRUE(form->SaveCurrentChat());

    original.seek(0);
    EXPECT_EQ(original.readAll(), before);
    EXPECT_TRUE(QFileInfo(chatPath(QStringLiteral("link.json"))).isSymLink());
    const QString beside = QStringLiteral("ссылка") + kStamp + QStringLiteral(".json");
    EXPECT_EQ(form->CurrentChatFile(), chatPath(beside));
    EXPECT_EQ(selectedPath(), chatPath(beside));
    ASSERT_TRUE(geminiDM->LoadHistoryFromFile(chatPath(beside)));
    EXPECT_EQ(geminiDM->ChatHistory().size(), 2);
}

TEST_F(ChatLibraryTest, ClosingTheWindowSavesTheChat) {
    geminiDM->ChatHistory() = {says("user", QStringLiteral("до закрытия"))};
    form->close();
    EXPECT_EQ(chatFiles(),
              QStringList{QStringLiteral("до закрытия") + kStamp + QStringLiteral(".json")});
    EXPECT_EQ(control<QListWidget>("ListBox2")->count(), 0);
}

} // namespace
