#pragma once

#include "conversation/ConversationModel.h"

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

    Dialogs& m_dialogs;
    QStringList m_attachedFiles;
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
