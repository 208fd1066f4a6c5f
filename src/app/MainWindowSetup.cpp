// Builds the window's components: names, captions, hints, items, menus and layout.
#include "MainWindow.h"

#include "BottomPanel.h"
#include "ChatPage.h"
#include "PromptEdit.h"
#include "RightClickKeepsSelection.h"

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

constexpr int kLeftColumnWidth = 177;
constexpr int kBottomPanelHeight = 156;
constexpr int kChatListItemHeight = 21;
constexpr QSize kPromptSize(547, 84);
constexpr QSize kControlRowSize(547, 69);
constexpr int kPromptLeft = 112;
constexpr int kPromptTop = 2;
constexpr int kRowHeight = 26;
constexpr int kFirstRowTop = 4;
constexpr int kSecondRowTop = 37;

template <typename Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1StringView(name));
    return widget;
}

QWidget* whitePanel(const char* name, QWidget* parent) {
    QWidget* panel = named(new QWidget(parent), name);
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, Qt::white);
    panel->setPalette(palette);
    return panel;
}

QLabel* label(const char* name, const QString& caption, QWidget* parent) {
    return named(new QLabel(caption, parent), name);
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
    palette.setColor(QPalette::Window, Qt::white);
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
    ConnectListHandlers();
    ConnectSearchHandlers();
    resize(1089, 799);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TForm1::CreateLeftColumn() {
    Panel4 = whitePanel("Panel4", Splitter1);
    Panel4->resize(kLeftColumnWidth, Panel4->height());
    Edit1 = named(new QLineEdit(Panel4), "Edit1");
    btnNewChat = button("btnNewChat", QStringLiteral("+"), Panel4);
    btnNewChat->setToolTip(QStringLiteral("Новый Чат"));
    btnNewChat->setFixedWidth(28);
    ListBox2 = named(new QListWidget(Panel4), "ListBox2");
    ListBox2->setUniformItemSizes(true);
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
    new RightClickKeepsSelection(ListBox2->viewport());
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
    Splitter1->setSizes({kLeftColumnWidth, 1089 - kLeftColumnWidth});
}

void TForm1::CreateBottomPanel() {
    Panel2 = named(new BottomPanel(Panel5), "Panel2");
    Panel2->setFixedHeight(kBottomPanelHeight);
    Panel2->setAutoFillBackground(true);
    Panel2->setPalette(palette());
    Panel2->resize(BottomPanel::kDesignWidth, kBottomPanelHeight);

    Label4 = label("Label4", QStringLiteral("Контекст"), Panel2);
    Label4->move(8, 8);
    Label5 = label("Label5", QStringLiteral("токенов~"), Panel2);
    Label5->move(8, 28);
    ContextChatTokensLabel = label("ContextChatTokensLabel", QStringLiteral("0"), Panel2);
    ContextChatTokensLabel->setGeometry(8 + Label5->sizeHint().width() + 4, 28, 48,
                                        Label5->sizeHint().height());
    UsageLabel = label("UsageLabel", QString(), Panel2);
    UsageLabel->setGeometry(8, 48, kPromptLeft - 12, kBottomPanelHeight - 52);
    UsageLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    memoPrompt = named(new PromptEdit(Panel2), "memoPrompt");
    ConnectGuarded(memoPrompt, &PromptEdit::KeyHandled, &TForm1::UpdateContextTokens);
    memoPrompt->OnKeyDown = [this](const QKeyEvent* event) { return memoPromptKeyDown(event); };
    memoPrompt->setGeometry(QRect(QPoint(kPromptLeft, kPromptTop), kPromptSize));
    memoPrompt->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memoPrompt->setToolTip(QStringLiteral("Ctrl+Enter (Отправить)"));

    Panel3 = named(new QWidget(Panel2), "Panel3");
    Panel3->setGeometry(
        QRect(QPoint(kPromptLeft, kPromptTop + kPromptSize.height()), kControlRowSize));
    CreateControlRow();

    const int listLeft = kPromptLeft + kPromptSize.width() + 10;
    ListBox1 = named(new QListWidget(Panel2), "ListBox1");
    ListBox1->setFrameShape(QFrame::NoFrame);
    ListBox1->setGeometry(listLeft, kPromptTop, 200, kBottomPanelHeight - 2 * kPromptTop);

    DownBut = button("DownBut", QString::fromUtf16(u"\U0001F447"), Panel2);
    DownBut->setGeometry(BottomPanel::kDesignWidth - 36, 4, 30, 30);
    ConnectGuarded(DownBut, &QPushButton::clicked, &TForm1::DownButClick);

    Panel2->SetAnchoredControls(memoPrompt, ListBox1, DownBut);
    Panel2->SetResizeHandler([this] { FormResize(); });
}

void TForm1::CreateControlRow() {
    const auto place = [](QWidget* widget, int left, int top, int width) {
        widget->setGeometry(left, top, width, kRowHeight);
    };
    btnAddFile1 = button("btnAddFile1", QStringLiteral("+"), Panel3);
    place(btnAddFile1, 0, kFirstRowTop, 26);
    lblFileLimits1 = label("lblFileLimits1", QStringLiteral("Файлы (0/16)"), Panel3);
    place(lblFileLimits1, 30, kFirstRowTop, 82);
    btnClearFiles1 = button("btnClearFiles1", QStringLiteral("-"), Panel3);
    btnClearFiles1->setToolTip(QStringLiteral("Удалить всё"));
    place(btnClearFiles1, 114, kFirstRowTop, 26);
    ConnectGuarded(btnAddFile1, &QPushButton::clicked, &TForm1::btnAddFile1Click);
    ConnectGuarded(btnClearFiles1, &QPushButton::clicked, &TForm1::btnClearFiles1Click);

    Label1 = label("Label1", QStringLiteral("Модель:"), Panel3);
    place(Label1, 148, kFirstRowTop, 54);
    cbModels = editableCombo("cbModels", Panel3);
    cbModels->addItems({QStringLiteral("gemini-2.5-pro"), QStringLiteral("gemini-2.5-flash"),
                        QStringLiteral("gemini-2.5-flash-lite")});
    cbModels->setToolTip(QStringLiteral("Enter Save"));
    place(cbModels, 204, kFirstRowTop, 190);
    chkEnableWebSearch = named(new QCheckBox(QStringLiteral("Веб"), Panel3), "chkEnableWebSearch");
    chkEnableWebSearch->setToolTip(QStringLiteral("Поиск в Интернете"));
    place(chkEnableWebSearch, 402, kFirstRowTop, 54);
    btnSend = button("btnSend", QStringLiteral("Отправить"), Panel3);
    btnSend->setToolTip(QStringLiteral("Ctrl+Enter"));
    place(btnSend, 460, kFirstRowTop, 87);
    ConnectGuarded(btnSend, &QPushButton::clicked, &TForm1::btnSendClick);

    TimeoutLabel = label("TimeoutLabel", QStringLiteral("00:00"), Panel3);
    place(TimeoutLabel, 30, kSecondRowTop, 82);
    TimeoutLabel->hide();
    Label2 = label("Label2", QStringLiteral("Ключ:"), Panel3);
    place(Label2, 148, kSecondRowTop, 54);
    editApiKey = editableCombo("editApiKey", Panel3);
    editApiKey->setToolTip(QStringLiteral("Enter Save"));
    setTextColour(editApiKey, QColor(100, 113, 105));
    place(editApiKey, 204, kSecondRowTop, 190);
    Label3 = label("Label3", QStringLiteral("Лимит:"), Panel3);
    Label3->setToolTip(QStringLiteral("Сегодня"));
    place(Label3, 402, kSecondRowTop, 50);
    CountLabel = label("CountLabel", QStringLiteral("0"), Panel3);
    CountLabel->setToolTip(QStringLiteral("Сегодня"));
    place(CountLabel, 454, kSecondRowTop, 93);
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
    attachPopup(ListBox2, PopupMenu14);

    // The text field inside an editable combo box receives the right click.
    PopupMenu19 = named(new QMenu(this), "PopupMenu19");
    N7 = menuItem(PopupMenu19, "N7", QStringLiteral("Удалить"));
    attachPopup(editApiKey->lineEdit(), PopupMenu19);

    PopupMenu20 = named(new QMenu(this), "PopupMenu20");
    N8 = menuItem(PopupMenu20, "N8", QStringLiteral("Удалить"));
    attachPopup(cbModels->lineEdit(), PopupMenu20);
}
