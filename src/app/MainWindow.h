#pragma once

#include "app/Guarded.h"
#include "chat/ChatLibrary.h"
#include "chat/RequestSession.h"
#include "service/SettingsFile.h"
#include "store/AppFolders.h"
#include "store/FileRemover.h"
#include "store/WindowMemory.h"
#include "text/Expected.h"

#include <QMainWindow>

#include <functional>
#include <type_traits>

class QLabel;
class QPushButton;
class QSplitter;
class QStatusBar;
class ChatListPanel;
class ChatView;
class Dialogs;
class MessageActions;
class SendPanel;
class TGeminiDM;

// The main window: the chat list, the chat page and the panel under it, joined to the
// conversation, the chat library and the request session. Each panel owns its controls
// and says by signals what the user asks for; the window asks the core and shows the
// result. The controls keep their designer names.
class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    // The data module is the one of the whole run: created before the window, gone after it.
    TForm1(const AppFolders& folders, Dialogs& dialogs, TGeminiDM& geminiDM,
           QWidget* parent = nullptr);
    ~TForm1() override;

    const AppFolders& Folders() const { return FFolders; }
    ChatView& View() { return *m_view; }

    // The single text of the status bar.
    void SetStatusText(const QString& text);
    QString StatusText() const;
    // The data folder, shown in the window's title after the program's name.
    void ShowDataFolder(const QString& folder);

    // Connects a signal to a member function of the window or a callable, through
    // Guarded (Guarded.h): every connection of the window goes here.
    template <class Sender, class Signal, class Handler>
    void ConnectGuarded(Sender* sender, Signal signal, Handler handler) {
        if constexpr (std::is_member_function_pointer_v<Handler>)
            ::ConnectGuarded(sender, signal, this, FDialogs, std::bind_front(handler, this));
        else
            ::ConnectGuarded(sender, signal, this, FDialogs, handler);
    }

    // The estimate of the conversation and the prompt with its files, in tokens.
    void UpdateContextTokens();
    // An empty page, prompt and attachments for the conversation that comes next.
    void ResetChatView();

    // Send flow: MainWindowSend.cpp
    void btnSendClick();
    bool RequestRunning() const { return m_session->Running(); }
    // Whether the chat shown is the one the running request answers into.
    bool RunningChatShown() const;
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

    // Connection settings and the service's model list: MainWindowSettings.cpp
    // The address given on the command line: it wins over the settings file for this run.
    void SetBaseUrlOverride(const QString& address) { FSettings.SetBaseUrlOverride(address); }
    void btnSettingsClick();
    // "Обновить список моделей" in the model box's menu.
    void RefreshModelsClick();
    // "Параметры": the open chat's parameters, saved with it.
    void ChatParametersClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Building the window and joining the panels: MainWindowSetup.cpp
    void CreateComponents();
    void ConnectPanels();
    void CreateShortcuts();
    void RememberWindow();

    void FormCreate();
    void FormShow();
    // False when the window stays open.
    bool FormClose();

    // Send flow: MainWindowSend.cpp
    // Reads the attached files off the user-interface thread, then sends.
    void SendTextRequest(const SentRequest& request);
    // The busy state, then the request.
    void BeginRequest(const SentRequest& request);
    void StartRequest(const SentRequest& request);
    void RequestEnded(const RequestEnd& end);
    // The answer of a chat that is not shown: saved into its own file, the page untouched.
    void RequestEndedElsewhere(const RequestEnd& end);
    // The "Повторить" link of the last failure block: sends the failed request again.
    void RetryFailedRequest(const QString& token);
    // The "Продолжить" link of the last answer: asks the model to go on where it stopped.
    void ContinueAnswer(const QString& token);
    // The "Повторить" and "Продолжить" links lose their use once another request goes.
    void ForgetLastRequestLinks();
    void EnterBusyState();
    void EndBusyState();
    // Saves the chat and leaves the busy state. A save that fails is reported once the
    // window is usable again, so the answer never leaves it stuck.
    void FinishRequest();

    // Chat library: MainWindowChats.cpp
    // Empties the conversation, the page and the current chat file, without saving first.
    void StartNewChatInPlace(const QString& status);
    // Saves the current chat before another takes its place. When that fails the user
    // chooses: go on without saving (true) or stay (false).
    bool LeaveCurrentChat();
    // False, and says so, while a question's files are still read for sending: its chat
    // must stay shown until the request goes.
    bool ChatMayChange();
    // A chat picked in the list takes the current one's place.
    void OpenPickedChat(const QString& path);
    // The chat the running request answers into stays with it while another is shown.
    void ParkRunningChat();
    // The chat the running request answers into, shown again with its answer so far.
    void ShowRunningChat();
    // Deleting a chat an answer is still coming into stops it first, when the user agrees.
    bool StopAnswerBeforeDeleting(const QString& question);
    void DeleteChat(const QString& path);
    // The list's "Переименовать…" and "Закрепить"/"Открепить".
    void RelabelChat(const QString& path, const std::function<void(ChatLabel&)>& change);
    // "<chat> — Tovik-L — <data folder>": the open chat's name (none for a new chat
    // without a title) and the data folder when it is shown.
    void UpdateWindowTitle();
    // Export of a chat from the list's menu (MainWindowExport.cpp); an empty path is the
    // open new chat.
    void ExportChat(const QString& path, const QString& title);
    // The save link of a picture too large for the page: to a file the user picks.
    void SavePicture(const QString& key);

    // Reads settings.ini, says once when it is damaged, and hands the settings to requests.
    void LoadServiceSettings();

    AppFolders FFolders;
    WindowMemory FMemory;
    ChatLibrary FChats;
    Dialogs& FDialogs;
    TGeminiDM& FGeminiDM;
    SettingsFile FSettings{FFolders.inWorkingDir(QStringLiteral("settings.ini"))};
    RequestSession* m_session = nullptr;
    MessageActions* m_actions = nullptr;
    bool FFormShown = false;
    // The files of a question are being read: the question is on the page, its request
    // not yet sent, and the chat shown must stay until it is.
    bool m_readingFiles = false;
    QString m_dataFolder;

    // The controls, by their designer names; tests find them by object name.
    QSplitter* Splitter1 = nullptr;
    ChatListPanel* m_chatList = nullptr;
    QWidget* Panel5 = nullptr;
    ChatView* m_view = nullptr;
    SendPanel* m_sendPanel = nullptr;
    QStatusBar* statusBar = nullptr;
    QLabel* FStatusText = nullptr;
    QPushButton* btnShortcuts = nullptr;
    QPushButton* btnSettings = nullptr;
};
