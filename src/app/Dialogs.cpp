#include "app/Dialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
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

QString QtDialogs::GetSaveFileName(const QString& title, const QString& suggestedName,
                                   const QString& filter) {
    QString chosenFilter;
    QString path =
        QFileDialog::getSaveFileName(m_parent, title, suggestedName, filter, &chosenFilter);
    // "Markdown (*.md)" gives ".md".
    const QString extension = chosenFilter.section(u'*', 1).section(u')', 0, 0).trimmed();
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty() && extension.startsWith(u'.'))
        path += extension;
    return path;
}

std::optional<QString> QtDialogs::GetText(const QString& title, const QString& label,
                                          const QString& text) {
    bool confirmed = false;
    QString answer =
        QInputDialog::getText(m_parent, title, label, QLineEdit::Normal, text, &confirmed);
    if (!confirmed)
        return std::nullopt;
    return answer;
}
