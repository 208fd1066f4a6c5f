// The window's own events: creation, first show and close; and what joins the panels:
// the token estimate, the daily count and the status bar.
#include "app/MainWindow.h"

#include "app/AttachmentsPanel.h"
#include "app/ChatListPanel.h"
#include "app/ChatView.h"
#include "app/Dialogs.h"
#include "app/KeyModelPanel.h"
#include "app/PromptEdit.h"
#include "chat/GeminiDM.h"
#include "store/ApiKeyStatsU.h"
#include "text/Blank.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QShowEvent>
#include <QTimer>

TForm1::TForm1(const AppFolders& folders, Dialogs& dialogs, TGeminiDM& geminiDM, QWidget* parent)
    : QMainWindow(parent), FFolders(folders),
      FMemory(folders.inProgramDir(WindowMemory::FileName())),
      FChats(folders.chatsDir(), SystemFileRemover()), FDialogs(dialogs), FGeminiDM(geminiDM) {
    CreateComponents();
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::FormCreate() {
    FFormShown = false;
    if (const Expected<void> folder = FChats.EnsureFolder(); !folder)
        FDialogs.ShowMessage(folder.error());
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Restoring a minimised window is not a new show.
    if (!event->spontaneous())
        Guarded(FDialogs, [this] { FormShow(); });
}

void TForm1::FormShow() {
    Timer1->setInterval(1000);
    Timer1->stop();
    TimeoutLabel->hide();
    m_keyModel->LoadKeyAndModelLists(FMemory);

    if (FFormShown)
        return;
    FFormShown = true;

    LoadServiceSettings();
    CountRequestsSent();
    if (const Expected<void> listed = LoadChatList(); !listed)
        FDialogs.ShowMessage(listed.error());
    m_chatList->SelectNewChatEntry();
    StartNewChatInPlace(QStringLiteral("Новый чат начат."));
    if (IsBlank(m_keyModel->ApiKey()))
        m_view->ShowWelcomePage();
    // The first thing typed is a question.
    memoPrompt->setFocus();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A chat that could not be saved keeps the window open unless the user lets it go.
    event->ignore();
    Guarded(FDialogs, [&] {
        if (FormClose())
            event->accept();
    });
}

bool TForm1::FormClose() {
    // What an answer has brought so far goes into the chat before it is saved.
    StopRequest();
    if (!LeaveCurrentChat())
        return false;
    RememberWindow();
    m_chatList->ClearChatList();
    return true;
}

void TForm1::UpdateContextTokens() {
    const int history = TGeminiDM::CountTokensForHistory(FGeminiDM.ChatHistory());
    const qsizetype files = m_attachments->AttachedFiles().size();
    TContentParts composed;
    composed.reserve(files + 1);
    composed.append(MakeTextPart(memoPrompt->toPlainText()));
    for (qsizetype i = 0; i < files; ++i)
        composed.append(MakeInlinePart(QString(), QByteArray()));
    const int prompt = TGeminiDM::CountTokens(composed);
    ContextChatTokensLabel->setText(QString::number(history + prompt));
}

void TForm1::SetStatusText(const QString& text) {
    FStatusText->setText(text);
}

QString TForm1::StatusText() const {
    return FStatusText->text();
}

void TForm1::ResetChatView() {
    ForgetLastRequestLinks();
    m_view->Clear();
    memoPrompt->clear();
    m_attachments->SetAttachedFiles({});
}

const QStringList& TForm1::AttachedFiles() const {
    return m_attachments->AttachedFiles();
}

void TForm1::SetAttachedFiles(const QStringList& paths) {
    m_attachments->SetAttachedFiles(paths);
}

void TForm1::ShowTodayRequestCount() {
    m_keyModel->ShowRequestCount(GetTodayRequestCount(FFolders.programDir, m_keyModel->ApiKey(),
                                                      m_keyModel->ModelName()));
}

// The service counts the requests it receives, not those that never reached it: a file
// too large to send, a proxy that is down.
void TForm1::CountRequestsSent() {
    const QPointer<TForm1> form(this);
    FGeminiDM.SetRequestSentHandler([form](const QString& apiKey, const QString& modelName) {
        if (!form)
            return;
        const Expected<int> count =
            IncrementTodayRequestCount(form->FFolders.programDir, apiKey, modelName);
        // The label shows the key and model chosen now, which may have changed meanwhile.
        if (apiKey == form->m_keyModel->ApiKey() && modelName == form->m_keyModel->ModelName())
            form->m_keyModel->ShowRequestCount(count);
    });
}
