#pragma once

#include "conversation/ConversationModel.h"

#include <QHash>
#include <QIcon>
#include <QStringList>
#include <QWidget>

class QAction;
class QImage;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class Dialogs;

// The files sent with the next prompt: the add and remove-all buttons, their count against
// the limit, the list of names and its popup menu. Says when the files change.
class AttachmentsPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int MaxAttachedFiles = 16;

    // Pictures pasted into the prompt are kept in pastedFolder while they are attached.
    AttachmentsPanel(Dialogs& dialogs, QString pastedFolder, QWidget* parent);

    // The attached files; ListBox1 shows their names. Setting them drops any kept files.
    const QStringList& AttachedFiles() const { return m_attachedFiles; }
    void SetAttachedFiles(const QStringList& paths);
    // The files of a question being edited, as its message kept them: listed first, sent
    // again as they are, removed like the others.
    const TContentParts& KeptFiles() const { return m_keptFiles; }
    void SetKeptFiles(const TContentParts& parts);
    // The kept files and the attached ones.
    qsizetype Count() const { return m_keptFiles.size() + m_attachedFiles.size(); }
    QStringList Names() const;

    // Attaches the files that can be sent and says why each other one cannot, up to the
    // limit.
    void AddFiles(const QStringList& paths);
    // A picture pasted into the prompt, attached as a PNG file of its own.
    void AttachPicture(const QImage& picture);

    void btnAddFile1Click();
    void N1Click();
    void N3Click();
    void btnClearFiles1Click();
    void N5Click();

Q_SIGNALS:
    void FilesChanged();

private:
    // ListBox1 shows the names, lblFileLimits1 the count against the limit.
    void ShowFiles();
    // A small picture of an image file; none for other files.
    QIcon Thumbnail(const QString& path);

    Dialogs& m_dialogs;
    QString m_pastedFolder;
    QStringList m_attachedFiles;
    // The pasted pictures' files, removed once they are no longer attached.
    QStringList m_pastedFiles;
    QHash<QString, QIcon> m_thumbnails;
    TContentParts m_keptFiles;

    QPushButton* btnAddFile1 = nullptr;
    QLabel* lblFileLimits1 = nullptr;
    QPushButton* btnClearFiles1 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QMenu* PopupMenu10 = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    QAction* N3 = nullptr;
    QAction* N4 = nullptr;
    QAction* N5 = nullptr;
};
