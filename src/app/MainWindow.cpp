// The window's own events: creation, first show and close; the token estimate and the
// status bar.
#include "app/MainWindow.h"

#include "app/AttachmentsPanel.h"
#include "app/ChatListPanel.h"
#include "app/ChatView.h"
#include "app/Dialogs.h"
#include "app/KeyModelPanel.h"
#include "app/MessageActions.h"
#include "app/SendPanel.h"
#include "chat/GeminiDM.h"
#include "text/Blank.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QShowEvent>

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
    m_sendPanel->KeyModel().LoadKeyAndModelLists(FMemory);

    if (FFormShown)
        return;
    FFormShown = true;

    LoadServiceSettings();
    if (const Expected<void>& memory = FMemory.Loaded(); !memory)
        FDialogs.ShowMessage(memory.error());
    // The service counts the requests it receives, not those that never reached it: a
    // file too large to send, a proxy that is down.
    FGeminiDM.SetRequestSentHandler(
        [keyModel = QPointer<KeyModelPanel>(&m_sendPanel->KeyModel())](const QString& apiKey,
                                                                       const QString& modelName) {
            if (keyModel)
                keyModel->CountRequestSent(apiKey, modelName);
        });
    if (const Expected<void> listed = LoadChatList(); !listed)
        FDialogs.ShowMessage(listed.error());
    m_chatList->SelectNewChatEntry();
    StartNewChatInPlace(QStringLiteral("Новый чат начат."));
    if (IsBlank(m_sendPanel->KeyModel().ApiKey()))
        m_view->ShowWelcomePage();
    // The first thing typed is a question.
    m_sendPanel->FocusPrompt();
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
    const qsizetype files = m_sendPanel->Attachments().Count();
    TContentParts composed;
    composed.reserve(files + 1);
    composed.append(MakeTextPart(m_sendPanel->Prompt()));
    for (qsizetype i = 0; i < files; ++i)
        composed.append(MakeInlinePart(QString(), QByteArray()));
    m_sendPanel->ShowContextTokens(history + TGeminiDM::CountTokens(composed));
}

void TForm1::SetStatusText(const QString& text) {
    FStatusText->setText(text);
}

QString TForm1::StatusText() const {
    return FStatusText->text();
}

void TForm1::ResetChatView() {
    ForgetLastRequestLinks();
    m_actions->Forget();
    m_view->Clear();
    m_sendPanel->ClearPrompt();
    m_sendPanel->Attachments().SetAttachedFiles({});
    m_sendPanel->ShowOwnParameters(FGeminiDM.Parameters() != FGeminiDM.DefaultParameters());
}
