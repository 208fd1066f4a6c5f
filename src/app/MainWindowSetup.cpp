// Builds the window's components: names, captions, hints, items, menus and layout.
#include "app/MainWindow.h"

#include "app/ChatPage.h"
#include "app/PromptEdit.h"
#include "app/RightClickKeepsSelection.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineView>

namespace {

constexpr QSize kDesignSize(1089, 799);
constexpr QSize kMinimumSize(760, 520);
constexpr int kLeftColumnWidth = 177;
constexpr int kLeftColumnMinimumWidth = 140;
constexpr int kBottomPanelHeight = 156;
constexpr int kChatListItemHeight = 21;
constexpr QSize kPromptMinimumSize(160, 60);
constexpr int kAttachmentListMinimumWidth = 90;
constexpr int kSmallButtonWidth = 28;
constexpr int kBoxMinimumCharacters = 8;

template <typename Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1StringView(name));
    return widget;
}

// White on a light desktop; on a dark one the panels stay dark like the page.
QWidget* whitePanel(const char* name, QWidget* parent) {
    QWidget* panel = named(new QWidget(parent), name);
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Base));
    panel->setPalette(palette);
    return panel;
}

QLabel* label(const char* name, const QString& caption, QWidget* parent) {
    QLabel* created = named(new QLabel(caption, parent), name);
    // A label is as wide as its text, never clipped by its neighbours.
    created->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    return created;
}

// A label whose text changes keeps the width of its widest text.
void reserveWidth(QLabel* label, const QString& widest) {
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(widest));
}

QPushButton* button(const char* name, const QString& caption, QWidget* parent) {
    return named(new QPushButton(caption, parent), name);
}

void setTextColour(QWidget* widget, QColor colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

QComboBox* editableCombo(const char* name, QWidget* parent) {
    QComboBox* combo = named(new QComboBox(parent), name);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert); // Enter saves through the list handlers
    // Long keys and model names scroll inside the box instead of widening the window.
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(kBoxMinimumCharacters);
    combo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return combo;
}

QAction* menuItem(QMenu* menu, const char* name, const QString& caption) {
    return named(menu->addAction(caption), name);
}

QAction* menuSeparator(QMenu* menu, const char* name) {
    return named(menu->addSeparator(), name);
}

void attachPopup(QWidget* widget, QMenu* menu) {
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(widget, &QWidget::customContextMenuRequested, menu,
                     [widget, menu](const QPoint& at) { menu->popup(widget->mapToGlobal(at)); });
}

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
    CreateLeftColumn();
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
    CreatePopupMenus();
    CreateSettingsEntry();
    ConnectListHandlers();
    ConnectSearchHandlers();
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
    FMemory.RememberChoice(editApiKey->currentText(), cbModels->currentText());
    // Losing the window's place is not worth holding up the close with a message.
    static_cast<void>(FMemory.Save());
}

void TForm1::CreateLeftColumn() {
    Panel4 = whitePanel("Panel4", Splitter1);
    Panel4->setMinimumWidth(kLeftColumnMinimumWidth);
    Edit1 = named(new QLineEdit(Panel4), "Edit1");
    Edit1->setPlaceholderText(QStringLiteral("Поиск по чатам"));
    Edit1->setAccessibleName(QStringLiteral("Поиск по чатам"));
    Edit1->setToolTip(QStringLiteral("Enter или пауза — искать, Esc — весь список"));
    Edit1->setClearButtonEnabled(true);
    btnNewChat = button("btnNewChat", QStringLiteral("+"), Panel4);
    btnNewChat->setToolTip(QStringLiteral("Новый Чат"));
    btnNewChat->setFixedWidth(kSmallButtonWidth);
    ListBox2 = named(new QListWidget(Panel4), "ListBox2");
    ListBox2->setUniformItemSizes(true);
    new RightClickKeepsSelection(ListBox2->viewport());
    ListBox2->setStyleSheet(
        QStringLiteral("QListWidget#ListBox2 { color: rgb(78,78,78); border: none; }"
                       "QListWidget#ListBox2::item { height: %1px; }")
            .arg(kChatListItemHeight));

    auto* layout = new QGridLayout(Panel4);
    layout->setContentsMargins(4, 4, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(Edit1, 0, 0);
    layout->addWidget(btnNewChat, 0, 1);
    layout->addWidget(ListBox2, 1, 0, 1, 2);

    ConnectGuarded(btnNewChat, &QPushButton::clicked, &TForm1::btnNewChatClick);
    // Code that changes the list sets FIsLoading, so only the user's picks act here.
    ConnectGuarded(ListBox2, &QListWidget::currentRowChanged, &TForm1::ListBox2Click);
    Splitter1->addWidget(Panel4);
}

void TForm1::CreateChatArea() {
    Panel5 = named(new QWidget(Splitter1), "Panel5");
    Panel1 = whitePanel("Panel1", Panel5);
    WebBrowser1 = named(new QWebEngineView(Panel1), "WebBrowser1");
    FChatPage = new ChatPage(WebBrowser1);
    ConnectGuarded(FChatPage, &ChatPage::RenderProcessGone, &TForm1::ChatPageRenderProcessGone);
    ConnectGuarded(FChatPage, &ChatPage::DocumentReplaced, &TForm1::RebuildChatPage);
    // The handlers that take what their signal carries.
    connect(FChatPage, &ChatPage::RetryRequested, this, [this](const QString& token) {
        Guarded([this, token] { RetryFailedRequest(token); });
    });
    connect(FChatPage, &ChatPage::ContinueRequested, this, [this](const QString& token) {
        Guarded([this, token] { ContinueAnswer(token); });
    });
    auto* browserLayout = new QVBoxLayout(Panel1);
    browserLayout->setContentsMargins(0, 0, 0, 0);
    browserLayout->addWidget(WebBrowser1);

    CreateBottomPanel();
    auto* layout = new QVBoxLayout(Panel5);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1, 1);
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
    CreateControlRow();

    ListBox1 = named(new QListWidget(Panel2), "ListBox1");
    ListBox1->setFrameShape(QFrame::NoFrame);
    ListBox1->setMinimumWidth(kAttachmentListMinimumWidth);
    ListBox1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);

    DownBut = button("DownBut", QString::fromUtf16(u"\U0001F447"), Panel2);
    DownBut->setFixedSize(30, 30);
    DownBut->setToolTip(QStringLiteral("К концу чата"));
    ConnectGuarded(DownBut, &QPushButton::clicked, &TForm1::DownButClick);

    // The estimate under its caption keeps the column narrow for the control row.
    auto* context = new QVBoxLayout;
    context->setSpacing(2);
    context->addWidget(Label4);
    context->addWidget(Label5);
    context->addWidget(ContextChatTokensLabel);
    context->addWidget(UsageLabel);
    context->addStretch(1);

    // The prompt box takes what the width allows, the attachment list beside it a third;
    // the control row under both keeps every control whole down to the smallest window.
    auto* layout = new QGridLayout(Panel2);
    layout->setContentsMargins(8, 4, 6, 4);
    layout->setHorizontalSpacing(8);
    layout->setVerticalSpacing(4);
    layout->addLayout(context, 0, 0, 2, 1);
    layout->addWidget(memoPrompt, 0, 1);
    layout->addWidget(Panel3, 1, 1, 1, 2);
    layout->addWidget(ListBox1, 0, 2);
    layout->addWidget(DownBut, 0, 3, 2, 1, Qt::AlignTop);
    layout->setColumnStretch(1, 3);
    layout->setColumnStretch(2, 1);
    layout->setRowStretch(0, 1);
    // The design's height, or more where a larger font needs it.
    Panel2->setFixedHeight(qMax(kBottomPanelHeight, layout->minimumSize().height()));
}

void TForm1::CreateControlRow() {
    btnAddFile1 = button("btnAddFile1", QStringLiteral("+"), Panel3);
    btnAddFile1->setFixedWidth(kSmallButtonWidth);
    lblFileLimits1 = label("lblFileLimits1", QStringLiteral("Файлы (0/16)"), Panel3);
    reserveWidth(lblFileLimits1, QStringLiteral("Файлы (16/16)"));
    btnClearFiles1 = button("btnClearFiles1", QStringLiteral("-"), Panel3);
    btnClearFiles1->setToolTip(QStringLiteral("Удалить всё"));
    btnClearFiles1->setFixedWidth(kSmallButtonWidth);
    ConnectGuarded(btnAddFile1, &QPushButton::clicked, &TForm1::btnAddFile1Click);
    ConnectGuarded(btnClearFiles1, &QPushButton::clicked, &TForm1::btnClearFiles1Click);

    Label1 = label("Label1", QStringLiteral("Модель:"), Panel3);
    cbModels = editableCombo("cbModels", Panel3);
    cbModels->addItems({QStringLiteral("gemini-2.5-pro"), QStringLiteral("gemini-2.5-flash"),
                        QStringLiteral("gemini-2.5-flash-lite")});
    cbModels->setToolTip(QStringLiteral("Enter — сохранить в списке"));
    cbModels->lineEdit()->setPlaceholderText(QStringLiteral("Имя модели"));
    chkEnableWebSearch = named(new QCheckBox(QStringLiteral("Веб"), Panel3), "chkEnableWebSearch");
    chkEnableWebSearch->setToolTip(QStringLiteral("Поиск в Интернете"));
    btnSend = button("btnSend", QStringLiteral("Отправить"), Panel3);
    btnSend->setToolTip(QStringLiteral("Ctrl+Enter"));
    ConnectGuarded(btnSend, &QPushButton::clicked, &TForm1::btnSendClick);
    // The next question is typed where the last one was.
    connect(btnSend, &QPushButton::clicked, memoPrompt, [this] { memoPrompt->setFocus(); });

    TimeoutLabel = label("TimeoutLabel", QStringLiteral("00:00"), Panel3);
    TimeoutLabel->hide();
    Label2 = label("Label2", QStringLiteral("Ключ:"), Panel3);
    editApiKey = editableCombo("editApiKey", Panel3);
    editApiKey->setToolTip(QStringLiteral("Enter — сохранить в списке"));
    editApiKey->lineEdit()->setPlaceholderText(QStringLiteral("Вставьте ключ API"));
    setTextColour(editApiKey, QColor(100, 113, 105));
    // It counts requests; nothing is refused at any number.
    Label3 = label("Label3", QStringLiteral("Сегодня:"), Panel3);
    Label3->setToolTip(QStringLiteral("Запросов сегодня с этим ключом и моделью"));
    CountLabel = label("CountLabel", QStringLiteral("0"), Panel3);
    CountLabel->setToolTip(Label3->toolTip());

    // Two rows as in the design; the boxes share what the width leaves.
    auto* layout = new QGridLayout(Panel3);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(6);
    layout->setVerticalSpacing(4);
    layout->addWidget(btnAddFile1, 0, 0);
    layout->addWidget(lblFileLimits1, 0, 1);
    layout->addWidget(btnClearFiles1, 0, 2);
    layout->addWidget(Label1, 0, 3);
    layout->addWidget(cbModels, 0, 4);
    layout->addWidget(chkEnableWebSearch, 0, 5);
    layout->addWidget(btnSend, 0, 6);
    layout->addWidget(TimeoutLabel, 1, 1);
    layout->addWidget(Label2, 1, 3);
    layout->addWidget(editApiKey, 1, 4);
    layout->addWidget(Label3, 1, 5);
    layout->addWidget(CountLabel, 1, 6);
    layout->setColumnStretch(4, 1);
}

void TForm1::CreatePopupMenus() {
    PopupMenu10 = named(new QMenu(this), "PopupMenu10");
    N1 = menuItem(PopupMenu10, "N1", QStringLiteral("Добавить Файлы"));
    N2 = menuSeparator(PopupMenu10, "N2");
    N3 = menuItem(PopupMenu10, "N3", QStringLiteral("Удалить Файл"));
    N4 = menuSeparator(PopupMenu10, "N4");
    N5 = menuItem(PopupMenu10, "N5", QStringLiteral("Удалить Все Файлы"));
    ConnectGuarded(N1, &QAction::triggered, &TForm1::N1Click);
    ConnectGuarded(N3, &QAction::triggered, &TForm1::N3Click);
    ConnectGuarded(N5, &QAction::triggered, &TForm1::N5Click);
    attachPopup(ListBox1, PopupMenu10);

    PopupMenu14 = named(new QMenu(this), "PopupMenu14");
    N6 = menuItem(PopupMenu14, "N6", QStringLiteral("Удалить Чат"));
    N11 = menuSeparator(PopupMenu14, "N11");
    N12 = menuItem(PopupMenu14, "N12", QStringLiteral("Удалить все чаты"));
    ListBox2->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListBox2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { Guarded([&] { ListBox2ContextMenu(at); }); });
    menuSeparator(PopupMenu14, "actExportSeparator");
    actExportChat = menuItem(PopupMenu14, "actExportChat", QStringLiteral("Экспорт…"));
    ConnectGuarded(actExportChat, &QAction::triggered, &TForm1::ExportChatClick);

    // The text field inside an editable combo box receives the right click.
    PopupMenu19 = named(new QMenu(this), "PopupMenu19");
    N7 = menuItem(PopupMenu19, "N7", QStringLiteral("Удалить"));
    attachPopup(editApiKey->lineEdit(), PopupMenu19);

    PopupMenu20 = named(new QMenu(this), "PopupMenu20");
    N8 = menuItem(PopupMenu20, "N8", QStringLiteral("Удалить"));
    attachPopup(cbModels->lineEdit(), PopupMenu20);
}
