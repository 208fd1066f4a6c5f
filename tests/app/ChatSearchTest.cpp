#include "chat/GeminiDM.h"
#include "text/JsonText.h"
#include "app/MainWindow.h"
#include "app/PathObject.h"
#include "EventWait.h"
#include "RefusingRemover.h"
#include "WindowTest.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QTest>
#include <QThreadPool>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString kNewChat = u"<Новый чат>"_s;
const QStringList kNothingFound{u"Ничего не найдено"_s};

class ChatSearchTest : public WindowTest {
protected:
    // A chat file as the program writes it, one user message per text.
    QString placeChat(const QString& fileName, const QStringList& texts) {
        JsonWriter writer;
        writer.beginObject().key("contents"_L1).beginArray();
        for (const QString& text : texts) {
            writer.beginObject().key("role"_L1).string(u"user");
            writer.key("parts"_L1).beginArray().beginObject().key("text"_L1).string(text);
            writer.endObject().endArray().endObject();
        }
        writer.endArray().endObject();
        return placeFile(fileName, "\xEF\xBB\xBF" + writer.text());
    }

    QString placeFile(const QString& fileName, const QByteArray& bytes) {
        QFile file(chatPath(fileName));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    // Enter searches at once; the search runs off the window's thread.
    void pressEnterWith(const QString& query) {
        startSearch(query);
        waitForSearch();
    }

    void startSearch(const QString& query) {
        control<QLineEdit>("Edit1")->setText(query);
        QTest::keyClick(control<QLineEdit>("Edit1"), Qt::Key_Return);
    }

    // The progress line goes when the search has ended.
    void waitForSearch() {
        EXPECT_TRUE(
            WaitUntil([&] { return control<QLabel>("searchProgress")->isHidden(); }, 10000));
    }

    // Typed key by key, as the user does (QTest types Latin letters only).
    void typeIntoSearch(const QString& text) {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(control<QLineEdit>("Edit1"), &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(control<QLineEdit>("Edit1"), &release);
        }
    }

    QStringList entries() const {
        QStringList texts;
        for (int i = 0; i < control<QListWidget>("ListBox2")->count(); ++i)
            texts.append(control<QListWidget>("ListBox2")->item(i)->text());
        return texts;
    }

    // Search results come in the folder's own order.
    QStringList sortedEntries() const {
        QStringList texts = entries();
        texts.sort();
        return texts;
    }

    int rowOf(const QString& path) const {
        for (int i = 0; i < control<QListWidget>("ListBox2")->count(); ++i) {
            const std::optional<TPathObject> chat =
                PathObjectOf(control<QListWidget>("ListBox2")->item(i));
            if (chat && chat->Path == path)
                return i;
        }
        return -1;
    }

    QString selectedText() const {
        const QListWidgetItem* entry = control<QListWidget>("ListBox2")->currentItem();
        return entry && entry->isSelected() ? entry->text() : QString();
    }

    // The user picks a chat in the list, which opens it.
    void open(const QString& path) {
        pressEnterWith(QString());
        control<QListWidget>("ListBox2")->setCurrentRow(rowOf(path));
        ASSERT_EQ(form->CurrentChatFile(), path);
    }
};

TEST_F(ChatSearchTest, ListsTheChatsWhoseMessagesHoldAWordOfTheQuery) {
    const QString hello = placeChat(u"Приветствие_2025-03-01_120000.json"_s, {u"Say HELLO"_s});
    placeChat(u"Привет_2025-03-01_120001.json"_s, {u"Привет, мир"_s});
    placeChat(u"Кот_2025-03-01_120002.json"_s, {u"У меня есть кот"_s});
    placeChat(u"Собака_2025-03-01_120003.json"_s, {u"вопрос"_s, u"а у соседа собака"_s});
    placeChat(u"Утро_2025-03-01_120004.json"_s, {u"Доброе утро! И доброе утро всем"_s});
    placeChat(u"Порознь_2025-03-01_120005.json"_s, {u"утро было доброе"_s});
    placeChat(u"hello world_2025-03-01_120006.json"_s, {u"nothing to see"_s});
    placeChat(u"Алгоритмы_2025-03-01_120007.json"_s, {u"Глава 2: СОРТИРОВКА слиянием"_s});
    placeChat(u"Ёж_2025-03-01_120008.json"_s, {u"вопрос\nЁЖИК в тумане\nконец"_s});
    placeFile(u"broken.json"_s, "{\"contents\":[{\"parts\":[{\"text\":\"hello\"}]}");
    placeChat(u"notes.txt"_s, {u"hello"_s});

    const struct {
        QString query;
        QStringList found;
    } cases[] = {
        {u"hello"_s, {u"Приветствие"_s}},
        {u"  HeLLo\t"_s, {u"Приветствие"_s}},
        // Letter case counts for no alphabet.
        {u"привет"_s, {u"Привет"_s}},
        {u"ПРИВЕТ"_s, {u"Привет"_s}},
        {u"Сортировка"_s, {u"Алгоритмы"_s}},
        // Every word must be found, in any order.
        {u"кот собака"_s, kNothingFound},
        {u"\"доброе утро\""_s, {u"Утро"_s}},
        {u"доброе утро"_s, {u"Порознь"_s, u"Утро"_s}},
        {u"утро доброе"_s, {u"Порознь"_s, u"Утро"_s}},
        {u"ежик тумане"_s, {u"Ёж"_s}},
        {u"world"_s, kNothingFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query.toStdString());
        pressEnterWith(c.query);
        EXPECT_EQ(sortedEntries(), c.found);
        EXPECT_EQ(selectedText(), QString());
    }
    pressEnterWith(u"hello"_s);
    EXPECT_EQ(PathObjectOf(control<QListWidget>("ListBox2")->item(0))->Path, hello);
    // A found chat tells the line that matched, to the eye and to a screen reader.
    pressEnterWith(u"ежик"_s);
    const QListWidgetItem* found = control<QListWidget>("ListBox2")->item(0);
    EXPECT_EQ(found->data(Qt::AccessibleDescriptionRole).toString(), u"ЁЖИК в тумане"_s);
    EXPECT_EQ(found->toolTip(), u"ЁЖИК в тумане"_s);

    // Neither the broken file nor anything else raised a message, the broken file is
    // counted in the status, and the new conversation stays as it was.
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(u'|').toStdString();
    EXPECT_EQ(form->CurrentChatFile(), QString());
    EXPECT_EQ(form->StatusText(),
              u"Поиск: пропущено повреждённых или нечитаемых файлов чатов: 1"_s);
}

// Results follow the typing once the user pauses, Enter searches at once, and Escape
// brings the whole list back.
TEST_F(ChatSearchTest, TypingSearchesAfterAPauseAndEscapeRestoresTheList) {
    placeChat(u"Кот_2025-03-01_120002.json"_s, {u"Кот Васька"_s});
    placeChat(u"Собака_2025-03-01_120003.json"_s, {u"собака"_s});
    pressEnterWith(QString());
    const QStringList full = entries();
    ASSERT_EQ(full.size(), 3);

    auto* delay = control<QTimer>("searchDelay");
    EXPECT_EQ(delay->interval(), 200);
    typeIntoSearch(u"вАСЬ"_s);
    EXPECT_TRUE(delay->isActive());
    EXPECT_EQ(entries(), full); // not yet: the user may still be typing
    EXPECT_TRUE(WaitUntil([&] { return entries() == QStringList{u"Кот"_s}; }, 2000));

    typeIntoSearch(u"зз"_s);
    QTest::keyClick(control<QLineEdit>("Edit1"), Qt::Key_Return);
    waitForSearch();
    EXPECT_EQ(entries(), kNothingFound);
    EXPECT_FALSE(delay->isActive());
    // The notice is not a chat: it cannot be picked.
    EXPECT_FALSE(control<QListWidget>("ListBox2")->item(0)->flags() & Qt::ItemIsSelectable);

    QTest::keyClick(control<QLineEdit>("Edit1"), Qt::Key_Escape);
    EXPECT_EQ(control<QLineEdit>("Edit1")->text(), QString());
    EXPECT_EQ(entries(), full);
    EXPECT_EQ(selectedText(), kNewChat);
}

// The window goes on while the folder is read: matches come in afterwards with the progress
// shown meanwhile, and a new query cancels the search before it, whose matches never reach
// the list, not even once it has ended.
TEST_F(ChatSearchTest, SearchRunsBesideTheWindowAndANewQueryCancelsIt) {
    for (int i = 0; i < 50; ++i)
        placeChat(u"Кот %1_2025-03-01_1200%2.json"_s.arg(i).arg(i, 2, 10, QChar(u'0')), {u"кот"_s});
    placeChat(u"Собака_2025-03-01_130000.json"_s, {u"собака"_s});
    ASSERT_TRUE(QFile::link(u"/dev/zero"_s, chatPath(u"zero.json"_s)));
    auto* progress = control<QLabel>("searchProgress");

    startSearch(u"кот"_s);
    EXPECT_FALSE(progress->isHidden());
    EXPECT_EQ(entries(), QStringList());
    startSearch(u"собака"_s);
    waitForSearch();
    EXPECT_EQ(entries(), QStringList{u"Собака"_s});
    EXPECT_EQ(form->StatusText(),
              u"Поиск: пропущено повреждённых или нечитаемых файлов чатов: 1"_s);

    // Typing cancels at once; the pause then starts the new search.
    startSearch(u"кот"_s);
    typeIntoSearch(u"зз"_s);
    EXPECT_TRUE(progress->isHidden());
    auto* delay = control<QTimer>("searchDelay");
    EXPECT_TRUE(delay->isActive());
    delay->stop(); // its search would empty the list again
    // Every search thread done and whatever it sent delivered: none of it was listed.
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(entries(), QStringList());
    delay->start();
    EXPECT_TRUE(WaitUntil([&] { return entries() == kNothingFound; }, 5000));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// The popup menu is about the chat under the pointer: it is shown selected without being
// opened, the question names its file, and the open chat's entry is selected again after.
TEST_F(ChatSearchTest, ThePopupMenuActsOnTheChatUnderThePointer) {
    const QString cat = placeChat(u"Кот_2025-03-01_120002.json"_s, {u"кот"_s});
    const QString dog = placeChat(u"Собака_2025-03-01_120003.json"_s, {u"собака"_s});
    open(cat);
    auto* list = control<QListWidget>("ListBox2");
    const QPoint onDog = list->visualItemRect(list->item(rowOf(dog))).center();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, onDog, list->viewport()->mapToGlobal(onDog));
    QCoreApplication::sendEvent(list->viewport(), &rightClick);
    EXPECT_EQ(list->currentRow(), rowOf(dog));
    EXPECT_EQ(form->CurrentChatFile(), cat);
    EXPECT_TRUE(control<QMenu>("PopupMenu14")->isVisible());

    dialogs.answers = {false};
    control<QAction>("N6")->trigger();
    control<QMenu>("PopupMenu14")->hide();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(dialogs.questions[0].text.contains(QFileInfo(dog).fileName()));
    EXPECT_TRUE(QFileInfo::exists(dog));
    EXPECT_TRUE(WaitUntil([&] { return list->currentRow() == rowOf(cat); }, 2000));
    EXPECT_EQ(form->CurrentChatFile(), cat);

    // Picking the chat that was only shown selected opens it.
    list->setCurrentRow(rowOf(dog));
    EXPECT_EQ(form->CurrentChatFile(), dog);
}

TEST_F(ChatSearchTest, EnterInTheEmptiedBoxRestoresTheFullList) {
    const QString cat = placeChat(u"Кот_2025-03-01_120002.json"_s, {u"кот"_s});
    placeChat(u"Собака_2025-03-01_120003.json"_s, {u"собака"_s});
    open(cat);

    pressEnterWith(u"собака"_s);
    EXPECT_EQ(entries(), QStringList{u"Собака"_s});
    pressEnterWith(u" \t"_s);
    ASSERT_EQ(control<QListWidget>("ListBox2")->count(), 3);
    EXPECT_EQ(control<QListWidget>("ListBox2")->item(0)->text(), kNewChat);
    EXPECT_EQ(control<QListWidget>("ListBox2")->currentRow(), rowOf(cat));
    EXPECT_EQ(form->CurrentChatFile(), cat);

    // With the new conversation current, the new-chat entry is the one selected.
    form->btnNewChatClick();
    pressEnterWith(u"собака"_s);
    pressEnterWith(QString());
    EXPECT_EQ(control<QListWidget>("ListBox2")->item(0)->text(), kNewChat);
    EXPECT_EQ(control<QListWidget>("ListBox2")->currentRow(), 0);
}

TEST_F(ChatSearchTest, DamagedFilesArePassedOverAndCountedInTheStatus) {
    placeFile(u"odd.json"_s, R"({"contents":[{"parts":[{"text":{"a":1}}]}]})");
    placeFile(u"broken.json"_s, R"({"contents":[{"parts":[{"text":"кот")");
    placeChat(u"Кот_2025-03-01_120002.json"_s, {u"кот"_s});
    pressEnterWith(u"кот"_s);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(entries(), QStringList{u"Кот"_s});
    EXPECT_EQ(form->StatusText(),
              u"Поиск: пропущено повреждённых или нечитаемых файлов чатов: 2"_s);
}

TEST_F(ChatSearchTest, DeletingTheOpenChatLeavesAnEmptyNewChat) {
    const QString cat = placeChat(u"Кот_2025-03-01_120002.json"_s, {u"кот"_s});
    const QString dog = placeChat(u"Собака_2025-03-01_120003.json"_s, {u"собака"_s});
    open(cat);
    ASSERT_FALSE(geminiDM->ChatHistory().isEmpty());

    // "No" keeps everything.
    control<QAction>("N6")->trigger();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0].text,
              u"Вы уверены, что хотите безвозвратно удалить чат?\r\nКот_2025-03-01_120002.json"
              u"\r\nФайл чата будет удален с диска!"_s);
    EXPECT_EQ(dialogs.questions[0].icon, Dialogs::QuestionIcon::Question);
    EXPECT_TRUE(QFileInfo::exists(cat));
    EXPECT_EQ(form->CurrentChatFile(), cat);

    dialogs.answers = {true};
    control<QAction>("N6")->trigger();
    EXPECT_FALSE(QFileInfo::exists(cat));
    EXPECT_TRUE(QFileInfo::exists(dog));
    EXPECT_EQ(form->CurrentChatFile(), QString());
    EXPECT_TRUE(geminiDM->ChatHistory().isEmpty());
    EXPECT_EQ(form->StatusText(), u"Новый чат начат."_s);
    EXPECT_EQ(entries(), (QStringList{kNewChat, u"Собака"_s}));
    EXPECT_EQ(selectedText(), kNewChat);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(ChatSearchTest, DeletingAnotherChatLeavesTheOpenOneUntouched) {
    const QString cat = placeChat(u"Кот_2025-03-01_120002.json"_s, {u"кот"_s});
    const QString dog = placeChat(u"Собака_2025-03-01_120003.json"_s, {u"собака"_s});
    open(cat);
    const TChatHistory history = geminiDM->ChatHistory();
    {
        // Selected without being opened.
        const QSignalBlocker blocker(control<QListWidget>("ListBox2"));
        control<QListWidget>("ListBox2")->setCurrentRow(rowOf(dog));
    }
    dialogs.answers = {true};
    control<QAction>("N6")->trigger();
    EXPECT_FALSE(QFileInfo::exists(dog));
    EXPECT_EQ(rowOf(dog), -1);
    EXPECT_EQ(form->CurrentChatFile(), cat);
    EXPECT_EQ(geminiDM->ChatHistory(), history);
    EXPECT_NE(rowOf(cat), -1);
    EXPECT_EQ(selectedText(), QString());
}

TEST_F(ChatSearchTest, DeletingNeedsAChatEntrySelected) {
    const QString cat = placeChat(u"Кот_2025-03-01_120002.json"_s, {u"кот"_s});
    pressEnterWith(QString());
    ASSERT_EQ(selectedText(), kNewChat);
    control<QAction>("N6")->trigger();
    // Search results have no entry selected.
    pressEnterWith(u"кот"_s);
    control<QAction>("N6")->trigger();

    const QString message = u"Пожалуйста, выберите существующий чат для удаления."_s;
    EXPECT_EQ(dialogs.messages, (QStringList{message, message}));
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(cat));
}

TEST_F(ChatSearchTest, AChatThatCannotBeDeletedStaysListed) {
    const QString cat = placeChat(u"Кот_2025-03-01_120002.json"_s, {u"кот"_s});
    RefusingRemover remover;
    remover.locked = QFileInfo(cat).fileName();
    form->SetFileRemover(remover);
    pressEnterWith(u"кот"_s);
    {
        const QSignalBlocker blocker(control<QListWidget>("ListBox2"));
        control<QListWidget>("ListBox2")->setCurrentRow(0);
    }
    dialogs.answers = {true};
    control<QAction>("N6")->trigger();
    EXPECT_EQ(dialogs.messages,
              QStringList{u"Не удалось удалить чат. Ошибка: Отказано в доступе"_s});
    EXPECT_EQ(entries(), QStringList{u"Кот"_s});
    EXPECT_TRUE(QFileInfo::exists(cat));
}

TEST_F(ChatSearchTest, DeletingAllChatsStartsANewChat) {
    const QString cat = placeChat(u"Кот_2025-03-01_120002.json"_s, {u"кот"_s});
    placeChat(u".hidden.json"_s, {u"скрытый"_s});
    const QString notes = placeChat(u"notes.txt"_s, {u"кот"_s});
    QDir(programDir.filePath(u"chats"_s)).mkdir(u"folder.json"_s);
    open(cat);

    control<QAction>("N12")->trigger();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0].text,
              u"Вы уверены, что хотите безвозвратно удалить ВСЕ чаты?\r\nЭто действие нельзя "
              u"будет отменить!"_s);
    EXPECT_EQ(dialogs.questions[0].icon, Dialogs::QuestionIcon::Warning);
    EXPECT_TRUE(QFileInfo::exists(cat));

    dialogs.answers = {true};
    control<QAction>("N12")->trigger();
    EXPECT_FALSE(QFileInfo::exists(cat));
    EXPECT_FALSE(QFileInfo::exists(chatPath(u".hidden.json"_s)));
    EXPECT_TRUE(QFileInfo::exists(notes));
    EXPECT_TRUE(QFileInfo(chatPath(u"folder.json"_s)).isDir());
    EXPECT_EQ(form->CurrentChatFile(), QString());
    EXPECT_TRUE(geminiDM->ChatHistory().isEmpty());
    EXPECT_EQ(form->StatusText(), u"Все чаты удалены. Начат новый чат."_s);
    // The folder entry is still listed, as every "*.json" entry is.
    EXPECT_EQ(entries(), (QStringList{kNewChat, u"folder"_s}));
    EXPECT_EQ(selectedText(), kNewChat);
    EXPECT_EQ(dialogs.messages, QStringList{u"Все чаты были успешно удалены."_s});
}

TEST_F(ChatSearchTest, AFileThatCannotBeDeletedStopsDeletingAll) {
    QStringList paths;
    for (int i = 0; i < 6; ++i)
        paths << placeChat(u"Чат %1_2025-03-01_12000%1.json"_s.arg(i), {u"текст %1"_s.arg(i)});
    // The files go in the folder's listing order; lock one in the middle of it.
    QStringList listed;
    for (QDirIterator it(programDir.filePath(u"chats"_s), {u"*.json"_s}, QDir::Files);
         it.hasNext();)
        listed << it.nextFileInfo().fileName();
    ASSERT_EQ(listed.size(), 6);
    RefusingRemover remover;
    remover.locked = listed[3];
    form->SetFileRemover(remover);
    open(chatPath(listed[5]));
    const QStringList listBefore = entries();
    const TChatHistory history = geminiDM->ChatHistory();
    const QString status = form->StatusText();

    dialogs.answers = {true};
    control<QAction>("N12")->trigger();
    EXPECT_EQ(dialogs.messages,
              QStringList{u"Произошла ошибка при удалении чатов: Отказано в доступе"_s});
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(QFileInfo::exists(chatPath(listed[i])), i >= 3) << listed[i].toStdString();
    EXPECT_EQ(form->CurrentChatFile(), chatPath(listed[5]));
    EXPECT_EQ(geminiDM->ChatHistory(), history);
    EXPECT_EQ(form->StatusText(), status);
    EXPECT_EQ(entries(), listBefore);
}

TEST_F(ChatSearchTest, DeletingAllWithoutAChatFolderSaysSo) {
    ASSERT_TRUE(QDir(programDir.filePath(u"chats"_s)).removeRecursively());
    form->DeleteAllChats();
    EXPECT_EQ(dialogs.messages, QStringList{u"Папка с чатами не найдена."_s});
}

} // namespace
