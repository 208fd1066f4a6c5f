// The attachments panel: the files sent with the next prompt, and their count against the limit.
#include "MainWindow.h"

#include "AttachmentPreparation.h"
#include "Dialogs.h"
#include "GeminiDM.h"

#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace {

using namespace Qt::Literals::StringLiterals;

struct FileFilter {
    QString description;
    QString patterns;
};

// The dialog's file types, the first one chosen when it opens.
const FileFilter kFileFilters[] = {
    {u"Поддерживаемые файлы"_s,
     u"*.jpg;*.jpeg;*.png;*.webp;*.heic;*.heif;*.wav;*.mp3;*.aiff;*.aac;*.ogg;*.flac;*.mp4;"
     "*.mpeg;*.mov;*.avi;*.flv;*.mpg;*.webm;*.wmv;*.3gpp;*.txt;*.json;*.pas;*.dfm;*.md;*.csv;"
     "*.xml;*.html;*.htm;*.css;*.js;*.ts;*.py;*.java;*.cpp;*.c;*.rb;*.php;*.sh;*.log;*.rtf;"
     "*.yaml;*.yml;*.toml;*.ini;*.env;*.sql;*.Makefile;*.cmake;*.dockerfile;*.dockerignore;"
     "*.tf;*.tfvars;*.jsx;*.vue;*.svelte;*.scss;*.sass;*.less;*.pl;*.lua;*.vbs;*.bas;*.cob;"
     "*.f90;*.properties;*.asciidoc;*.adoc;*.creole;*.docbook;*.rst;*.tex;*.conf;*.cfg;*.bash;"
     "*.zsh;*.ksh;*.pdf;*.docx;*.xlsx;*.pptx"_s},
    {u"Изображения"_s, u"*.jpg;*.jpeg;*.png;*.webp;*.heic;*.heif"_s},
    {u"Аудио файлы"_s, u"*.wav;*.mp3;*.aiff;*.aac;*.ogg;*.flac"_s},
    {u"Видео файлы"_s, u"*.mp4;*.mpeg;*.mov;*.avi;*.flv;*.mpg;*.webm;*.wmv;*.3gpp"_s},
    {u"Текст / Код"_s,
     u"*.txt;*.md;*.csv;*.xml;*.html;*.htm;*.css;*.js;*.ts;*.py;*.java;*.cpp;*.c;*.rb;*.pas;"
     "*.dfm;*.php;*.sh;*.log;*.rtf"_s},
    {u"Документы"_s, u"*.pdf;*.docx;*.xlsx;*.pptx"_s},
    {u"Все файлы"_s, u"*.*"_s},
};

// Qt's form of the filter: "Description (*.a *.b);;Description (*.c)".
QString openDialogFilter() {
    QStringList choices;
    for (const FileFilter& filter : kFileFilters) {
        QString patterns = filter.patterns;
        choices.append(filter.description + u" ("_s + patterns.replace(u';', u' ') + u')');
    }
    return choices.join(u";;"_s);
}

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
        FDialogs.GetOpenFileNames(u"Выберите один или несколько файлов"_s, openDialogFilter());
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
