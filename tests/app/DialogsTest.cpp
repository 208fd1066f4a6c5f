#include "app/Dialogs.h"
#include "app/QtTranslations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>

namespace {

// Every question guards a step that cannot be undone: Enter alone answers No.
TEST(QtDialogs, EnterAnswersAQuestionWithNo) {
    QtDialogs dialogs;
    QString defaultButton;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        if (box->defaultButton())
            defaultButton = box->defaultButton()->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_FALSE(dialogs.AskYesNo(QStringLiteral("Закрыть без сохранения?"),
                                  Dialogs::QuestionIcon::Warning));
    EXPECT_EQ(defaultButton, QMessageBox(QMessageBox::Question, {}, {}, QMessageBox::No)
                                 .button(QMessageBox::No)
                                 ->text());
}

// Escape, too, answers No, and with Qt's catalogs installed the buttons read in Russian.
TEST(QtDialogs, EscapeAnswersNoAndTheButtonsSpeakRussian) {
    const QtTranslations translations;
    ASSERT_TRUE(translations.Installed()) << "qt6-translations-l10n is not installed";
    QtDialogs dialogs;
    QStringList buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (const QAbstractButton* button : box->buttons())
            buttons.append(button->text().remove(u'&'));
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_FALSE(dialogs.AskYesNo(QStringLiteral("Удалить Модель?\r\nДействие необратимо."),
                                  Dialogs::QuestionIcon::Question));
    buttons.sort();
    EXPECT_EQ(buttons, QStringList({QStringLiteral("Да"), QStringLiteral("Нет")}));
}

// The text dialog gives the line as confirmed, an emptied one included, and nothing when
// cancelled.
TEST(QtDialogs, TheTextDialogGivesTheConfirmedLineOrNothing) {
    const struct {
        const char* typed; // replaces the starting text; nullptr keeps it
        Qt::Key key;
        std::optional<QString> answer;
    } cases[] = {
        {nullptr, Qt::Key_Return, QStringLiteral("старое")},
        {"Новое имя", Qt::Key_Return, QStringLiteral("Новое имя")},
        {"", Qt::Key_Return, QString()},
        {"Новое имя", Qt::Key_Escape, std::nullopt},
    };
    for (const auto& c : cases) {
        QtDialogs dialogs;
        QString label;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            auto* edit = dialog->findChild<QLineEdit*>();
            ASSERT_NE(edit, nullptr);
            if (const QLabel* text = dialog->findChild<QLabel*>())
                label = text->text();
            if (c.typed)
                edit->setText(QString::fromUtf8(c.typed));
            QTest::keyClick(edit, c.key);
        });
        const std::optional<QString> answer = dialogs.GetText(
            QStringLiteral("Переименовать чат"), QStringLiteral("Название чата:"),
            QStringLiteral("старое"));
        EXPECT_EQ(answer, c.answer) << (c.typed ? c.typed : "(kept)");
        EXPECT_EQ(label, QStringLiteral("Название чата:"));
    }
}

} // namespace
