#pragma once

#include "AppFolders.h"
#include "ChatLibrary.h"
#include "ConversationModel.h"
#include "FileRemover.h"
#include "ListFile.h"
#include "RequestTypes.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QKeyEvent;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTimer;
class QWebEngineView;
class QWidget;
class BottomPanel;
class ChatPage;
class Dialogs;
class LiveAnswer;
class LiveAnswerView;
class PromptEdit;
struct AnswerEnd;

// The main window. Its controls keep their designer names; each concern of the
// window (page, send flow, chat library, lists, attachments, search) lives in a
// file of its own.
class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    TForm1(const AppFolders& folders, Dialogs& dialogs, QWidget* parent = nullptr);
    ~TForm1() override;

    const AppFolders& Folders() const { return FFolders; }

    void UpdateContextTokens();
    void ClearChatList();

    // The single text of the status bar.
    void SetStatusText(const QString& text);
    QString StatusText() const;

    // Runs an event handler; an error it leaves uncaught ends it and is shown to
    // the user in a message box. The window's edge: nothing below it throws.
    void Guarded(const std::function<void()>& handler);

    // Connects a signal to a handler of the window, a member function or a callable
    // taking no arguments, through Guarded: every connection of the window goes here.
    template <class Sender, class Signal, class Handler>
    void ConnectGuarded(Sender* sender, Signal signal, Handler handler) {
        connect(sender, signal, this, [this, handler] {
            if constexpr (std::is_member_function_pointer_v<Handler>)
                Guarded([this, handler] { (this->*handler)(); });
            else
                Guarded(handler);
        });
    }

    // Each concern below keeps its handlers in a file of its own, named in its heading.

    // Chat page: MainWindowPage.cpp
    void ResetChatView();
    void LoadBaseHtml();
    void AppendHtml(const QString& html);
    void ScrollChatBy(int pixels);
    void ScrollChatToBottom();
    void AddUserMessage(const QString& text, const QStringList& files);
    void AddModelMessage(const QString& answer);
    void AddImageMessage(const QString& MimeType, const QString& Base64Data);
    void RenderHistory();
    void DownButClick();
    // The conversation shown again on a new page, after the page's document was lost.
    void RebuildChatPage();
    // Rebuilds the page and says so, unless it died again before anything new was shown.
    void ChatPageRenderProcessGone();
    ChatPage& Page() { return *FChatPage; }

    // Send flow: MainWindowSend.cpp
    void btnSendClick();
    void ImageRequestDone(const QString& result);
    void Timer1Timer();
    // True when the key was taken (Ctrl+Enter sends, Escape stops).
    bool memoPromptKeyDown(const QKeyEvent* event);

    // Live answers: MainWindowLive.cpp
    bool RequestRunning() const;
    // Stops the running request at once; what had arrived stays. The window is idle when
    // this returns.
    void StopRequest();
    // Chat library: MainWindowChats.cpp
    static QString NewChatEntryText();
    void LoadChatList();
    // Saves the current chat when it has moved on, and shows where it now lives.
    ChatSave SaveCurrentChat();
    void OpenChat(const QString& path);
    void btnNewChatClick();
    void ListBox2Click();
    const QString& CurrentChatFile() const { return FChats.CurrentFile(); }

    // Key and model lists: MainWindowLists.cpp
    void LoadKeyAndModelLists();
    // CountLabel: today's requests for the key and the model shown.
    void ShowTodayRequestCount();
    void ShowRequestCount(const Expected<int>& count);
    void editApiKeyKeyUp(int Key);
    void cbModelsKeyUp(int Key);
    void editApiKeyChange();
    void cbModelsChange();
    void N7Click();
    void N8Click();

    // Attachments panel: MainWindowAttachments.cpp
    static constexpr int MaxAttachedFiles = 16;
    // The files sent with the next prompt; ListBox1 shows their names.
    const QStringList& AttachedFiles() const { return FAttachedFiles; }
    void SetAttachedFiles(const QStringList& paths);
    // lblFileLimits1 shows the count against the limit; the token estimate follows.
    void UpdateFilesLabel();
    void btnAddFile1Click();
    void N1Click();
    void N3Click();
    void btnClearFiles1Click();
    void N5Click();

    // Chat search and deletion: MainWindowSearch.cpp
    void Edit1KeyUp(int Key);
    void N6Click();
    void N12Click();
    void DeleteAllChats();
    // Deleting chats goes through this; tests put in one that refuses.
    void SetFileRemover(FileRemover& remover) { FChats.SetFileRemover(remover); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The controls, by their designer names; tests find them by object name.
    // Left column.
    QWidget* Panel4 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* btnNewChat = nullptr;
    QListWidget* ListBox2 = nullptr;
    QSplitter* Splitter1 = nullptr;

    // Chat area.
    QWidget* Panel5 = nullptr;
    QWidget* Panel1 = nullptr;
    QWebEngineView* WebBrowser1 = nullptr;

    // Bottom panel.
    BottomPanel* Panel2 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* ContextChatTokensLabel = nullptr;
    PromptEdit* memoPrompt = nullptr;
    QWidget* Panel3 = nullptr;
    QPushButton* btnAddFile1 = nullptr;
    QLabel* lblFileLimits1 = nullptr;
    QPushButton* btnClearFiles1 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* cbModels = nullptr;
    QCheckBox* chkEnableWebSearch = nullptr;
    QPushButton* btnSend = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* editApiKey = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* CountLabel = nullptr;
    QLabel* TimeoutLabel = nullptr;
    // The service's own token counts for the last answer, beside the estimate.
    QLabel* UsageLabel = nullptr;
    QListWidget* ListBox1 = nullptr;
    QPushButton* DownBut = nullptr;

    QStatusBar* statusBar = nullptr;
    QTimer* Timer1 = nullptr;

    // Popup menus and their items (separators included, as in the designer).
    QMenu* PopupMenu10 = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    QAction* N3 = nullptr;
    QAction* N4 = nullptr;
    QAction* N5 = nullptr;
    QMenu* PopupMenu14 = nullptr;
    QAction* N6 = nullptr;
    QAction* N11 = nullptr;
    QAction* N12 = nullptr;
    QMenu* PopupMenu19 = nullptr;
    QAction* N7 = nullptr;
    QMenu* PopupMenu20 = nullptr;
    QAction* N8 = nullptr;

    void CreateComponents();
    void CreateLeftColumn();
    void CreateChatArea();
    void CreateBottomPanel();
    void CreateControlRow();
    void CreatePopupMenus();

    void FormCreate();
    void FormShow();
    // False when the window stays open.
    bool FormClose();
    void FormResize();

    // Key and model lists: each box with the file that keeps its entries.
    struct KeptList {
        QComboBox* box = nullptr;
        QString fileName;
        FileAccess access = FileAccess::Default;
        TextFormat format;
        // False while the file exists but cannot be read: it is then never written.
        bool readable = true;
    };
    void ConnectListHandlers();
    void LoadList(KeptList& list);
    Expected<void> ReadList(KeptList& list);
    bool EnsureListReadable(KeptList& list);
    void AddShownEntry(KeptList& list);
    void RemoveShownEntry(KeptList& list, const QString& question);
    void SaveList(KeptList& list);
    KeptList FKeys;
    KeptList FModels;

    void ShowWhereKeysComeFrom();
    void SendTextRequest(const QString& apiKey, const QString& modelName, const QString& prompt,
                         const QStringList& files);
    void ClearPromptAndAttachments();
    void EnterBusyState();
    void EndBusyState();
    void FinishRequest();
    void ShowImageAnswer(const QString& result);
    // A failed or stopped request, as the window shows failures.
    void ShowFailure(const QString& text);

    // Live answers: MainWindowLive.cpp
    void StartLiveAnswer(const QString& apiKey, const QString& modelName,
                         const TContentParts& parts);
    void ShowStopControl();
    QString LiveStatus() const;
    void LiveAnswerGrew(const QString& textSoFar);
    void LiveAnswerRetrying(int seconds);
    void LiveAnswerEnded(const AnswerEnd& end);
    void ShowUsage();
    std::shared_ptr<LiveAnswer> FLiveAnswer;
    LiveAnswerView* FLiveView = nullptr;
    // Set while an image request runs; setting it abandons the request.
    CancelFlag FImageCancel;
    // "Повтор через N с…" while a retry is awaited.
    QString FRetryNotice;
    std::optional<TokenUsage> FLastUsage;

    // Empties the conversation, the page and the current chat file, without saving first.
    void StartNewChatInPlace(const QString& status);
    // Puts the new-chat entry at the top of the list unless it is there, and selects it.
    void SelectNewChatEntry();
    // Selects the open chat's entry, or the new-chat entry for a new chat.
    void SelectCurrentChatEntry();
    // Saves the current chat before another takes its place. When that fails the user
    // chooses: go on without saving (true) or stay (false).
    bool LeaveCurrentChat();
    QListWidgetItem* FindNewChatEntry() const;
    void ShowCurrentChatInList();
    void NameNewChatEntry();

    AppFolders FFolders;
    ChatLibrary FChats;
    Dialogs& FDialogs;
    QLabel* FStatusText = nullptr;
    ChatPage* FChatPage = nullptr;

    bool FBaseHtmlLoaded = false;
    // Rebuilt after a render process death and nothing appended since.
    bool FChatPageRebuilt = false;
    bool FIsLoading = false;
    bool FFormShown = false;
    int FSecondsElapsed = 0;
    QStringList FAttachedFiles;

    void ConnectSearchHandlers();
    void RestoreFullChatList();
};
