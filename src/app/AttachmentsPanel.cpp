// The attachments panel: the files sent with the next prompt, and their count against the limit.
#include "app/MainWindow.h"

#include "chat/AttachmentPreparation.h"
#include "service/AttachmentTypes.h"
#include "app/Dialogs.h"
#include "chat/GeminiDM.h"

#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace {

using namespace Qt::Literals::StringLiterals;

bool isAttached(const QStringList& paths, const QString& path) {
    return paths.contains(path, Qt::CaseInsensitive);
}

} // namespace

void TForm1::SetAttachedFiles(const QStringList& paths) {
    FAttachedFiles = paths;
    ListBox1->clear();
    for (const QString& path : paths)
        ListBox1->addItem(QFileInfo(path).fileName());
    UpdateFilesLabel();
}

void TForm1::UpdateFilesLabel() {
    lblFileLimits1->setText(u"Файлы (%1/%2)"_s.arg(FAttachedFiles.size()).arg(MaxAttachedFiles));
    UpdateContextTokens();
}

void TForm1::btnAddFile1Click() {
    if (FAttachedFiles.size() >= MaxAttachedFiles) {
        FDialogs.ShowMessage(u"Достигнут максимальный лимит файлов ("_s +
                             QString::number(MaxAttachedFiles) + u")."_s);
        return;
    }
    const QStringList picked =
        FDialogs.GetOpenFileNames(u"Выберите один или несколько файлов"_s, OpenDialogFilter());
    if (picked.isEmpty())
        return;

    for (const QString& path : picked) {
        if (FAttachedFiles.size() >= MaxAttachedFiles) {
            FDialogs.ShowMessage(u"Добавление остановлено – достигнут лимит файлов."_s);
            break;
        }
        const QString name = QFileInfo(path).fileName();
        if (TGeminiDM::GetMimeTypeFromFileExt(path).isEmpty() || IsSpecialFile(path)) {
            FDialogs.ShowMessage(UnsupportedFileMessage(name));
            continue;
        }
        if (isAttached(FAttachedFiles, path))
            continue;
        FAttachedFiles.append(path);
        ListBox1->addItem(name);
    }
    UpdateFilesLabel();
}

void TForm1::N1Click() {
    btnAddFile1->click();
}

void TForm1::N3Click() {
    const QListWidgetItem* selected = ListBox1->currentItem();
    if (!selected || !selected->isSelected())
        return;
    const int row = ListBox1->row(selected);
    FAttachedFiles.removeAt(row);
    ListBox1->model()->removeRow(row);
    UpdateFilesLabel();
}

void TForm1::btnClearFiles1Click() {
    if (!FDialogs.AskYesNo(u"Очистить список файлов?\r\nДействие необратимо."_s,
                           Dialogs::QuestionIcon::Question))
        return;
    SetAttachedFiles({});
}

void TForm1::N5Click() {
    btnClearFiles1Click();
}
