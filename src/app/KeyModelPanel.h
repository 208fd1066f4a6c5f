#pragma once

#include "store/AppFolders.h"
#include "text/Expected.h"
#include "text/ListFile.h"

#include <QString>
#include <QWidget>

#include <functional>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QToolButton;
class Dialogs;
class WindowMemory;
struct ModelListAddition;

// The key and model boxes with the lists kept in Keys.txt and Models.txt (Enter adds the
// text shown, the popup menus remove it) and today's request count for the pair shown.
class KeyModelPanel : public QWidget {
    Q_OBJECT

public:
    KeyModelPanel(const AppFolders& folders, Dialogs& dialogs, QWidget* parent);

    // Fills both boxes from their files and shows the key and model chosen last time.
    void LoadKeyAndModelLists(const WindowMemory& memory);
    QString ApiKey() const;
    QString ModelName() const;
    // CountLabel: today's requests for the key and the model shown; a count that could not
    // be read shows a dash and the pointer over it tells why.
    void ShowTodayRequestCount();
    // Counts a request that reached the service, and shows the count when it is for the key
    // and model shown.
    void CountRequestSent(const QString& apiKey, const QString& modelName);
    // Adds the listed names that are new to the model box and Models.txt, as many as the file
    // can hold. They are worked out off the window's thread; done gets how many were added,
    // on the window's thread and only while the panel lives.
    void MergeListedModels(const QStringList& models,
                           std::function<void(const Expected<int>&)> done);
    // "Обновить список моделей" waits while a refresh runs.
    void SetModelRefreshRunning(bool running);

    void editApiKeyKeyUp(int Key);
    void cbModelsKeyUp(int Key);
    void editApiKeyChange();
    void cbModelsChange();
    void N7Click();
    void N8Click();

Q_SIGNALS:
    void RefreshModelsRequested();
    void StatusMessage(const QString& text);

private:
    // Each box with the file that keeps its entries.
    struct KeptList {
        QComboBox* box = nullptr;
        QString fileName;
        FileAccess access = FileAccess::Default;
        TextFormat format;
        // False while the file exists but cannot be read: it is then never written.
        bool readable = true;
        // Status bar texts for Enter: the text was added, or was already there.
        QString savedStatus;
        QString presentStatus;
    };
    void CreateMenus();
    void LoadList(KeptList& list);
    Expected<void> ReadList(KeptList& list);
    bool EnsureListReadable(KeptList& list);
    void AddShownEntry(KeptList& list);
    void RemoveShownEntry(KeptList& list, const QString& question);
    bool SaveList(KeptList& list);
    void ShowRequestCount(const Expected<int>& count);
    // The names a merge worked out go into the box and Models.txt; how many.
    Expected<int> AddModels(const ModelListAddition& addition);

    AppFolders m_folders;
    Dialogs& m_dialogs;
    KeptList m_keys;
    KeptList m_models;

    QLabel* Label1 = nullptr;
    QComboBox* cbModels = nullptr;
    QLabel* Label2 = nullptr;
    QToolButton* showKeyButton = nullptr;
    QComboBox* editApiKey = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* CountLabel = nullptr;
    QMenu* PopupMenu19 = nullptr;
    QAction* N7 = nullptr;
    QMenu* PopupMenu20 = nullptr;
    QAction* N8 = nullptr;
    QAction* RefreshModelsItem = nullptr;
};
