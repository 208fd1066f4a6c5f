#include "Dialogs.h"

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

} // namespace
