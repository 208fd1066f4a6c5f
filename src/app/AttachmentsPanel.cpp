// The attachments panel: the files sent with the next prompt, and their count against the limit.
#include "app/AttachmentsPanel.h"

#include "app/Controls.h"
#include "app/Dialogs.h"
#include "app/Guarded.h"
#include "chat/AttachmentPreparation.h"
#include "page/ConversationHtml.h"
#include "service/AttachmentEncoding.h"
#include "service/AttachmentTypes.h"
#include "text/Clock.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

namespace {

using namespace Qt::Literals::StringLiterals;

constexpr int kListMinimumWidth = 90;
constexpr int kThumbnailSize = 32;

bool isAttached(const QStringList& paths, const QString& path) {
    return paths.contains(path, Qt::CaseInsensitive);
}

} // namespace

AttachmentsPanel::AttachmentsPanel(Dialogs& dialogs, QString pastedFolder, QWidget* parent)
    : QWidget(parent), m_dialogs(dialogs), m_pastedFolder(std::move(pastedFolder)) {
    setObjectName(u"AttachmentsPanel"_s);
    btnAddFile1 = button("btnAddFile1", u"+"_s, this);
    btnAddFile1->setFixedWidth(kSmallButtonWidth);
    lblFileLimits1 = label("lblFileLimits1", u"Файлы (0/16)"_s, this);
    reserveWidth(lblFileLimits1, u"Файлы (16/16)"_s);
    btnClearFiles1 = button("btnClearFiles1", u"-"_s, this);
    btnClearFiles1->setToolTip(u"Удалить всё"_s);
    btnClearFiles1->setFixedWidth(kSmallButtonWidth);
    ListBox1 = named(new QListWidget(this), "ListBox1");
    btnAddFile1->setAccessibleName(u"Прикрепить файлы"_s);
    btnClearFiles1->setAccessibleName(u"Убрать все файлы"_s);
    ListBox1->setAccessibleName(u"Прикреплённые файлы"_s);
    ListBox1->setFrameShape(QFrame::NoFrame);
    ListBox1->setMinimumWidth(kListMinimumWidth);
    ListBox1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(6);
    layout->setVerticalSpacing(4);
    layout->addWidget(btnAddFile1, 0, 0);
    layout->addWidget(lblFileLimits1, 0, 1);
    layout->addWidget(btnClearFiles1, 0, 2);
    layout->addWidget(ListBox1, 1, 0, 1, 4);
    layout->setColumnStretch(3, 1);
    layout->setRowStretch(1, 1);

    PopupMenu10 = named(new QMenu(this), "PopupMenu10");
    N1 = menuItem(PopupMenu10, "N1", u"Добавить Файлы"_s);
    N2 = menuSeparator(PopupMenu10, "N2");
    N3 = menuItem(PopupMenu10, "N3", u"Удалить Файл"_s);
    N4 = menuSeparator(PopupMenu10, "N4");
    N5 = menuItem(PopupMenu10, "N5", u"Удалить Все Файлы"_s);
    attachPopup(ListBox1, PopupMenu10);

    ConnectGuarded(btnAddFile1, &QPushButton::clicked, this, m_dialogs, [this] { btnAddFile1Click(); });
    ConnectGuarded(btnClearFiles1, &QPushButton::clicked, this, m_dialogs,
                   [this] { btnClearFiles1Click(); });
    ConnectGuarded(N1, &QAction::triggered, this, m_dialogs, [this] { N1Click(); });
    ConnectGuarded(N3, &QAction::triggered, this, m_dialogs, [this] { N3Click(); });
    ConnectGuarded(N5, &QAction::triggered, this, m_dialogs, [this] { N5Click(); });
}

void AttachmentsPanel::SetAttachedFiles(const QStringList& paths) {
    m_attachedFiles = paths;
    m_keptFiles.clear();
    ShowFiles();
}

void AttachmentsPanel::SetKeptFiles(const TContentParts& parts) {
    m_keptFiles = parts;
    ShowFiles();
}

QStringList AttachmentsPanel::Names() const {
    QStringList names;
    for (const TContentPart& part : m_keptFiles)
        names.append(AttachmentName(part));
    for (const QString& path : m_attachedFiles)
        names.append(QFileInfo(path).fileName());
    return names;
}

void AttachmentsPanel::ShowFiles() {
    // Pictures pasted into the prompt live only as long as they are attached.
    for (auto pasted = m_pastedFiles.begin(); pasted != m_pastedFiles.end();) {
        if (isAttached(m_attachedFiles, *pasted)) {
            ++pasted;
            continue;
        }
        QFile::remove(*pasted);
        pasted = m_pastedFiles.erase(pasted);
    }
    ListBox1->clear();
    const QStringList names = Names();
    for (int row = 0; row < names.size(); ++row) {
        auto* item = new QListWidgetItem(names[row], ListBox1);
        if (row < m_keptFiles.size()) {
            item->setToolTip(u"Файл из изменяемого сообщения"_s);
        } else {
            const QString& path = m_attachedFiles[row - m_keptFiles.size()];
            item->setToolTip(QDir::toNativeSeparators(path) + u"\n"_s +
                             QLocale().formattedDataSize(QFileInfo(path).size()));
            item->setIcon(Thumbnail(path));
        }
        // Each file can go by itself, by the mouse or the keyboard.
        auto* remove = new QToolButton;
        remove->setText(u"✕"_s);
        remove->setAutoRaise(true);
        remove->setAccessibleName(u"Убрать файл "_s + names[row]);
        remove->setToolTip(remove->accessibleName());
        connect(remove, &QToolButton::clicked, this, [this, item] {
            ListBox1->setCurrentItem(item);
            N3Click();
        });
        auto* holder = new QWidget;
        auto* layout = new QHBoxLayout(holder);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addStretch(1);
        layout->addWidget(remove);
        ListBox1->setItemWidget(item, holder);
    }
    lblFileLimits1->setText(u"Файлы (%1/%2)"_s.arg(Count()).arg(MaxAttachedFiles));
    Q_EMIT FilesChanged();
}

QIcon AttachmentsPanel::Thumbnail(const QString& path) {
    if (const auto known = m_thumbnails.constFind(path); known != m_thumbnails.cend())
        return *known;
    QIcon icon;
    if (MimeTypeOfFile(path).startsWith(u"image/"_s) && !IsSpecialFile(path)) {
        QImageReader reader(path);
        const QSize size = reader.size();
        if (size.isValid())
            reader.setScaledSize(size.scaled(kThumbnailSize, kThumbnailSize, Qt::KeepAspectRatio));
        if (const QImage image = reader.read(); !image.isNull())
            icon = QIcon(QPixmap::fromImage(image));
    }
    m_thumbnails.insert(path, icon);
    return icon;
}

void AttachmentsPanel::btnAddFile1Click() {
    if (Count() >= MaxAttachedFiles) {
        m_dialogs.ShowMessage(u"Достигнут максимальный лимит файлов ("_s +
                              QString::number(MaxAttachedFiles) + u")."_s);
        return;
    }
    const QStringList picked =
        m_dialogs.GetOpenFileNames(u"Выберите один или несколько файлов"_s, OpenDialogFilter());
    AddFiles(picked);
}

void AttachmentsPanel::AddFiles(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    for (const QString& path : paths) {
        if (Count() >= MaxAttachedFiles) {
            m_dialogs.ShowMessage(u"Добавление остановлено – достигнут лимит файлов."_s);
            break;
        }
        const QString name = QFileInfo(path).fileName();
        if (MimeTypeOfFile(path).isEmpty() || IsSpecialFile(path)) {
            m_dialogs.ShowMessage(UnsupportedFileMessage(name));
            continue;
        }
        // Refused now rather than when sending.
        if (QFileInfo(path).size() > kMaxAttachmentBytes) {
            m_dialogs.ShowMessage(OversizeFileMessage(name));
            continue;
        }
        if (isAttached(m_attachedFiles, path))
            continue;
        m_attachedFiles.append(path);
    }
    ShowFiles();
}

void AttachmentsPanel::AttachPicture(const QImage& picture) {
    if (Count() >= MaxAttachedFiles) {
        m_dialogs.ShowMessage(u"Достигнут максимальный лимит файлов ("_s +
                              QString::number(MaxAttachedFiles) + u")."_s);
        return;
    }
    const QString name =
        u"Вставка "_s + Clock::now().toString(u"yyyy-MM-dd HH-mm-ss-zzz"_s) + u".png"_s;
    const QString path = QDir(m_pastedFolder).filePath(name);
    if (!QDir().mkpath(m_pastedFolder) || !picture.save(path, "PNG")) {
        m_dialogs.ShowMessage(u"Не удалось сохранить вставленную картинку в "_s +
                              QDir::toNativeSeparators(path));
        return;
    }
    m_pastedFiles.append(path);
    AddFiles({path});
}

void AttachmentsPanel::N1Click() {
    btnAddFile1->click();
}

void AttachmentsPanel::N3Click() {
    const QListWidgetItem* selected = ListBox1->currentItem();
    if (!selected || !selected->isSelected())
        return;
    const int row = ListBox1->row(selected);
    if (row < m_keptFiles.size())
        m_keptFiles.removeAt(row);
    else
        m_attachedFiles.removeAt(row - m_keptFiles.size());
    ShowFiles();
}

void AttachmentsPanel::btnClearFiles1Click() {
    if (!m_dialogs.AskYesNo(u"Очистить список файлов?\r\nДействие необратимо."_s,
                            Dialogs::QuestionIcon::Question))
        return;
    SetAttachedFiles({});
}

void AttachmentsPanel::N5Click() {
    btnClearFiles1Click();
}
