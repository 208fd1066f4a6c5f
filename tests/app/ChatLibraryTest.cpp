#include "Clock.h"
#include "GeminiDM.h"
#include "MainWindow.h"
#include "PathObject.h"
#include "WindowTest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

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
        for (int i = 0; i < form->ListBox2->count(); ++i)
            texts.append(form->ListBox2->item(i)->text());
        return texts;
    }

    QString selectedPath() const {
        const QListWidgetItem* entry = form->ListBox2->currentItem();
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
    void pick(int row) { form->ListBox2->setCurrentRow(row); }
};

TEST_F(ChatLibraryTest, FirstSaveNamesTheFileAndTurnsTheNewChatEntryIntoIt) {
    geminiDM->ChatHistory() = {says("user", QStringLiteral("Как дела? / план: 2025")),
                               says("model", QStringLiteral("Хорошо"))};
    form->SaveCurrentChat();

    const QString fileName =
        QStringLiteral("Как дела    план  2025") + kStamp + QStringLiteral(".json");
    EXPECT_EQ(chatFiles(), QStringList{fileName});
    EXPECT_EQ(form->CurrentChatFile(), chatPath(fileName));
    EXPECT_EQ(entries(), QStringList{QStringLiteral("Как дела    план  2025")});
    EXPECT_EQ(form->ListBox2->currentRow(), 0);
    EXPECT_EQ(selectedPath(), chatPath(fileName));

    // Later saves rewrite the same file, even when the first message changes.
    geminiDM->ChatHistory()[0] = says("user", QStringLiteral("другое"));
    form->SaveCurrentChat();
    EXPECT_EQ(chatFiles(), QStringList{fileName});
}

TEST_F(ChatLibraryTest, AnEmptyConversationIsNeverWritten) {
    form->btnNewChat->click();
    form->btnNewChat->click();
    EXPECT_TRUE(chatFiles().isEmpty());
    EXPECT_EQ(entries(), QStringList{QStringLiteral("<Новый чат>")});
    EXPECT_EQ(form->StatusText(), QStringLiteral("Новый чат начат."));
}

TEST_F(ChatLibraryTest, FilesOnlyFirstMessageIsCalledChat) {
    geminiDM->ChatHistory() = {
        THistoryItem{QStringLiteral("user"),
                     {MakeTextPart(QString()), MakeInlinePart(QStringLiteral("image/png"), "AAAA",
                                                              QStringLiteral("a.png"))}}};
    form->SaveCurrentChat();
    EXPECT_EQ(chatFiles(), QStringList{QStringLiteral("chat") + kStamp + QStringLiteral(".json")});
    EXPECT_EQ(entries(), QStringList{QStringLiteral("chat")});
}

TEST_F(ChatLibraryTest, TwoNewChatsWithOneTitleInOneSecondKeepTwoFiles) {
    geminiDM->ChatHistory() = {says("user", QStringLiteral("привет"))};
    form->btnNewChat->click(); // saves the first
    geminiDM->ChatHistory() = {says("user", QStringLiteral("привет")),
                               says("model", QStringLiteral("второй"))};
    form->btnNewChat->click();

    EXPECT_EQ(chatFiles(),
              QStringList({QStringLiteral("привет") + kStamp + QStringLiteral(".json"),
                           QStringLiteral("привет") + kStamp + QStringLiteral("_2.json")}));
    form->LoadChatList();
    EXPECT_EQ(entries(), QStringList({QStringLiteral("привет"), QStringLiteral("привет")}));
}

TEST_F(ChatLibraryTest, ListsChatsNewestFirstAndOpensAHandPlacedFile) {
    placeChat(QStringLiteral("notes.json"), {says("user", QStringLiteral("заметки"))}, 3600);
    placeChat(QStringLiteral("отчёт_2024 итоги") + kStamp + QStringLiteral(".json"),
              {says("user", QStringLiteral("отчёт"))}, 60);
    form->LoadChatList();
    EXPECT_EQ(entries(), QStringList({QStringLiteral("отчёт"), QStringLiteral("notes")}));

    pick(1);
    EXPECT_EQ(form->CurrentChatFile(), chatPath(QStringLiteral("notes.json")));
    EXPECT_EQ(geminiDM->ChatHistory(), TChatHistory{says("user", QStringLiteral("заметки"))});
    EXPECT_EQ(form->StatusText(), QStringLiteral("Загружен чат: notes.json"));
}

TEST_F(ChatLibraryTest, OpeningAnotherChatSavesTheCurrentOneFirst) {
    placeChat(QStringLiteral("old.json"), {says("user", QStringLiteral("старый"))}, 60);
    form->LoadChatList();
    pick(0);
    geminiDM->ChatHistory().append(says("model", QStringLiteral("ответ")));

    form->btnNewChat->click();
    ASSERT_TRUE(geminiDM->LoadHistoryFromFile(chatPath(QStringLiteral("old.json"))));
    EXPECT_EQ(geminiDM->ChatHistory().size(), 2);
}

TEST_F(ChatLibraryTest, PickingTheOpenChatOrTheCurrentNewChatChangesNothing) {
    pick(0); // the new chat is already the current one
    EXPECT_EQ(form->StatusText(), QStringLiteral("Новый чат начат."));

    placeChat(QStringLiteral("a.json"), {says("user", QStringLiteral("a"))}, 60);
    form->LoadChatList();
    pick(0);
    form->SetStatusText(QStringLiteral("marker"));
    geminiDM->ChatHistory().append(says("model", QStringLiteral("unsaved")));
    form->ListBox2->setCurrentRow(-1);
    pick(0);
    EXPECT_EQ(form->StatusText(), QStringLiteral("marker"));
    EXPECT_EQ(geminiDM->ChatHistory().size(), 2);
}

TEST_F(ChatLibraryTest, ARightClickOpensTheMenuWithoutPickingTheEntry) {
    placeChat(QStringLiteral("a.json"), {says("user", QStringLiteral("a"))}, 60);
    placeChat(QStringLiteral("b.json"), {says("user", QStringLiteral("b"))}, 120);
    form->LoadChatList();
    pick(0);
    const QRect other = form->ListBox2->visualItemRect(form->ListBox2->item(1));
    QTest::mouseClick(form->ListBox2->viewport(), Qt::RightButton, {}, other.center());
    form->PopupMenu14->close();
    EXPECT_EQ(form->ListBox2->currentRow(), 0);
    EXPECT_EQ(form->CurrentChatFile(), chatPath(QStringLiteral("a.json")));

    QTest::mouseClick(form->ListBox2->viewport(), Qt::LeftButton, {}, other.center());
    EXPECT_EQ(form->CurrentChatFile(), chatPath(QStringLiteral("b.json")));
}

TEST_F(ChatLibraryTest, AChatThatLoadedOnlyPartlyIsNeverWrittenOver) {
    const QByteArray corrupt =
        R"({"contents":[{"role":"user","parts":[{"text":"первый"}]},{"role":"model","parts":[7]}]})";
    QFile file(chatPath(QStringLiteral("broken.json")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(corrupt);
    file.close();
    form->LoadChatList();

    pick(0);
    EXPECT_EQ(geminiDM->ChatHistory().size(), 1);
    form->btnNewChat->click(); // leaving the chat saves it
    QFile reread(chatPath(QStringLiteral("broken.json")));
    ASSERT_TRUE(reread.open(QIODevice::ReadOnly));
    EXPECT_EQ(reread.readAll(), corrupt);
    EXPECT_EQ(chatFiles(), QStringList{QStringLiteral("broken.json")});

    // A conversation that goes on is kept in a file of its own, listed and selected.
    form->LoadChatList();
    pick(0);
    geminiDM->ChatHistory().append(says("model", QStringLiteral("новый ответ")));
    form->SaveCurrentChat();
    const QString kept = QStringLiteral("первый") + kStamp + QStringLiteral(".json");
    EXPECT_EQ(chatFiles(), QStringList({QStringLiteral("broken.json"), kept}));
    EXPECT_EQ(form->CurrentChatFile(), chatPath(kept));
    EXPECT_EQ(selectedPath(), chatPath(kept));
    EXPECT_EQ(entries().first(), QStringLiteral("первый"));
}

TEST_F(ChatLibraryTest, AFailedSaveIsReportedAndKeepsTheConversation) {
    ASSERT_TRUE(QDir(programDir.filePath(QStringLiteral("chats"))).removeRecursively());
    QFile blocker(programDir.filePath(QStringLiteral("chats"))); // a file where the folder goes
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    geminiDM->ChatHistory() = {says("user", QStringLiteral("важное"))};
    form->btnNewChat->click();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages.first().contains(QStringLiteral("chats")));
    EXPECT_EQ(geminiDM->ChatHistory().size(), 1);
    EXPECT_TRUE(form->CurrentChatFile().isEmpty());
}

TEST_F(ChatLibraryTest, ClosingTheWindowSavesTheChat) {
    geminiDM->ChatHistory() = {says("user", QStringLiteral("до закрытия"))};
    form->close();
    EXPECT_EQ(chatFiles(),
              QStringList{QStringLiteral("до закрытия") + kStamp + QStringLiteral(".json")});
    EXPECT_EQ(form->ListBox2->count(), 0);
}

} // namespace
