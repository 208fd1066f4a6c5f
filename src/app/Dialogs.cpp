#include "Dialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace {

QString boxTitle() {
    return QCoreApplication::applicationName();
}

} // namespace

void QtDialogs::ShowMessage(const QString& text) {
    QMessageBox::information(m_parent, boxTitle(), text);
}

bool QtDialogs::AskYesNo(const QString& text, QuestionIcon icon) {
    QMessageBox box(icon == QuestionIcon::Warning ? QMessageBox::Warning : QMessageBox::Question,
                    boxTitle(), text, QMessageBox::Yes | QMessageBox::No, m_parent);
    // Every question guards a step that cannot be undone: Enter must not take it.
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QStringList QtDialogs::GetOpenFileNames(const QString& title, const QString& filter) {
    // The read-only check box of other platforms does not exist in Qt's dialog.
    return QFileDialog::getOpenFileNames(m_parent, title, QString(), filter);
}
