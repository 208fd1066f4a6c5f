#include "app/SendPanel.h"

#include "app/AttachmentsPanel.h"
#include "app/Controls.h"
#include "app/Dialogs.h"
#include "app/Guarded.h"
#include "app/KeyModelPanel.h"
#include "app/PromptEdit.h"
#include "chat/RequestSession.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr int kBottomPanelHeight = 156;
constexpr int kPromptMinimumWidth = 160;
constexpr int kPromptLines = 3;
const QString kSendCaption = QStringLiteral("Отправить");
const QString kStopCaption = QStringLiteral("Стоп");

} // namespace

SendPanel::SendPanel(const AppFolders& folders, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("Panel2"));
    paintWhite(this);
    Label4 = label("Label4", QStringLiteral("Контекст"), this);
    Label5 = label("Label5", QStringLiteral("токенов~"), this);
    ContextChatTokensLabel = label("ContextChatTokensLabel", QStringLiteral("0"), this);
    ContextChatTokensLabel->setAccessibleName(QStringLiteral("Токенов в контексте"));
    // Room for the largest estimates, so the panel does not shift as they grow.
    reserveWidth(ContextChatTokensLabel, QStringLiteral("0000000"));
    // The service's own counts of the last answer, on the estimate's line.
    UsageLabel = label("UsageLabel", QString(), this);
    UsageLabel->setAccessibleName(QStringLiteral("Токены последнего ответа"));

    memoPrompt = named(new PromptEdit(this), "memoPrompt");
    memoPrompt->setAccessibleName(QStringLiteral("Текст запроса"));
    memoPrompt->OnKeyDown = [this](const QKeyEvent* event) { return memoPromptKeyDown(event); };
    memoPrompt->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    memoPrompt->setTabChangesFocus(true);
    memoPrompt->setToolTip(QStringLiteral("Ctrl+Enter (Отправить)"));
    memoPrompt->setPlaceholderText(QStringLiteral("Ctrl+Enter — отправить"));
    memoPrompt->setMinimumWidth(kPromptMinimumWidth);
    memoPrompt->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    connect(memoPrompt, &PromptEdit::KeyHandled, this, &SendPanel::PromptEdited);
    connect(memoPrompt, &QPlainTextEdit::textChanged, this, &SendPanel::FitPromptToText);

    Panel3 = named(new QWidget(this), "Panel3");
    CreateControlRow(folders, dialogs);
    m_attachments =
        new AttachmentsPanel(dialogs, folders.inProgramDir(QStringLiteral("pasted")), this);
    // Files and pictures pasted into the prompt are attached, not written into it.
    connect(memoPrompt, &PromptEdit::FilesPasted, m_attachments, &AttachmentsPanel::AddFiles);
    connect(memoPrompt, &PromptEdit::PicturePasted, m_attachments,
            &AttachmentsPanel::AttachPicture);

    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &SendPanel::Timer1Timer);

    // The figures on one line over the prompt box; the box takes what the width allows and
    // the attachments beside it a third; the control rows under both keep every control
    // whole down to the smallest window.
    auto* figures = new QHBoxLayout;
    figures->setSpacing(4);
    figures->addWidget(Label4);
    figures->addWidget(Label5);
    figures->addWidget(ContextChatTokensLabel);
    figures->addWidget(UsageLabel, 1);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(8, 4, 6, 4);
    layout->setHorizontalSpacing(8);
    layout->setVerticalSpacing(4);
    layout->addLayout(figures, 0, 0, 1, 2);
    layout->addWidget(memoPrompt, 1, 0);
    layout->addWidget(m_attachments, 1, 1);
    layout->addWidget(Panel3, 2, 0, 1, 2);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(1, 1);
    FitPromptToText();
}

// The prompt box shows three lines, and grows with its text up to about a third of the
// window; the panel grows with it.
void SendPanel::FitPromptToText() {
    const int lineHeight = memoPrompt->fontMetrics().lineSpacing();
    const int mostLines = qMax(kPromptLines, window()->height() / 3 / lineHeight);
    const int lines = qBound(kPromptLines, int(memoPrompt->document()->size().height()), mostLines);
    const int frame =
        memoPrompt->frameWidth() * 2 + int(memoPrompt->document()->documentMargin() * 2);
    memoPrompt->setMinimumHeight(lines * lineHeight + frame);
    // The design's height, or more where a larger font or a longer prompt needs it.
    setFixedHeight(qMax(kBottomPanelHeight, layout()->minimumSize().height()));
}

// The key and model boxes, then web search, Send and the time a request has run.
void SendPanel::CreateControlRow(const AppFolders& folders, Dialogs& dialogs) {
    m_keyModel = new KeyModelPanel(folders, dialogs, Panel3);
    chkEnableWebSearch = named(new QCheckBox(QStringLiteral("Веб"), Panel3), "chkEnableWebSearch");
    chkEnableWebSearch->setAccessibleName(QStringLiteral("Поиск в Интернете"));
    chkEnableWebSearch->setToolTip(QStringLiteral("Поиск в Интернете"));
    btnSend = button("btnSend", kSendCaption, Panel3);
    btnSend->setToolTip(QStringLiteral("Ctrl+Enter"));
    // The button the panel is for stands out from the others.
    btnSend->setDefault(true);
    connect(btnSend, &QPushButton::clicked, this, &SendPanel::SendClicked);
    // The next question is typed where the last one was.
    connect(btnSend, &QPushButton::clicked, memoPrompt, [this] { memoPrompt->setFocus(); });
    TimeoutLabel = label("TimeoutLabel", QStringLiteral("00:00"), Panel3);
    TimeoutLabel->setAccessibleName(QStringLiteral("Время запроса"));
    TimeoutLabel->hide();
    btnChatParameters = button("btnChatParameters", QStringLiteral("Параметры"), Panel3);
    btnChatParameters->setAccessibleName(QStringLiteral("Параметры чата"));
    btnChatParameters->setToolTip(
        QStringLiteral("Системная инструкция, температура, размышления и фильтры этого чата"));
    // Room for the mark, so the row does not shift when it comes.
    btnChatParameters->setMinimumWidth(btnChatParameters->sizeHint().width() +
                                       btnChatParameters->fontMetrics().horizontalAdvance(
                                           QStringLiteral(" •")));
    connect(btnChatParameters, &QPushButton::clicked, this, &SendPanel::ParametersClicked);

    auto* layout = new QGridLayout(Panel3);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(6);
    layout->setVerticalSpacing(4);
    layout->addWidget(m_keyModel, 0, 0, 2, 1);
    layout->addWidget(chkEnableWebSearch, 0, 1);
    layout->addWidget(btnSend, 0, 2);
    layout->addWidget(btnChatParameters, 1, 1);
    layout->addWidget(TimeoutLabel, 1, 2);
    layout->setColumnStretch(0, 1);
}

QString SendPanel::Prompt() const {
    return memoPrompt->toPlainText();
}

void SendPanel::SetPrompt(const QString& text) {
    memoPrompt->setPlainText(text);
}

void SendPanel::ClearPrompt() {
    memoPrompt->clear();
}

void SendPanel::ClearPromptAndAttachments() {
    memoPrompt->clear();
    m_attachments->SetAttachedFiles({});
    memoPrompt->setFocus();
}

void SendPanel::FocusPrompt() {
    memoPrompt->setFocus();
}

bool SendPanel::WebSearch() const {
    return chkEnableWebSearch->isChecked();
}

void SendPanel::ShowContextTokens(int tokens) {
    ContextChatTokensLabel->setText(QString::number(tokens));
}

void SendPanel::ShowUsage(const std::optional<TokenUsage>& usage) {
    if (!usage) {
        UsageLabel->clear();
        UsageLabel->setToolTip(QString());
        return;
    }
    UsageLabel->setText(QStringLiteral("· запрос %1 · ответ %2 · мысли %3 · всего %4")
                            .arg(usage->Prompt)
                            .arg(usage->Answer)
                            .arg(usage->Thinking)
                            .arg(usage->Total));
    UsageLabel->setToolTip(
        QStringLiteral("Последний ответ по счёту сервиса: запрос %1, ответ %2, размышления %3, "
                       "всего %4 токенов")
            .arg(usage->Prompt)
            .arg(usage->Answer)
            .arg(usage->Thinking)
            .arg(usage->Total));
}

void SendPanel::EnterBusyState() {
    btnSend->setEnabled(false);
    ShowElapsed(0);
    TimeoutLabel->show();
    Timer1->start();
}

void SendPanel::ShowStopControl() {
    m_stopShown = true;
    btnSend->setText(kStopCaption);
    btnSend->setEnabled(true);
}

void SendPanel::EndBusyState() {
    m_stopShown = false;
    Timer1->stop();
    TimeoutLabel->hide();
    btnSend->setText(kSendCaption);
    btnSend->setEnabled(true);
}

void SendPanel::ShowElapsed(int seconds) {
    TimeoutLabel->setText(RequestSession::ElapsedText(seconds));
}

void SendPanel::ShowEditing(bool editing) {
    m_editing = editing;
    memoPrompt->setPlaceholderText(editing ? QStringLiteral("Изменённый вопрос: Ctrl+Enter — отправить, Esc — отменить")
                                           : QStringLiteral("Ctrl+Enter — отправить"));
}

void SendPanel::ShowOwnParameters(bool own) {
    btnChatParameters->setText(own ? QStringLiteral("Параметры •") : QStringLiteral("Параметры"));
}

void SendPanel::Timer1Timer() {
    Q_EMIT Ticked();
}

bool SendPanel::memoPromptKeyDown(const QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Escape && modifiers == Qt::NoModifier &&
        (m_stopShown || m_editing)) {
        if (m_stopShown)
            Q_EMIT StopRequested();
        else
            Q_EMIT EditCancelRequested();
        return true;
    }
    if (event->key() == Qt::Key_Up && modifiers == Qt::NoModifier && Prompt().isEmpty() &&
        !m_stopShown) {
        Q_EMIT LastQuestionRequested();
        return true;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || modifiers != Qt::ControlModifier)
        return false;
    // While a request runs the button stops it; the shortcut only ever sends.
    if (!m_stopShown)
        btnSend->click();
    return true;
}
