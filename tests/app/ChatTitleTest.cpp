// Renaming and pinning chats from the chat list's menu, and where the chat's name shows:
// the list, the status bar and the window's title.
#include "app/ChatListPanel.h"
#include "app/MainWindow.h"
#include "app/PathObject.h"
#include "chat/GeminiDM.h"
#include "EventWait.h"
#include "WindowTest.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString kStamp = u"_2025-03-01_142530"_s;

class ChatTitleTest : public WindowTest {
protected:
    // A chat file written by the program's own writer, with an age and a label.
    QString placeChat(const QString& name, int ageSeconds, const ChatLabel& label = {}) {
        const QString path = chatPath(name + kStamp + u".json"_s);
        EXPECT_TRUE(WriteChatFile(
            path, {{THistoryItem{u"user"_s, {MakeTextPart(u"вопрос про "_s + name)}}}, {}, label}));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                         QFileDevice::FileModificationTime);
        return path;
    }

    QListWidget* list() const { return control<QListWidget>("ListBox2"); }

    QStringList entries() const {
        QStringList texts;
        for (int i = 0; i < list()->count(); ++i)
            texts.append(list()->item(i)->text() + (list()->item(i)->font().bold() ? u" *"_s : u""_s));
        return texts;
    }

    int rowOf(const QString& path) const {
        for (int i = 0; i < list()->count(); ++i) {
            const std::optional<TPathObject> chat = PathObjectOf(list()->item(i));
            if (chat && chat->Path == path)
                return i;
        }
        return -1;
    }

    void showList() {
        ASSERT_TRUE(form->LoadChatList());
        form->findChild<ChatListPanel*>()->SelectNewChatEntry();
    }

    // The user picks the chat's entry, even one the menu shows selected.
    void open(const QString& path) {
        list()->setCurrentRow(-1);
        list()->setCurrentRow(rowOf(path));
        ASSERT_EQ(form->CurrentChatFile(), path);
    }

    // The menu opened on the chat's entry, as a right click does; gives the pin item's
    // caption.
    QString menuOn(const QString& path) {
        const QPoint at = list()->visualItemRect(list()->item(rowOf(path))).center();
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, list()->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(list()->viewport(), &rightClick);
        EXPECT_TRUE(control<QMenu>("PopupMenu14")->isVisible());
        return control<QAction>("actPinChat")->text();
    }

    // Runs a menu item on the chat under the pointer, then closes the menu.
    void run(const char* action) {
        control<QAction>(action)->trigger();
        control<QMenu>("PopupMenu14")->hide();
    }

    ChatLabel labelOf(const QString& path) const { return ReadChatFileLabel(path); }
};

TEST_F(ChatTitleTest, PinnedChatsComeFirstAndTitlesStandForFileNames) {
    placeChat(u"новый"_s, 60);
    placeChat(u"закреплённый"_s, 7200, {{}, true});
    placeChat(u"с названием"_s, 600, {u"Мой проект"_s});
    placeChat(u"старый"_s, 9000, {u"Архив"_s, true});
    showList();
    EXPECT_EQ(entries(), QStringList({u"<Новый чат>"_s, u"закреплённый *"_s, u"Архив *"_s,
                                      u"новый"_s, u"Мой проект"_s}));
}

TEST_F(ChatTitleTest, RenamesTheChatUnderThePointer) {
    const QString open = placeChat(u"открытый"_s, 60);
    const QString other = placeChat(u"другой"_s, 120);
    showList();
    this->open(open);
    const QByteArray otherMessages = [&] {
        ChatFileContent content;
        EXPECT_TRUE(ReadChatFile(other, content));
        return ChatFileText({content.History, content.Kept});
    }();
    const QDateTime otherTime = QFileInfo(other).lastModified();

    // Another chat: its file takes the title, its messages and its place stay.
    menuOn(other);
    dialogs.textAnswers = {u"  Отчёт за март "_s};
    run("actRenameChat");
    ASSERT_EQ(dialogs.textDialogs.size(), 1);
    EXPECT_EQ(dialogs.textDialogs[0],
              QStringList({u"Переименовать чат"_s, u"Название чата:"_s, u"другой"_s}));
    EXPECT_EQ(labelOf(other), ChatLabel({u"Отчёт за март"_s}));
    ChatFileContent content;
    ASSERT_TRUE(ReadChatFile(other, content));
    EXPECT_EQ(ChatFileText({content.History, content.Kept}), otherMessages);
    EXPECT_EQ(QFileInfo(other).lastModified(), otherTime);
    EXPECT_EQ(entries(), QStringList({u"<Новый чат>"_s, u"открытый"_s, u"Отчёт за март"_s}));
    EXPECT_EQ(form->windowTitle(), u"открытый — Tovik-L"_s);
    EXPECT_TRUE(WaitUntil([&] { return list()->currentRow() == rowOf(open); }, 2000));

    // The open chat: written at once, and the window says its new name.
    menuOn(open);
    dialogs.textAnswers = {u"Главный"_s};
    run("actRenameChat");
    EXPECT_EQ(labelOf(open), ChatLabel({u"Главный"_s}));
    EXPECT_EQ(geminiDM->Label(), ChatLabel({u"Главный"_s}));
    EXPECT_EQ(form->windowTitle(), u"Главный — Tovik-L"_s);
    EXPECT_EQ(entries(), QStringList({u"<Новый чат>"_s, u"Главный"_s, u"Отчёт за март"_s}));

    // Cancelled, or confirmed as shown: nothing changes. Confirmed empty: the title goes.
    const QByteArray before = [&] {
        QFile file(other);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    for (const std::optional<QString>& unchanged : {std::optional<QString>(), std::optional(u"Отчёт за март"_s)}) {
        menuOn(other);
        dialogs.textAnswers = {unchanged};
        run("actRenameChat");
        QFile file(other);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), before);
    }
    menuOn(other);
    dialogs.textAnswers = {QString()};
    run("actRenameChat");
    EXPECT_EQ(labelOf(other), ChatLabel());
    EXPECT_EQ(entries(), QStringList({u"<Новый чат>"_s, u"Главный"_s, u"другой"_s}));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(ChatTitleTest, PinningPutsTheChatOnTopAndTheCaptionFollowsTheChat) {
    const QString newest = placeChat(u"новый"_s, 60);
    const QString middle = placeChat(u"средний"_s, 600);
    const QString oldest = placeChat(u"старый"_s, 3600);
    showList();
    open(newest);

    EXPECT_EQ(menuOn(oldest), u"Закрепить"_s);
    run("actPinChat");
    EXPECT_TRUE(labelOf(oldest).Pinned);
    EXPECT_EQ(entries(), QStringList({u"<Новый чат>"_s, u"старый *"_s, u"новый"_s, u"средний"_s}));
    EXPECT_EQ(menuOn(oldest), u"Открепить"_s);
    EXPECT_EQ(menuOn(middle), u"Закрепить"_s);
    control<QMenu>("PopupMenu14")->hide();

    // The open chat too, at once; both pinned keep their newest-first order.
    menuOn(newest);
    run("actPinChat");
    EXPECT_EQ(labelOf(newest), ChatLabel({{}, true}));
    EXPECT_EQ(entries(),
              QStringList({u"<Новый чат>"_s, u"новый *"_s, u"старый *"_s, u"средний"_s}));
    EXPECT_TRUE(WaitUntil([&] { return list()->currentRow() == rowOf(newest); }, 2000));

    menuOn(oldest);
    run("actPinChat");
    EXPECT_EQ(labelOf(oldest), ChatLabel());
    EXPECT_EQ(entries(),
              QStringList({u"<Новый чат>"_s, u"новый *"_s, u"средний"_s, u"старый"_s}));

    // A new chat's first save puts it below the pinned ones.
    form->btnNewChatClick();
    geminiDM->ChatHistory() = {THistoryItem{u"user"_s, {MakeTextPart(u"свежий"_s)}}};
    ASSERT_TRUE(form->SaveCurrentChat());
    EXPECT_EQ(entries(), QStringList({u"новый *"_s, u"свежий"_s, u"средний"_s, u"старый"_s}));
    EXPECT_EQ(list()->currentRow(), 1);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// The menu on the new-chat entry has no saved chat to act on.
TEST_F(ChatTitleTest, TheNewChatEntryCannotBeRenamedOrPinned) {
    placeChat(u"чат"_s, 60);
    showList();
    for (const char* action : {"actRenameChat", "actPinChat"}) {
        list()->setCurrentRow(0);
        run(action);
    }
    EXPECT_EQ(dialogs.messages, QStringList(2, u"Пожалуйста, выберите сохранённый чат."_s));
    EXPECT_TRUE(dialogs.textDialogs.isEmpty());
}

// A chat that did not load whole is not written over, open or not.
TEST_F(ChatTitleTest, ADamagedChatIsNotRenamedOrPinned) {
    const QByteArray partial =
        R"({"contents":[{"role":"user","parts":[{"text":"первый"}]},{"role":"model","parts":[7]}]})";
    const QString broken = chatPath(u"broken.json"_s);
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(partial);
    file.close();
    const QString good = placeChat(u"целый"_s, 60);
    showList();
    const QString refusal = u"Не удалось изменить чат broken.json: чат прочитан не полностью, и "
                            u"его файл не будет перезаписан"_s;

    menuOn(broken);
    dialogs.textAnswers = {u"Новое"_s};
    run("actRenameChat");
    open(broken);
    menuOn(broken);
    run("actPinChat");
    EXPECT_EQ(dialogs.messages, QStringList(2, refusal));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), partial);
    EXPECT_EQ(QDir(chatPath(QString())).entryList({u"*.json"_s}, QDir::Files).size(), 2);
    EXPECT_EQ(labelOf(good), ChatLabel());
}

TEST_F(ChatTitleTest, TheStatusBarAndTheWindowTitleShowTheChatsName) {
    const QString titled = placeChat(u"файл"_s, 60, {u"Путешествие"_s});
    const QString plain = placeChat(u"простой"_s, 120);
    EXPECT_EQ(form->windowTitle(), u"Tovik-L"_s);
    showList();

    open(titled);
    EXPECT_EQ(form->StatusText(), u"Загружен чат: Путешествие"_s);
    EXPECT_EQ(form->windowTitle(), u"Путешествие — Tovik-L"_s);
    open(plain);
    EXPECT_EQ(form->StatusText(), u"Загружен чат: простой"_s);
    EXPECT_EQ(form->windowTitle(), u"простой — Tovik-L"_s);

    form->ShowDataFolder(u"~/.local/share/Tovik-L"_s);
    EXPECT_EQ(form->windowTitle(), u"простой — Tovik-L — ~/.local/share/Tovik-L"_s);
    form->btnNewChatClick();
    EXPECT_EQ(form->windowTitle(), u"Tovik-L — ~/.local/share/Tovik-L"_s);

    // A new chat is called after its file once first written.
    geminiDM->ChatHistory() = {THistoryItem{u"user"_s, {MakeTextPart(u"Рецепт"_s)}}};
    ASSERT_TRUE(form->SaveCurrentChat());
    EXPECT_EQ(form->windowTitle(), u"Рецепт — Tovik-L — ~/.local/share/Tovik-L"_s);
}

// For looking at by eye: the list with a pinned and a renamed chat.
TEST_F(ChatTitleTest, Screenshot) {
    const QString shots = qEnvironmentVariable("TOVIK_SCREENSHOT_DIR");
    if (shots.isEmpty())
        GTEST_SKIP() << "TOVIK_SCREENSHOT_DIR is not set";
    placeChat(u"Как работает TCP"_s, 60);
    placeChat(u"Рецепт борща"_s, 600, {{}, true});
    placeChat(u"Вопрос про Qt"_s, 1200, {u"Переименованный чат"_s});
    placeChat(u"Старый разговор"_s, 9000);
    showList();
    open(chatPath(u"Вопрос про Qt"_s + kStamp + u".json"_s));
    RunEventsFor(300);
    ASSERT_TRUE(form->grab().save(QDir(shots).filePath(u"chat-list-titles.png"_s)));
}

} // namespace
