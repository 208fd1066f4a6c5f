#include "app/MainWindow.h"
#include "app/ColorScheme.h"
#include "EventWait.h"
#include "chat/GeminiDM.h"
#include "app/PromptEdit.h"
#include "WindowTest.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QScreen>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace {

class MainWindowTest : public WindowTest {};

// A desktop whose palette is dark: light text on a dark ground.
class DarkDesktopTest : public WindowTest {
protected:
    DarkDesktopTest() : WindowTest(DefaultNow(), false) {}

    void SetUp() override {
        m_saved = QApplication::palette();
        QPalette dark = m_saved;
        dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
        dark.setColor(QPalette::WindowText, QColor(0xe0, 0xe0, 0xe0));
        dark.setColor(QPalette::Base, QColor(0x1e, 0x1f, 0x22));
        dark.setColor(QPalette::Text, QColor(0xe0, 0xe0, 0xe0));
        QApplication::setPalette(dark);
        WindowTest::SetUp();
        showWindow();
    }
    void TearDown() override {
        WindowTest::TearDown();
        QApplication::setPalette(m_saved);
    }

private:
    QPalette m_saved;
};

TEST_F(DarkDesktopTest, WindowFollowsADarkDesktop) {
    EXPECT_TRUE(PrefersDarkColors(QApplication::palette()));
    for (const char* name : {"Panel1", "Panel4"})
        EXPECT_EQ(control<QWidget>(name)->palette().color(QPalette::Window),
                  QColor(0x1e, 0x1f, 0x22))
            << name;
    EXPECT_EQ(form->palette().color(QPalette::Window), QColor(0x1e, 0x1f, 0x22));
}

TEST_F(MainWindowTest, WindowIsWhiteOnALightDesktop) {
    EXPECT_FALSE(PrefersDarkColors(QApplication::palette()));
    for (const char* name : {"Panel1", "Panel4"})
        EXPECT_EQ(control<QWidget>(name)->palette().color(QPalette::Window), QColor(Qt::white))
            << name;
}

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
                  {control<QLabel>("Label3"), "Сегодня:"},
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
                           QStringLiteral("Удалить все чаты"), QStringLiteral("-"),
                           QStringLiteral("Экспорт…"), QStringLiteral("-"),
                           QStringLiteral("Переименовать…"), QStringLiteral("Закрепить")}));
    EXPECT_EQ(captions(control<QMenu>("PopupMenu19")), QStringList({QStringLiteral("Удалить")}));
    EXPECT_EQ(captions(control<QMenu>("PopupMenu20")),
              QStringList({QStringLiteral("Удалить"), QStringLiteral("-"),
                           QStringLiteral("Обновить список моделей")}));
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
    attachments().SetAttachedFiles({QStringLiteral("/tmp/a.png")});
    ASSERT_EQ(control<PromptEdit>("memoPrompt")->toPlainText(), QStringLiteral("abc"));
    // History and composed message are rounded up each on its own: 1 + 260.
    EXPECT_EQ(control<QLabel>("ContextChatTokensLabel")->text(), QStringLiteral("261"));
}

// The controls a user works with, by name; they must all show, whole, side by side.
constexpr const char* kLaidOutControls[] = {"Edit1",
                                            "btnNewChat",
                                            "ListBox2",
                                            "WebBrowser1",
                                            "Label4",
                                            "Label5",
                                            "ContextChatTokensLabel",
                                            "memoPrompt",
                                            "btnAddFile1",
                                            "lblFileLimits1",
                                            "btnClearFiles1",
                                            "Label1",
                                            "cbModels",
                                            "chkEnableWebSearch",
                                            "btnSend",
                                            "btnChatParameters",
                                            "TimeoutLabel",
                                            "Label2",
                                            "editApiKey",
                                            "Label3",
                                            "CountLabel",
                                            "ListBox1",
                                            "statusBar"};

// At the smallest size allowed, a laptop's and a large screen's, with the widest texts the
// labels take (a six-digit estimate, every file slot used, a request running), nothing is
// clipped, covered or out of reach, and the prompt box grows with the window.
TEST_F(MainWindowTest, LaysOutEveryControlWholeAtEverySize) {
    QStringList files;
    for (int i = 0; i < 16; ++i)
        files.append(QStringLiteral("/tmp/file%1.txt").arg(i));
    attachments().SetAttachedFiles(files);
    control<QLabel>("ContextChatTokensLabel")->setText(QStringLiteral("141245"));
    control<QLabel>("CountLabel")->setText(QStringLiteral("1250"));
    control<QLabel>("TimeoutLabel")->setText(QStringLiteral("125:04"));
    control<QLabel>("TimeoutLabel")->show();
    ASSERT_EQ(control<QLabel>("lblFileLimits1")->text(), QStringLiteral("Файлы (16/16)"));

    int promptWidth = 0;
    for (const QSize size : {QSize(760, 520), QSize(1280, 900), QSize(1920, 1080)}) {
        SCOPED_TRACE(size.width());
        form->resize(size);
        QCoreApplication::processEvents();
        ASSERT_EQ(form->size(), size);

        QList<QPair<QString, QRect>> placed;
        for (const char* name : kLaidOutControls) {
            QWidget* widget = control<QWidget>(name);
            ASSERT_NE(widget, nullptr);
            EXPECT_TRUE(widget->isVisible()) << name;
            const QRect area(widget->mapTo(form.get(), QPoint(0, 0)), widget->size());
            EXPECT_TRUE(form->rect().contains(area)) << name;
            EXPECT_GT(area.width(), 0) << name;
            if (const auto* label = qobject_cast<QLabel*>(widget)) {
                EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
                    << name << " " << label->text().toStdString();
            }
            if (const auto* button = qobject_cast<QAbstractButton*>(widget)) {
                EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), button->width())
                    << name;
            }
            for (const auto& [other, otherArea] : placed)
                EXPECT_FALSE(area.intersects(otherArea))
                    << name << " covers " << other.toStdString();
            placed.append({QString::fromLatin1(name), area});
        }
        const int width = control<PromptEdit>("memoPrompt")->width();
        EXPECT_GT(width, promptWidth);
        promptWidth = width;
        // For looking at by eye (under Xvfb the screen's copy holds the page too).
        const QString shots = qEnvironmentVariable("TOVIK_SCREENSHOT_DIR");
        if (!shots.isEmpty()) {
            form->move(0, 0); // whole on the screen
            RunEventsFor(1000);
            form->screen()
                ->grabWindow(form->winId())
                .save(QDir(shots).filePath(
                    QStringLiteral("window-%1x%2.png").arg(size.width()).arg(size.height())));
        }
    }
    EXPECT_EQ(form->minimumSize(), QSize(760, 520));
}

// Size, place and splitter come back at the next start, as do the key and model chosen.
TEST_F(MainWindowTest, RemembersItsLayoutAndChoicesBetweenRuns) {
    QFile keys(workingDir.filePath(QStringLiteral("Keys.txt")));
    ASSERT_TRUE(keys.open(QIODevice::WriteOnly));
    keys.write("key-one\r\nkey-two\r\n");
    keys.close();
    form.reset();
    showWindow();
    EXPECT_EQ(control<QComboBox>("editApiKey")->currentText(), QStringLiteral("key-one"));

    form->resize(1300, 840);
    control<QSplitter>("Splitter1")->setSizes({260, 1040});
    control<QComboBox>("editApiKey")->setCurrentIndex(1);
    control<QComboBox>("cbModels")->setCurrentIndex(2);
    QCoreApplication::processEvents();
    const int listWidth = control<QWidget>("Panel4")->width();
    ASSERT_TRUE(form->close());
    form.reset();

    showWindow();
    EXPECT_EQ(form->size(), QSize(1300, 840));
    EXPECT_EQ(control<QWidget>("Panel4")->width(), listWidth);
    EXPECT_EQ(control<QComboBox>("editApiKey")->currentText(), QStringLiteral("key-two"));
    EXPECT_EQ(control<QComboBox>("cbModels")->currentText(),
              QStringLiteral("gemini-2.5-flash-lite"));
}

// A new user types a question straight away; the search box and the two boxes say what
// they are for while empty.
TEST_F(MainWindowTest, StartsInThePromptBoxAndNamesTheEmptyBoxes) {
    EXPECT_EQ(form->focusWidget(), control<PromptEdit>("memoPrompt"));
    EXPECT_EQ(control<QLineEdit>("Edit1")->placeholderText(), QStringLiteral("Поиск по чатам"));
    EXPECT_EQ(control<PromptEdit>("memoPrompt")->placeholderText(),
              QStringLiteral("Ctrl+Enter — отправить"));
    EXPECT_FALSE(control<QComboBox>("editApiKey")->lineEdit()->placeholderText().isEmpty());
    EXPECT_FALSE(control<QComboBox>("cbModels")->lineEdit()->placeholderText().isEmpty());

    // A send, here refused for want of a key, leaves the user in the prompt box.
    control<QLineEdit>("Edit1")->setFocus();
    QTest::mouseClick(control<QPushButton>("btnSend"), Qt::LeftButton);
    EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("Пожалуйста, введите API ключ.")});
    EXPECT_EQ(form->focusWidget(), control<PromptEdit>("memoPrompt"));
}

// Tab goes through every control in reading order and back to the start; Ctrl+Tab puts a
// tab into the prompt; the window's keys work from wherever focus is.
TEST_F(MainWindowTest, TheKeyboardReachesEverything) {
    control<QLineEdit>("Edit1")->setFocus();
    QStringList order;
    for (int step = 0; step < 40; ++step) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        // The engine's widget stands for the web view.
        const QString name = focused->objectName().isEmpty() && focused->parentWidget()
                                 ? focused->parentWidget()->objectName()
                                 : focused->objectName();
        if (!order.isEmpty() && name == order.first())
            break;
        if (order.isEmpty() || order.last() != name)
            order.append(name);
        QTest::keyClick(focused, Qt::Key_Tab);
        // The page hands the key on once it has seen it has nothing to focus.
        if (name == u"WebBrowser1") {
            ASSERT_TRUE(WaitUntil([&] { return QApplication::focusWidget() != focused; }, 5000));
        }
    }
    EXPECT_EQ(order, QStringLiteral("Edit1 btnNewChat ListBox2 WebBrowser1 memoPrompt "
                                    "btnAddFile1 btnClearFiles1 ListBox1 cbModels "
                                    "chkEnableWebSearch btnSend editApiKey showKeyButton btnChatParameters "
                                    "btnShortcuts btnSettings")
                         .split(u' '))
        << order.join(u' ').toStdString();

    auto* prompt = control<PromptEdit>("memoPrompt");
    prompt->setFocus();
    QTest::keyClick(prompt, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(prompt->toPlainText(), QStringLiteral("\t"));

    QTest::keyClick(prompt, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), control<QLineEdit>("Edit1"));
    QTest::keyClick(control<QLineEdit>("Edit1"), Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), prompt);
    QTest::keyClick(prompt, Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(dialogs.fileDialogs.size(), 1);
    EXPECT_EQ(dialogs.fileDialogs.first().first(),
              QStringLiteral("Выберите один или несколько файлов"));
    QTest::mouseClick(control<QPushButton>("btnShortcuts"), Qt::LeftButton);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages.first().contains(QStringLiteral("Ctrl+N — новый чат")));
}

// What a screen reader hears for each control: its own name, never the key in the key box.
TEST_F(MainWindowTest, NamesEveryControlForAScreenReader) {
    control<QComboBox>("editApiKey")->setEditText(QStringLiteral("AIza-secret"));
    const std::pair<const char*, const char*> names[] = {
        {"Edit1", "Поиск по чатам"},          {"btnNewChat", "Новый чат"},
        {"ListBox2", "Чаты"},                 {"WebBrowser1", "Чат"},
        {"memoPrompt", "Текст запроса"},      {"btnAddFile1", "Прикрепить файлы"},
        {"btnClearFiles1", "Убрать все файлы"}, {"ListBox1", "Прикреплённые файлы"},
        {"DownBut", "К концу чата"},          {"chkEnableWebSearch", "Поиск в Интернете"},
        {"btnSend", "Отправить"},             {"editApiKey", "Ключ API"},
        {"showKeyButton", "Показать ключ"},
        {"btnChatParameters", "Параметры чата"}, {"btnShortcuts", "Сочетания клавиш"},
        {"btnSettings", "Настройки"},         {"CountLabel", "Запросов сегодня"},
        {"TimeoutLabel", "Время запроса"},
    };
    for (const auto& [object, name] : names) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control<QWidget>(object));
        ASSERT_NE(accessible, nullptr) << object;
        EXPECT_EQ(accessible->text(QAccessible::Name), QString::fromUtf8(name)) << object;
    }
    // The model box is named by its caption; the key is told only as the box shows it.
    QAccessibleInterface* models =
        QAccessible::queryAccessibleInterface(control<QWidget>("cbModels"));
    ASSERT_FALSE(models->relations(QAccessible::Label).isEmpty());
    EXPECT_EQ(models->relations(QAccessible::Label).first().first->text(QAccessible::Name),
              QStringLiteral("Модель:"));
    QAccessibleInterface* key = QAccessible::queryAccessibleInterface(control<QWidget>("editApiKey"));
    EXPECT_EQ(key->text(QAccessible::Value), QString(11, QChar(0x2022)));
    auto* keyField = control<QComboBox>("editApiKey")->lineEdit();
    EXPECT_EQ(keyField->echoMode(), QLineEdit::Password);
    control<QToolButton>("showKeyButton")->click();
    EXPECT_EQ(keyField->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(key->text(QAccessible::Value), QStringLiteral("AIza-secret"));
    Q_EMIT keyField->customContextMenuRequested(QPoint(2, 2));
    auto* menu = form->findChild<QMenu*>(QStringLiteral("PopupMenu19Shown"));
    ASSERT_NE(menu, nullptr);
    const auto texts = [](const QMenu& shown) {
        QStringList all;
        for (const QAction* action : shown.actions())
            all.append(action->text());
        return all;
    };
    const std::unique_ptr<QMenu> standard(keyField->createStandardContextMenu());
    const QStringList expected = texts(*standard) + QStringList{QString(), QStringLiteral("Удалить")};
    EXPECT_EQ(texts(*menu), expected);
    menu->close();
}

// At first start the window fits the screen, whatever its size or scale.
TEST_F(MainWindowTest, FirstWindowFitsTheScreen) {
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(available.size(), QSize(1920, 1080));
    EXPECT_EQ(form->geometry().size(), QSize(1089, 799));
    EXPECT_TRUE(available.contains(form->geometry()));
    EXPECT_FALSE(form->windowIcon().isNull());
    EXPECT_FALSE(form->windowIcon().pixmap(64).isNull());
}

// The prompt box shows three lines without a scroll bar, grows with a longer prompt up to
// about a third of the window, and goes back when emptied.
TEST_F(MainWindowTest, ThePromptBoxGrowsWithItsText) {
    form->resize(1280, 900);
    QCoreApplication::processEvents();
    auto* prompt = control<PromptEdit>("memoPrompt");
    QWidget* panel = control<QWidget>("Panel2");
    const int empty = panel->height();
    EXPECT_FALSE(prompt->verticalScrollBar()->isVisible());
    prompt->setPlainText(QStringLiteral("line\n").repeated(12));
    QCoreApplication::processEvents();
    EXPECT_GT(panel->height(), empty);
    EXPECT_GE(prompt->height(), prompt->fontMetrics().lineSpacing() * 12);
    prompt->setPlainText(QStringLiteral("line\n").repeated(500));
    QCoreApplication::processEvents();
    EXPECT_LE(prompt->height(), form->height() / 3 + prompt->fontMetrics().lineSpacing());
    EXPECT_GT(prompt->height(), form->height() / 4);
    prompt->clear();
    QCoreApplication::processEvents();
    EXPECT_EQ(panel->height(), empty);
}

// Every text of ours the window shows is Russian; only key names, the program's and the
// models' names are written in Latin letters.
TEST_F(MainWindowTest, SpeaksNoEnglish) {
    const QStringList allowed{QStringLiteral("Ctrl"), QStringLiteral("Enter"),
                              QStringLiteral("Esc"),  QStringLiteral("Tovik"),
                              QStringLiteral("L"),    QStringLiteral("API")};
    QStringList texts{form->windowTitle(), form->StatusText()};
    for (const QWidget* widget : form->findChildren<QWidget*>()) {
        texts.append(widget->toolTip());
        if (const auto* label = qobject_cast<const QLabel*>(widget))
            texts.append(label->text());
        if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            texts.append(button->text());
        if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
            texts.append(edit->placeholderText());
        if (const auto* prompt = qobject_cast<const PromptEdit*>(widget))
            texts.append(prompt->placeholderText());
    }
    for (const QAction* action : form->findChildren<QAction*>())
        texts.append(action->text());
    static const QRegularExpression latinWord(QStringLiteral("[A-Za-z]+"));
    for (const QString& text : texts) {
        for (auto words = latinWord.globalMatch(text); words.hasNext();) {
            const QString word = words.next().captured();
            EXPECT_TRUE(allowed.contains(word))
                << word.toStdString() << " in " << text.toStdString();
        }
    }
}

TEST_F(MainWindowTest, ClosingEmptiesTheChatList) {
    form->close();
    EXPECT_EQ(control<QListWidget>("ListBox2")->count(), 0);
}

} // namespace
