// Builds the window's components: names, captions, hints, panels and layout, and joins
// the panels' signals to the window.
#include "app/MainWindow.h"

#include "app/AttachmentsPanel.h"
#include "app/ChatListPanel.h"
#include "app/ChatView.h"
#include "app/Controls.h"
#include "app/KeyModelPanel.h"
#include "app/PromptEdit.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr QSize kDesignSize(1089, 799);
constexpr QSize kMinimumSize(760, 520);
constexpr int kLeftColumnWidth = 177;
constexpr int kBottomPanelHeight = 156;
constexpr QSize kPromptMinimumSize(160, 60);

} // namespace

void TForm1::CreateComponents() {
    setWindowTitle(QStringLiteral("Tovik-L"));
    setFont(QFont(QStringLiteral("Segoe UI"), 9));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Base));
    setPalette(palette);

    Splitter1 = named(new QSplitter(Qt::Horizontal, this), "Splitter1");
    Splitter1->setChildrenCollapsible(false);
    setCentralWidget(Splitter1);
    m_chatList = new ChatListPanel(FChats, FDialogs, Splitter1);
    Splitter1->addWidget(m_chatList);
    CreateChatArea();
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);

    statusBar = named(new QStatusBar(this), "statusBar");
    statusBar->setSizeGripEnabled(false);
    FStatusText = named(new QLabel(statusBar), "statusText");
    statusBar->addWidget(FStatusText, 1);
    setStatusBar(statusBar);

    Timer1 = named(new QTimer(this), "Timer1");
    ConnectGuarded(Timer1, &QTimer::timeout, &TForm1::Timer1Timer);
    CreateSettingsEntry();
    ConnectPanels();
    setMinimumSize(kMinimumSize);
    RestoreWindowLayout();
}

// The size, place and splitter of the last run, or the design size in the middle of
// the screen.
void TForm1::RestoreWindowLayout() {
    if (!FMemory.Geometry().isEmpty() && restoreGeometry(FMemory.Geometry())) {
        Splitter1->restoreState(FMemory.SplitterState());
        return;
    }
    resize(kDesignSize);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TForm1::RememberWindow() {
    FMemory.SetLayout(saveGeometry(), Splitter1->saveState());
    FMemory.RememberChoice(m_keyModel->ApiKey(), m_keyModel->ModelName());
    // Losing the window's place is not worth holding up the close with a message.
    static_cast<void>(FMemory.Save());
}

void TForm1::CreateChatArea() {
    Panel5 = named(new QWidget(Splitter1), "Panel5");
    m_view = new ChatView(FGeminiDM, Panel5);
    CreateBottomPanel();
    auto* layout = new QVBoxLayout(Panel5);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_view, 1);
    layout->addWidget(Panel2, 0);
    Splitter1->addWidget(Panel5);
    Splitter1->setSizes({kLeftColumnWidth, kDesignSize.width() - kLeftColumnWidth});
}

void TForm1::CreateBottomPanel() {
    Panel2 = whitePanel("Panel2", Panel5);
    Label4 = label("Label4", QStringLiteral("Контекст"), Panel2);
    Label5 = label("Label5", QStringLiteral("токенов~"), Panel2);
    ContextChatTokensLabel = label("ContextChatTokensLabel", QStringLiteral("0"), Panel2);
    // Room for the largest estimates, so the panel does not shift as they grow.
    reserveWidth(ContextChatTokensLabel, QStringLiteral("0000000"));
    // The service's own counts of the last answer, under the estimate; room for all five
    // lines from the start, so the panel does not grow when they come.
    UsageLabel = label("UsageLabel", QString(), Panel2);
    UsageLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    UsageLabel->setMinimumHeight(UsageLabel->fontMetrics().lineSpacing() * 5);
    reserveWidth(UsageLabel, QStringLiteral("запрос 0000000"));

    memoPrompt = named(new PromptEdit(Panel2), "memoPrompt");
    ConnectGuarded(memoPrompt, &PromptEdit::KeyHandled, &TForm1::UpdateContextTokens);
    memoPrompt->OnKeyDown = [this](const QKeyEvent* event) { return memoPromptKeyDown(event); };
    memoPrompt->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memoPrompt->setToolTip(QStringLiteral("Ctrl+Enter (Отправить)"));
    memoPrompt->setPlaceholderText(QStringLiteral("Ctrl+Enter — отправить"));
    memoPrompt->setMinimumSize(kPromptMinimumSize);
    memoPrompt->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);

    Panel3 = named(new QWidget(Panel2), "Panel3");
    CreateSendControls();
    m_attachments = new AttachmentsPanel(FDialogs, Panel2);

    DownBut = button("DownBut", QString::fromUtf16(u"\U0001F447"), Panel2);
    DownBut->setFixedSize(30, 30);
    DownBut->setToolTip(QStringLiteral("К концу чата"));
    ConnectGuarded(DownBut, &QPushButton::clicked, [this] { m_view->ScrollChatToBottom(); });

    // The estimate under its caption keeps the column narrow for the control row.
    auto* context = new QVBoxLayout;
    context->setSpacing(2);
    context->addWidget(Label4);
    context->addWidget(Label5);
    context->addWidget(ContextChatTokensLabel);
    context->addWidget(UsageLabel);
    context->addStretch(1);

    // The prompt box takes what the width allows, the attachments beside it a third; the
    // control rows under both keep every control whole down to the smallest window.
    auto* layout = new QGridLayout(Panel2);
    layout->setContentsMargins(8, 4, 6, 4);
    layout->setHorizontalSpacing(8);
    layout->setVerticalSpacing(4);
    layout->addLayout(context, 0, 0, 2, 1);
    layout->addWidget(memoPrompt, 0, 1);
    layout->addWidget(Panel3, 1, 1, 1, 2);
    layout->addWidget(m_attachments, 0, 2);
    layout->addWidget(DownBut, 0, 3, 2, 1, Qt::AlignTop);
    layout->setColumnStretch(1, 3);
    layout->setColumnStretch(2, 1);
    layout->setRowStretch(0, 1);
    // The design's height, or more where a larger font needs it.
    Panel2->setFixedHeight(qMax(kBottomPanelHeight, layout->minimumSize().height()));
}

// The key and model boxes, then web search, Send and the time a request has run.
void TForm1::CreateSendControls() {
    m_keyModel = new KeyModelPanel(FFolders, FDialogs, Panel3);
    chkEnableWebSearch = named(new QCheckBox(QStringLiteral("Веб"), Panel3), "chkEnableWebSearch");
    chkEnableWebSearch->setToolTip(QStringLiteral("Поиск в Интернете"));
    btnSend = button("btnSend", QStringLiteral("Отправить"), Panel3);
    btnSend->setToolTip(QStringLiteral("Ctrl+Enter"));
    ConnectGuarded(btnSend, &QPushButton::clicked, &TForm1::btnSendClick);
    // The next question is typed where the last one was.
    connect(btnSend, &QPushButton::clicked, memoPrompt, [this] { memoPrompt->setFocus(); });
    TimeoutLabel = label("TimeoutLabel", QStringLiteral("00:00"), Panel3);
    TimeoutLabel->hide();

    auto* layout = new QGridLayout(Panel3);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(6);
    layout->setVerticalSpacing(4);
    layout->addWidget(m_keyModel, 0, 0, 2, 1);
    layout->addWidget(chkEnableWebSearch, 0, 1);
    layout->addWidget(btnSend, 0, 2);
    layout->addWidget(TimeoutLabel, 1, 2);
    layout->setColumnStretch(0, 1);
}

// What the panels ask for, and what the conversation's page says.
void TForm1::ConnectPanels() {
    ConnectGuarded(m_chatList, &ChatListPanel::NewChatRequested, &TForm1::btnNewChatClick);
    ConnectGuarded(m_chatList, &ChatListPanel::ChatPicked, &TForm1::OpenPickedChat);
    ConnectGuarded(m_chatList, &ChatListPanel::DeleteChatRequested, &TForm1::DeleteChat);
    ConnectGuarded(m_chatList, &ChatListPanel::DeleteAllRequested, &TForm1::DeleteAllChats);
    ConnectGuarded(m_chatList, &ChatListPanel::ExportRequested, &TForm1::ExportChat);
    ConnectGuarded(m_chatList, &ChatListPanel::StatusMessage, &TForm1::SetStatusText);
    ConnectGuarded(m_attachments, &AttachmentsPanel::FilesChanged, &TForm1::UpdateContextTokens);
    ConnectGuarded(m_keyModel, &KeyModelPanel::ChoiceChanged, &TForm1::ShowTodayRequestCount);
    ConnectGuarded(m_keyModel, &KeyModelPanel::RefreshModelsRequested, &TForm1::RefreshModelsClick);
    ConnectGuarded(m_keyModel, &KeyModelPanel::StatusMessage, &TForm1::SetStatusText);
    ConnectGuarded(m_view, &ChatView::RetryRequested, &TForm1::RetryFailedRequest);
    ConnectGuarded(m_view, &ChatView::ContinueRequested, &TForm1::ContinueAnswer);
    ConnectGuarded(m_view, &ChatView::StatusMessage, &TForm1::SetStatusText);
}
