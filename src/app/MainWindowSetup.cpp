// Builds the window: the chat list, the chat page over the send panel, the status bar;
// and joins the panels' and the request session's signals to the window.
#include "app/MainWindow.h"

#include "app/AttachmentsPanel.h"
#include "app/ChatListPanel.h"
#include "app/ChatView.h"
#include "app/Controls.h"
#include "app/Dialogs.h"
#include "app/FileDrop.h"
#include "app/KeyModelPanel.h"
#include "app/LiveAnswerView.h"
#include "app/MessageActions.h"
#include "app/SendPanel.h"
#include "app/WindowPlacement.h"
#include "chat/GeminiDM.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QIcon>
#include <QShortcut>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {

using namespace Qt::StringLiterals;

constexpr QSize kDesignSize(1089, 799);
constexpr QSize kMinimumSize(760, 520);
constexpr int kLeftColumnWidth = 177;

constexpr char16_t kShortcutList[] = u"Сочетания клавиш:\n"
                                    u"Ctrl+Enter — отправить\n"
                                    u"Esc — остановить ответ или отменить изменение вопроса\n"
                                    u"Ctrl+N — новый чат\n"
                                    u"Ctrl+F — поиск по чатам\n"
                                    u"Ctrl+L — к полю запроса\n"
                                    u"Ctrl+O — прикрепить файлы\n"
                                    u"↑ в пустом поле запроса — изменить последний вопрос\n"
                                    u"Ctrl+Tab — символ табуляции в запросе\n"
                                    u"Ctrl+Shift+C — скопировать последний ответ";

// The controls Tab goes through, by object name, in the order it takes them.
constexpr const char* kTabOrder[] = {
    "Edit1",       "btnNewChat",     "ListBox2", "WebBrowser1",        "DownBut",
    "memoPrompt",  "btnAddFile1",    "btnClearFiles1", "ListBox1",     "cbModels",
    "chkEnableWebSearch", "btnSend", "editApiKey", "showKeyButton", "btnChatParameters",
    "btnShortcuts", "btnSettings"};

// Reading order: the chat list, the page, then the panel under it row by row.
void applyTabOrder(QWidget& window) {
    QWidget* previous = nullptr;
    for (const char* name : kTabOrder) {
        auto* next = window.findChild<QWidget*>(QLatin1StringView(name));
        // The web view takes keys through a widget of the engine's.
        if (next && next->focusProxy())
            next = next->focusProxy();
        if (previous && next)
            QWidget::setTabOrder(previous, next);
        if (next)
            previous = next;
    }
}

// The size, place and splitter of the last run, or the design size in the middle of
// the screen.
void restoreWindowLayout(QWidget& window, QSplitter& splitter, const WindowMemory& memory) {
    if (!memory.Geometry().isEmpty() && window.restoreGeometry(memory.Geometry())) {
        splitter.restoreState(memory.SplitterState());
        return;
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        window.resize(kDesignSize);
        return;
    }
    window.setGeometry(
        FirstWindowGeometry(screen->availableGeometry(), kDesignSize, window.minimumSize()));
}

} // namespace

void TForm1::CreateComponents() {
    UpdateWindowTitle();
    setWindowIcon(QIcon(u":/app/icon.svg"_s));
    setFont(QFont(QStringLiteral("Segoe UI"), 9));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Base));
    setPalette(palette);
    m_session = new RequestSession(FGeminiDM, this);

    Splitter1 = named(new QSplitter(Qt::Horizontal, this), "Splitter1");
    Splitter1->setChildrenCollapsible(false);
    setCentralWidget(Splitter1);
    m_chatList = new ChatListPanel(FChats, FDialogs, Splitter1);
    Splitter1->addWidget(m_chatList);

    // The chat page over the panel the next question is written in.
    Panel5 = named(new QWidget(Splitter1), "Panel5");
    m_view = new ChatView(FGeminiDM, Panel5);
    m_sendPanel = new SendPanel(FFolders, FDialogs, Panel5);
    auto* layout = new QVBoxLayout(Panel5);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_sendPanel, 0);
    Splitter1->addWidget(Panel5);
    Splitter1->setSizes({kLeftColumnWidth, kDesignSize.width() - kLeftColumnWidth});
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);

    statusBar = named(new QStatusBar(this), "statusBar");
    statusBar->setSizeGripEnabled(false);
    FStatusText = named(new QLabel(statusBar), "statusText");
    statusBar->addWidget(FStatusText, 1);
    // The settings sit at the right end of the status bar: always in view, and clear of
    // the controls under the chat page.
    btnSettings = named(new QPushButton(QStringLiteral("Настройки"), statusBar), "btnSettings");
    btnSettings->setToolTip(
        QStringLiteral("Адрес сервиса, прокси, время ожидания и список моделей"));
    btnSettings->setFlat(true);
    // The keys the window answers to, one click away.
    btnShortcuts = named(new QPushButton(u"?"_s, statusBar), "btnShortcuts");
    btnShortcuts->setToolTip(u"Сочетания клавиш"_s);
    btnShortcuts->setAccessibleName(u"Сочетания клавиш"_s);
    btnShortcuts->setFlat(true);
    btnShortcuts->setFixedWidth(btnShortcuts->fontMetrics().horizontalAdvance(u"?"_s) * 4);
    statusBar->addPermanentWidget(btnShortcuts);
    statusBar->addPermanentWidget(btnSettings);
    setStatusBar(statusBar);

    m_actions = new MessageActions(FGeminiDM, *m_session, *m_view, *m_sendPanel, FDialogs,
                                   [this] { return SaveCurrentChat(); }, this);

    // Files dropped anywhere on the window are attached.
    new FileDropTarget(this, [this](const QStringList& files) {
        Guarded(FDialogs, [&] { m_sendPanel->Attachments().AddFiles(files); });
    });

    ConnectPanels();
    CreateShortcuts();
    setMinimumSize(kMinimumSize);
    restoreWindowLayout(*this, *Splitter1, FMemory);
}

// What the panels ask for, what the page's links say and how the request goes.
void TForm1::ConnectPanels() {
    ConnectGuarded(m_chatList, &ChatListPanel::NewChatRequested, &TForm1::btnNewChatClick);
    ConnectGuarded(m_chatList, &ChatListPanel::ChatPicked, &TForm1::OpenPickedChat);
    ConnectGuarded(m_chatList, &ChatListPanel::DeleteChatRequested, &TForm1::DeleteChat);
    ConnectGuarded(m_chatList, &ChatListPanel::DeleteAllRequested, &TForm1::DeleteAllChats);
    ConnectGuarded(m_chatList, &ChatListPanel::ExportRequested, &TForm1::ExportChat);
    ConnectGuarded(m_chatList, &ChatListPanel::RenameRequested,
                   [this](const QString& path, const QString& title) {
                       RelabelChat(path, [&](ChatLabel& label) { label.Title = title; });
                   });
    ConnectGuarded(m_chatList, &ChatListPanel::PinRequested, [this](const QString& path, bool pinned) {
        RelabelChat(path, [&](ChatLabel& label) { label.Pinned = pinned; });
    });
    ConnectGuarded(m_chatList, &ChatListPanel::StatusMessage, &TForm1::SetStatusText);

    ConnectGuarded(m_sendPanel, &SendPanel::SendClicked, &TForm1::btnSendClick);
    ConnectGuarded(m_sendPanel, &SendPanel::StopRequested, &TForm1::StopRequest);
    ConnectGuarded(m_sendPanel, &SendPanel::PromptEdited, [this] {
        UpdateContextTokens();
        // What the status said of the last request is old news once the next is written.
        if (!RequestRunning())
            SetStatusText(QString());
    });
    ConnectGuarded(m_sendPanel, &SendPanel::ParametersClicked, &TForm1::ChatParametersClick);
    ConnectGuarded(m_sendPanel, &SendPanel::Ticked, [this] {
        m_session->Tick();
        m_sendPanel->ShowElapsed(m_session->Seconds());
    });
    ConnectGuarded(&m_sendPanel->Attachments(), &AttachmentsPanel::FilesChanged,
                   &TForm1::UpdateContextTokens);
    KeyModelPanel* keyModel = &m_sendPanel->KeyModel();
    ConnectGuarded(keyModel, &KeyModelPanel::RefreshModelsRequested, &TForm1::RefreshModelsClick);
    ConnectGuarded(keyModel, &KeyModelPanel::StatusMessage, &TForm1::SetStatusText);
    ConnectGuarded(btnSettings, &QPushButton::clicked, &TForm1::btnSettingsClick);
    ConnectGuarded(btnShortcuts, &QPushButton::clicked,
                   [this] { FDialogs.ShowMessage(QString::fromUtf16(kShortcutList)); });

    ConnectGuarded(m_view, &ChatView::RetryRequested, &TForm1::RetryFailedRequest);
    ConnectGuarded(m_view, &ChatView::ContinueRequested, &TForm1::ContinueAnswer);
    ConnectGuarded(m_view, &ChatView::StatusMessage, &TForm1::SetStatusText);
    ConnectGuarded(m_view, &ChatView::MessageActionRequested,
                   [this](MessageAction action, qsizetype index) { m_actions->Run(action, index); });
    ConnectGuarded(m_view, &ChatView::PictureSaveRequested, &TForm1::SavePicture);
    ConnectGuarded(m_actions, &MessageActions::StatusMessage, &TForm1::SetStatusText);
    // A new answer to the last question: the question is shown again and sent as it was.
    ConnectGuarded(m_actions, &MessageActions::SendRequested,
                   [this](const SentRequest& request, const QStringList& names) {
                       ForgetLastRequestLinks();
                       m_view->AddUserMessage(request.Prompt, names);
                       BeginRequest(request);
                   });

    ConnectGuarded(m_session, &RequestSession::LiveStarted, [this](const QString& status) {
        m_view->LoadBaseHtml();
        m_view->LiveView().Begin(status);
    });
    // An answer into a chat that is not shown goes on where the page cannot see it.
    ConnectGuarded(m_session, &RequestSession::LiveTextChanged, [this](const QString& text) {
        if (!RunningChatShown())
            return;
        m_view->LiveView().SetText(text);
        SetStatusText(u"Получение ответа…"_s);
    });
    ConnectGuarded(m_session, &RequestSession::LiveStatusChanged, [this](const QString& status) {
        if (RunningChatShown())
            m_view->LiveView().SetStatus(status);
    });
    ConnectGuarded(m_session, &RequestSession::Ended, &TForm1::RequestEnded);

}

// The window's keys, from wherever focus is, and the order Tab takes through the controls.
void TForm1::CreateShortcuts() {
    const auto shortcut = [this](const char* name, const QKeySequence& keys) {
        auto* created = new QShortcut(keys, this);
        created->setObjectName(QLatin1StringView(name));
        return created;
    };
    // Escape stops the running answer, or else ends an edit of a question.
    ConnectGuarded(shortcut("stopShortcut", Qt::Key_Escape), &QShortcut::activated, [this] {
        if (RequestRunning())
            StopRequest();
        else
            m_actions->CancelEdit();
    });
    ConnectGuarded(shortcut("newChatShortcut", QKeySequence::New), &QShortcut::activated, [this] {
        if (!RequestRunning())
            btnNewChatClick();
    });
    ConnectGuarded(shortcut("searchShortcut", QKeySequence::Find), &QShortcut::activated,
                   [this] { m_chatList->FocusSearch(); });
    ConnectGuarded(shortcut("promptShortcut", u"Ctrl+L"_s), &QShortcut::activated,
                   [this] { m_sendPanel->FocusPrompt(); });
    ConnectGuarded(shortcut("attachShortcut", QKeySequence::Open), &QShortcut::activated,
                   [this] { m_sendPanel->Attachments().btnAddFile1Click(); });
    // The last answer's Markdown.
    ConnectGuarded(shortcut("copyLastAnswer", u"Ctrl+Shift+C"_s), &QShortcut::activated, [this] {
        const TChatHistory& history = FGeminiDM.ChatHistory();
        for (auto item = history.crbegin(); item != history.crend(); ++item) {
            if (item->Role == u"model" && !AnswerText(item->Parts).isEmpty()) {
                QGuiApplication::clipboard()->setText(AnswerText(item->Parts));
                SetStatusText(u"Ответ скопирован"_s);
                return;
            }
        }
        SetStatusText(u"В чате ещё нет ответа"_s);
    });

    applyTabOrder(*this);
    ConnectGuarded(m_view, &ChatView::PageWidgetChanged, [this] { applyTabOrder(*this); });
}

void TForm1::RememberWindow() {
    FMemory.SetLayout(saveGeometry(), Splitter1->saveState());
    FMemory.RememberChoice(m_sendPanel->KeyModel().ApiKey(), m_sendPanel->KeyModel().ModelName());
    // Losing the window's place is not worth holding up the close with a message.
    static_cast<void>(FMemory.Save());
}
