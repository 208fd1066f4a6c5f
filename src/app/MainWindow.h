#pragma once

#include "store/AppFolders.h"
#include "chat/ChatLibrary.h"
#include "conversation/ConversationModel.h"
#include "text/Expected.h"
#include "store/FileRemover.h"
#include "text/ListFile.h"
#include "service/RequestTypes.h"
#include "service/SettingsFile.h"
#include "store/WindowMemory.h"

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
class QPoint;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTimer;
class QWebEngineView;
class QWidget;
class ChatPage;
class Dialogs;
class LiveAnswer;
class LiveAnswerView;
class PromptEdit;
class TGeminiDM;
struct AnswerEnd;

// The main window. Its controls keep their designer names; each concern of the
// window (page, send flow, chat library, lists, attachments, search) lives in a
// file of its own.
class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    // The data module is the one of the whole run: created before the window, gone after it.
    TForm1(const AppFolders& folders, Dialogs& dialogs, TGeminiDM& geminiDM,
           QWidget* parent = nullptr);
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
    // A failed request as a failure block; with a token, the block can send it again.
    void AddFailureMessage(const RequestFailure& failure, const QString& retryToken = {});
    void RenderHistory();
    void DownButClick();
    // Stands in for the chat while no key is chosen: how to get one and how to send.
    void ShowWelcomePage();
    bool WelcomePageShown() const { return FWelcomeShown; }
    // The older parts of a chat being opened, added before what the page shows.
    void ShowOlderChunks(QStringList chunks, int rendering);
    // The conversation shown again on a new page, after the page's document was lost.
    void RebuildChatPage();
    // Rebuilds the page and says so, unless it died again before anything new was shown.
    void ChatPageRenderProcessGone();
    ChatPage& Page() { return *FChatPage; }

    // Send flow: MainWindowSend.cpp
    void btnSendClick();
    void ImageRequestDone(const RequestResult& result);
    // The "Повторить" link of the last failure block: sends the failed request again.
    void RetryFailedRequest(const QString& token);
    // The "Продолжить" link of the last answer: asks the model to go on where it stopped.
    void ContinueAnswer(const QString& token);
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

    // Chat export: MainWindowExport.cpp
    void ExportChatClick();

    // Connection settings and the service's model list: MainWindowSettings.cpp
    // The address given on the command line: it wins over the settings file for this run.
    void SetBaseUrlOverride(const QString& address) { FSettings.SetBaseUrlOverride(address); }
    void btnSettingsClick();
    // "Обновить список моделей" in the model box's menu.
    void RefreshModelsClick();
    // Adds the listed names that are new to the model box and Models.txt (in
    // MainWindowLists.cpp); how many were new.
    Expected<int> MergeListedModels(const QStringList& models);

    // Chat search and deletion: MainWindowSearch.cpp
    void Edit1KeyUp(int Key);
    // The chat list's popup menu acts on the entry under the pointer.
    void ListBox2ContextMenu(const QPoint& at);
    void N6Click();
    void N12Click();
    void DeleteAllChats();
    // Deleting chats goes through this; tests put in one that refuses.
    void SetFileRemover(FileRemover& remover) { FChats.SetFileRemover(remover); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

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
    QWidget* Panel2 = nullptr;
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
    // Searches a moment after the user stops typing in Edit1.
    QTimer* FSearchDelay = nullptr;

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
    QAction* actExportChat = nullptr;
    QMenu* PopupMenu19 = nullptr;
    QAction* N7 = nullptr;
    QMenu* PopupMenu20 = nullptr;
    QAction* N8 = nullptr;
    QAction* RefreshModelsItem = nullptr;
    QPushButton* btnSettings = nullptr;

    void CreateComponents();
    void CreateLeftColumn();
    void CreateChatArea();
    void CreateBottomPanel();
    void CreateControlRow();
    void CreatePopupMenus();
    void CreateSettingsEntry();

    void FormCreate();
    void FormShow();
    // False when the window stays open.
    bool FormClose();

    // Key and model lists: each box with the file that keeps its entries.
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
    void ConnectListHandlers();
    void LoadList(KeptList& list);
    Expected<void> ReadList(KeptList& list);
    bool EnsureListReadable(KeptList& list);
    void AddShownEntry(KeptList& list);
    void RemoveShownEntry(KeptList& list, const QString& question);
    bool SaveList(KeptList& list);
    void SelectRememberedEntries();
    void RestoreWindowLayout();
    void RememberWindow();
    KeptList FKeys;
    KeptList FModels;

    // A request as it was sent, kept until its answer is in so that a failure can put
    // the prompt back and send the same parts again.
    struct SentRequest {
        QString apiKey;
        QString modelName;
        QString prompt;
        QStringList files;
        TContentParts parts;
        bool image = false;
        bool webSearch = false;
    };
    void ShowWhereKeysComeFrom();
    void SendTextRequest(const QString& apiKey, const QString& modelName, const QString& prompt,
                         const QStringList& files);
    void StartRequest(const SentRequest& request);
    // The failure block with its "Повторить" link, the request's prompt and files back in
    // place, and the status: "Ошибка", or "Остановлено" for a request the user stopped.
    void ShowFailedRequest(const RequestFailure& failure, bool stopped = false);
    void ShowLocalFailure(const QString& text);
    // The "Повторить" and "Продолжить" links lose their use once another request goes.
    void ForgetLastRequestLinks();
    // The busy state, then the request.
    void BeginRequest(const SentRequest& request);
    // Counts each request that reached the service for its key and model.
    void CountRequestsSent();
    void ClearPromptAndAttachments();
    void EnterBusyState();
    void EndBusyState();
    void FinishRequest();

    // Live answers: MainWindowLive.cpp
    void StartLiveAnswer(const SentRequest& request);
    void ShowStopControl();
    QString LiveStatus() const;
    // A request's running time as the timer label shows it, "mm:ss".
    static QString ElapsedText(int seconds);
    void LiveAnswerGrew(const QString& textSoFar, bool thinking);
    void LiveAnswerRetrying(int seconds);
    void LiveAnswerEnded(const AnswerEnd& end);
    void ShowUsage();
    std::shared_ptr<LiveAnswer> FLiveAnswer;
    LiveAnswerView* FLiveView = nullptr;
    // Set while an image request runs; setting it abandons the request.
    CancelFlag FImageCancel;
    // "Повтор через N с…" while a retry is awaited.
    QString FRetryNotice;
    // Only thoughts have come so far.
    bool FThinking = false;
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
    // After the popup menu: the selection goes back to the open chat's entry, when listed.
    void SelectOpenChatEntryIfListed();
    QListWidgetItem* FindNewChatEntry() const;
    void ShowCurrentChatInList();
    void NameNewChatEntry();

    AppFolders FFolders;
    WindowMemory FMemory;
    ChatLibrary FChats;
    Dialogs& FDialogs;
    TGeminiDM& FGeminiDM;
    QLabel* FStatusText = nullptr;
    ChatPage* FChatPage = nullptr;

    bool FBaseHtmlLoaded = false;
    bool FWelcomeShown = false;
    // Counts the chats shown on the page; older parts of an earlier one are dropped.
    int FPageRendering = 0;
    // Rebuilt after a render process death and nothing appended since.
    bool FChatPageRebuilt = false;
    bool FIsLoading = false;
    bool FFormShown = false;
    int FSecondsElapsed = 0;
    QStringList FAttachedFiles;
    SentRequest FRunningRequest;
    // The token of the failure block whose request can be sent again, and that request.
    QString FRetryToken;
    SentRequest FFailedRequest;
    // The token of the last answer's "Продолжить" link, and the request it answered.
    QString FContinueToken;
    SentRequest FContinueRequest;

    void ReportExport(const QString& path, const Expected<void>& written);

    void ConnectSearchHandlers();
    void SearchChats();
    void RestoreFullChatList();

    // Reads settings.ini, says once when it is damaged, and hands the settings to requests.
    void LoadServiceSettings();
    SettingsFile FSettings{FFolders.inWorkingDir(QStringLiteral("settings.ini"))};
};
