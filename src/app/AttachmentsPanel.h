#pragma once

#include <QStringList>
#include <QWidget>

class QAction;
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

    AttachmentsPanel(Dialogs& dialogs, QWidget* parent);

    // The attached files; ListBox1 shows their names.
    const QStringList& AttachedFiles() const { return m_attachedFiles; }
    void SetAttachedFiles(const QStringList& paths);

    void btnAddFile1Click();
    void N1Click();
    void N3Click();
    void btnClearFiles1Click();
    void N5Click();

Q_SIGNALS:
    void FilesChanged();

private:
    // lblFileLimits1 shows the count against the limit.
    void UpdateFilesLabel();

    Dialogs& m_dialogs;
    QStringList m_attachedFiles;

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
