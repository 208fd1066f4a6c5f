#include "MainWindow.h"
#include "BottomPanel.h"
#include "GeminiDM.h"
#include "PromptEdit.h"
#include "WindowTest.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

class MainWindowTest : public WindowTest {};

TEST_F(MainWindowTest, CreatesTheChatFolder) {
    EXPECT_TRUE(QDir(programDir.filePath(QStringLiteral("chats"))).exists());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(MainWindowTest, ShowsItsControlsWithTheirTexts) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tovik-L"));
    const struct {
        QPushButton* button;
        const char* caption;
        const char* hint;
    } buttons[] = {
        {control<QPushButton>("btnNewChat"), "+", "Новый Чат"},
        {control<QPushButton>("btnAddFile1"), "+", ""},
        {control<QPushButton>("btnClearFiles1"), "-", "Удалить всё"},
        {control<QPushButton>("btnSend"), "Отправить", "Ctrl+Enter"},
    };
    for (const auto& b : buttons) {
        EXPECT_EQ(b.button->text(), QString::fromUtf8(b.caption));
        EXPECT_EQ(b.button->toolTip(), QString::fromUtf8(b.hint));
    }
    EXPECT_EQ(control<QPushButton>("DownBut")->text(), QString::fromUtf16(u"\U0001F447"));

    const struct {
        QLabel* label;
        const char* caption;
    } labels[] = {{control<QLabel>("Label4"), "Контекст"},
                  {control<QLabel>("Label5"), "токенов~"},
                  {control<QLabel>("lblFileLimits1"), "Файлы (0/16)"},
                  {control<QLabel>("Label1"), "Модель:"},
                  {control<QLabel>("Label2"), "Ключ:"},
                  {control<QLabel>("Label3"), "Лимит:"},
                  {control<QLabel>("CountLabel"), "0"},
                  {control<QLabel>("TimeoutLabel"), "00:00"}};
    for (const auto& l : labels)
        EXPECT_EQ(l.label->text(), QString::fromUtf8(l.caption));
    EXPECT_FALSE(control<QLabel>("TimeoutLabel")->isVisible());

    EXPECT_EQ(control<QCheckBox>("chkEnableWebSearch")->text(), QStringLiteral("Веб"));
    EXPECT_FALSE(control<QCheckBox>("chkEnableWebSearch")->isChecked());
    EXPECT_EQ(control<PromptEdit>("memoPrompt")->toolTip(),
              QStringLiteral("Ctrl+Enter (Отправить)"));
    ASSERT_EQ(control<QComboBox>("cbModels")->count(), 3);
    EXPECT_EQ(control<QComboBox>("cbModels")->itemText(0), QStringLiteral("gemini-2.5-pro"));
    EXPECT_EQ(control<QComboBox>("cbModels")->itemText(1), QStringLiteral("gemini-2.5-flash"));
    EXPECT_EQ(control<QComboBox>("cbModels")->itemText(2), QStringLiteral("gemini-2.5-flash-lite"));
    EXPECT_TRUE(control<QComboBox>("cbModels")->isEditable() &&
                control<QComboBox>("editApiKey")->isEditable());
}

TEST_F(MainWindowTest, PopupMenusHoldTheirItemsInOrder) {
    const auto captions = [](QMenu* menu) {
        QStringList texts;
        for (QAction* action : menu->actions())
            texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        return texts;
    };
    EXPECT_EQ(captions(control<QMenu>("PopupMenu10")),
              QStringList({QStringLiteral("Добавить Файлы"), QStringLiteral("-"),
                           QStringLiteral("Удалить Файл"), QStringLiteral("-"),
                           QStringLiteral("Удалить Все Файлы")}));
    EXPECT_EQ(captions(control<QMenu>("PopupMenu14")),
              QStringList({QStringLiteral("Удалить Чат"), QStringLiteral("-"),
                           QStringLiteral("Удалить все чаты")}));
    EXPECT_EQ(captions(control<QMenu>("PopupMenu19")), QStringList({QStringLiteral("Удалить")}));
    EXPECT_EQ(captions(control<QMenu>("PopupMenu20")), QStringList({QStringLiteral("Удалить")}));
}

TEST_F(MainWindowTest, FirstShowStartsANewChat) {
    EXPECT_EQ(form->StatusText(), QStringLiteral("Новый чат начат."));
    ASSERT_GE(control<QListWidget>("ListBox2")->count(), 1);
    EXPECT_EQ(control<QListWidget>("ListBox2")->item(0)->text(), QStringLiteral("<Новый чат>"));
    EXPECT_EQ(control<QListWidget>("ListBox2")->currentRow(), 0);
    EXPECT_EQ(control<QLabel>("ContextChatTokensLabel")->text(), QStringLiteral("0"));
    EXPECT_EQ(control<QTimer>("Timer1")->interval(), 1000);
    EXPECT_FALSE(control<QTimer>("Timer1")->isActive());

    // A second show repeats only the per-show steps.
    form->hide();
    form->show();
    EXPECT_EQ(control<QListWidget>("ListBox2")->count(), 1);
}

TEST_F(MainWindowTest, TokenLabelFollowsTypingHistoryAndAttachments) {
    QTest::keyClicks(control<PromptEdit>("memoPrompt"), QStringLiteral("abc"));
    EXPECT_EQ(control<QLabel>("ContextChatTokensLabel")->text(), QStringLiteral("2"));
    QTest::keyClick(control<PromptEdit>("memoPrompt"), Qt::Key_Backspace);
    EXPECT_EQ(control<QLabel>("ContextChatTokensLabel")->text(), QStringLiteral("1"));
    QTest::keyClicks(control<PromptEdit>("memoPrompt"), QStringLiteral("c"));

    geminiDM->ChatHistory() = {
        THistoryItem{QStringLiteral("user"), {MakeTextPart(QStringLiteral("x"))}}};
    form->SetAttachedFiles({QStringLiteral("/tmp/a.png")});
    ASSERT_EQ(control<PromptEdit>("memoPrompt")->toPlainText(), QStringLiteral("abc"));
    // History and composed message are rounded up each on its own: 1 + 260.
    EXPECT_EQ(control<QLabel>("ContextChatTokensLabel")->text(), QStringLiteral("261"));
}

TEST_F(MainWindowTest, ResizeKeepsThePromptCentredAndTheRowsAttached) {
    const auto centreFraction = [&] {
        return (control<PromptEdit>("memoPrompt")->x() +
                control<PromptEdit>("memoPrompt")->width() / 2.0) /
               control<BottomPanel>("Panel2")->width();
    };
    const double before = centreFraction();
    for (const QSize size : {QSize(1600, 900), QSize(1200, 700)}) {
        form->resize(size);
        QCoreApplication::processEvents();
        EXPECT_NEAR(centreFraction(), before, 1.0 / control<BottomPanel>("Panel2")->width())
            << size.width();
        EXPECT_EQ(control<QWidget>("Panel3")->x(), control<PromptEdit>("memoPrompt")->x());
        EXPECT_EQ(control<QListWidget>("ListBox1")->x(),
                  control<PromptEdit>("memoPrompt")->x() +
                      control<PromptEdit>("memoPrompt")->width() + 10);
        EXPECT_EQ(control<PromptEdit>("memoPrompt")->size(), QSize(547, 84));
        EXPECT_EQ(control<QPushButton>("DownBut")->geometry().right() <
                      control<BottomPanel>("Panel2")->width(),
                  true);
    }
}

TEST_F(MainWindowTest, ClosingEmptiesTheChatList) {
    form->close();
    EXPECT_EQ(control<QListWidget>("ListBox2")->count(), 0);
}

} // namespace
