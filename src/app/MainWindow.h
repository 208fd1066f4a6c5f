#pragma once

#include "app/Guarded.h"
#include "store/AppFolders.h"
#include "chat/ChatLibrary.h"
#include "conversation/ConversationModel.h"
#include "text/Expected.h"
#include "store/FileRemover.h"
#include "service/RequestTypes.h"
#include "service/SettingsFile.h"
#include "store/WindowMemory.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

class QCheckBox;
class QLabel;
class QKeyEvent;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTimer;
class QWidget;
class AttachmentsPanel;
class ChatListPanel;
class ChatView;
class Dialogs;
class KeyModelPanel;
class LiveAnswer;
class PromptEdit;
class TGeminiDM;
struct AnswerEnd;

// The main window: the chat list, the chat page, the prompt with its attachments, key
// and model, joined to the conversation and the chat library. Its controls keep their
// designer names.
class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    // The data module is the one of the whole run: created before the window, gone after it.
    TForm1(const AppFolders& folders, Dialogs& dialogs, TGeminiDM& geminiDM,
           QWidget* parent = nullptr);
    ~TForm1() override;

    const AppFolders& Folders() const { return FFolders; }

    void UpdateContextTokens();

    // The single text of the status bar.
    void SetStatusText(const QString& text);
    QString StatusText() const;

    // Connects a signal to a member function of the window or a callable, through
    // Guarded (Guarded.h): every connection of the window goes here.
    template <class Sender, class Signal, class Handler>
    void ConnectGuarded(Sender* sender, Signal signal, Handler handler) {
        if constexpr (std::is_member_function_pointer_v<Handler>)
            ::ConnectGuarded(sender, signal, this, FDialogs, std::bind_front(handler, this));
        else
            ::ConnectGuarded(sender, signal, this, FDialogs, handler);
    }

    // The conversation's page, the chat list, the attachments and the key and model boxes
    // are widgets of their own; the window joins their signals to the conversation.
    ChatView& View() { return *m_view; }
    // An empty page, prompt and attachments for the conversation that comes next.
    void ResetChatView();

    // Send flow: MainWindowSend.cpp
    void btnSendClick();
    void ImageRequestDone(const RequestOutcome& result);
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
    Expected<void> LoadChatList();
    // Saves the current chat when it has moved on, and shows where it now lives.
    ChatSave SaveCurrentChat();
    void OpenChat(const QString& path);
    void btnNewChatClick();
    const QString& CurrentChatFile() const { return FChats.CurrentFile(); }
    void DeleteAllChats();
    // Deleting chats goes through this; tests put in one that refuses.
    void SetFileRemover(FileRemover& remover) { FChats.SetFileRemover(remover); }

    // The files sent with the next prompt.
    const QStringList& AttachedFiles() const;
    void SetAttachedFiles(const QStringList& paths);

    // Connection settings and the service's model list: MainWindowSettings.cpp
    // The address given on the command line: it wins over the settings file for this run.
    void SetBaseUrlOverride(const QString& address) { FSettings.SetBaseUrlOverride(address); }
    void btnSettingsClick();
    // "Обновить список моделей" in the model box's menu.
    void RefreshModelsClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The controls, by their designer names; tests find them by object name.
    QSplitter* Splitter1 = nullptr;
    ChatListPanel* m_chatList = nullptr;
    QWidget* Panel5 = nullptr;
    ChatView* m_view = nullptr;

    // Bottom panel.
    QWidget* Panel2 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* ContextChatTokensLabel = nullptr;
    // The service's own token counts for the last answer, beside the estimate.
    QLabel* UsageLabel = nullptr;
    PromptEdit* memoPrompt = nullptr;
    QWidget* Panel3 = nullptr;
    KeyModelPanel* m_keyModel = nullptr;
    QCheckBox* chkEnableWebSearch = nullptr;
    QPushButton* btnSend = nullptr;
    QLabel* TimeoutLabel = nullptr;
    AttachmentsPanel* m_attachments = nullptr;
    QPushButton* DownBut = nullptr;

    QStatusBar* statusBar = nullptr;
    QLabel* FStatusText = nullptr;
    QPushButton* btnSettings = nullptr;
    QTimer* Timer1 = nullptr;

    void CreateComponents();
    void CreateChatArea();
    void CreateBottomPanel();
    void CreateSendControls();
    void CreateSettingsEntry();
    void ConnectPanels();
    void RestoreWindowLayout();
    void RememberWindow();

    void FormCreate();
    void FormShow();
    // False when the window stays open.
    bool FormClose();

    // CountLabel: today's requests for the key and the model shown.
    void ShowTodayRequestCount();
    // Counts each request that reached the service for its key and model.
    void CountRequestsSent();

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
    void ShowFailedRequest(const RequestOutcome& outcome, bool stopped = false);
    // The "Повторить" and "Продолжить" links lose their use once another request goes.
    void ForgetLastRequestLinks();
    // The busy state, then the request.
    void BeginRequest(const SentRequest& request);
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
    // Set while an image request runs; setting it abandons the request.
    CancelFlag FImageCancel;
    // "Повтор через N с…" while a retry is awaited.
    QString FRetryNotice;
    // Only thoughts have come so far.
    bool FThinking = false;
    std::optional<TokenUsage> FLastUsage;

    // Empties the conversation, the page and the current chat file, without saving first.
    void StartNewChatInPlace(const QString& status);
    // Saves the current chat before another takes its place. When that fails the user
    // chooses: go on without saving (true) or stay (false).
    bool LeaveCurrentChat();
    // A chat picked in the list takes the current one's place.
    void OpenPickedChat(const QString& path);
    void DeleteChat(const QString& path);
    // Export of a chat from the list's menu (MainWindowExport.cpp); an empty path is the
    // open new chat.
    void ExportChat(const QString& path, const QString& title);
    void ReportExport(const QString& path, const Expected<void>& written);

    AppFolders FFolders;
    WindowMemory FMemory;
    ChatLibrary FChats;
    Dialogs& FDialogs;
    TGeminiDM& FGeminiDM;

    bool FFormShown = false;
    int FSecondsElapsed = 0;
    SentRequest FRunningRequest;
    // The token of the failure block whose request can be sent again, and that request.
    QString FRetryToken;
    SentRequest FFailedRequest;
    // The token of the last answer's "Продолжить" link, and the request it answered.
    QString FContinueToken;
    SentRequest FContinueRequest;

    // Reads settings.ini, says once when it is damaged, and hands the settings to requests.
    void LoadServiceSettings();
    SettingsFile FSettings{FFolders.inWorkingDir(QStringLiteral("settings.ini"))};
};
