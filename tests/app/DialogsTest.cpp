#include "app/Dialogs.h"
#include "app/QtTranslations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

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

} // namespace
