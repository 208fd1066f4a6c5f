// The window's own events: creation, first show, close and resize.
#include "app/MainWindow.h"

#include "text/Blank.h"
#include "app/Dialogs.h"
#include "chat/GeminiDM.h"
#include "app/PromptEdit.h"
#include "app/ScopedFlag.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QShowEvent>
#include <QTimer>

QString TForm1::NewChatEntryText() {
    return QStringLiteral("<Новый чат>");
}

TForm1::TForm1(const AppFolders& folders, Dialogs& dialogs, TGeminiDM& geminiDM, QWidget* parent)
    : QMainWindow(parent), FFolders(folders),
      FMemory(folders.inProgramDir(WindowMemory::FileName())),
      FChats(folders.chatsDir(), SystemFileRemover()), FDialogs(dialogs), FGeminiDM(geminiDM) {
    CreateComponents();
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::FormCreate() {
    FBaseHtmlLoaded = false;
    FIsLoading = false;
    FFormShown = false;
    if (const Expected<void> folder = FChats.EnsureFolder(); !folder)
        FDialogs.ShowMessage(folder.error());
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Restoring a minimised window is not a new show.
    if (!event->spontaneous())
        Guarded([this] { FormShow(); });
}

void TForm1::FormShow() {
    Timer1->setInterval(1000);
    Timer1->stop();
    TimeoutLabel->hide();
    LoadKeyAndModelLists();

    if (FFormShown)
        return;
    FFormShown = true;

    LoadServiceSettings();
    CountRequestsSent();
    LoadChatList();
    SelectNewChatEntry();
    StartNewChatInPlace(QStringLiteral("Новый чат начат."));
    ShowTodayRequestCount();
    if (IsBlank(editApiKey->currentText()))
        ShowWelcomePage();
    // The first thing typed is a question.
    memoPrompt->setFocus();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A chat that could not be saved keeps the window open unless the user lets it go.
    event->ignore();
    Guarded([&] {
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
    ClearChatList();
    return true;
}

void TForm1::UpdateContextTokens() {
    const int history = TGeminiDM::CountTokensForHistory(FGeminiDM.ChatHistory());
    TContentParts composed;
    composed.reserve(FAttachedFiles.size() + 1);
    composed.append(MakeTextPart(memoPrompt->toPlainText()));
    for (qsizetype i = 0; i < FAttachedFiles.size(); ++i)
        composed.append(MakeInlinePart(QString(), QByteArray()));
    const int prompt = TGeminiDM::CountTokens(composed);
    ContextChatTokensLabel->setText(QString::number(history + prompt));
}

void TForm1::ClearChatList() {
    // Entries carry their chat path as item data, which the list frees with them.
    ScopedFlag loading(FIsLoading);
    ListBox2->clear();
}

void TForm1::SetStatusText(const QString& text) {
    FStatusText->setText(text);
}

QString TForm1::StatusText() const {
    return FStatusText->text();
}

void TForm1::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        FDialogs.ShowMessage(QString::fromStdString(error.what()));
    }
}
