// The send flow: from the prompt box to the request, the busy state while it runs, and
// the answer rendered and saved.
#include "app/MainWindow.h"

#include "app/ChatListPanel.h"
#include "app/ChatView.h"
#include "app/KeyModelPanel.h"
#include "page/AnswerBlock.h"
#include "chat/AttachmentPreparation.h"
#include "app/ChatPage.h"
#include "app/Dialogs.h"
#include "chat/GeminiDM.h"
#include "chat/GenerationHandlers.h"
#include "app/LiveAnswerView.h"
#include "app/PromptEdit.h"
#include "chat/SendCheck.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QUuid>
#include <QWebEngineView>
#include <QtConcurrent/QtConcurrentRun>

namespace {

const QString kKeyHelpPage = QStringLiteral("AddKey.html");

} // namespace

// The key help page beside the program, or else the welcome page, whose link leads to
// where a key is made: a page with a link to click, not a second message to copy from.
void TForm1::ShowWhereKeysComeFrom() {
    const QString helpPage = FFolders.inProgramDir(kKeyHelpPage);
    if (QFileInfo::exists(helpPage))
        m_view->ShowAddress(QUrl::fromLocalFile(helpPage));
    else
        m_view->ShowWelcomePage();
}

void TForm1::btnSendClick() {
    if (RequestRunning()) {
        StopRequest();
        return;
    }
    const QString apiKey = m_keyModel->ApiKey();
    const QString modelName = m_keyModel->ModelName();
    const QStringList files = AttachedFiles();
    if (const std::optional<SendRefusal> refusal =
            CheckSend(apiKey, modelName, memoPrompt->toPlainText(), files)) {
        FDialogs.ShowMessage(refusal->message);
        if (refusal->keyMissing)
            ShowWhereKeysComeFrom();
        return;
    }
    const bool imageRequest = IsImageModel(modelName);
    // A failed or cut answer is no longer the last message once another is sent.
    ForgetLastRequestLinks();

    EnterBusyState();
    // Paint the busy state before the work below; the user's input waits until it is done.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    const QString prompt = memoPrompt->toPlainText();
    // The files were read above, before the key help page is replaced by a new chat,
    // which empties the lists.
    if (m_view->Address().toString().contains(kKeyHelpPage))
        btnNewChatClick();
    m_chatList->SetRequestRunning(true);
    m_view->AddUserMessage(prompt, files);

    if (imageRequest) {
        ClearPromptAndAttachments();
        StartRequest({apiKey, modelName, prompt, files, {}, true, false});
        return;
    }
    SendTextRequest(apiKey, modelName, prompt, files);
}

void TForm1::StartRequest(const SentRequest& request) {
    FRunningRequest = request;
    if (request.image) {
        const QPointer<TForm1> form(this);
        FImageCancel = MakeCancelFlag();
        FGeminiDM.GenerateImage(request.apiKey, request.modelName, request.prompt,
                                OutcomeCallback([form](const RequestOutcome& result) {
                                    if (form)
                                        form->ImageRequestDone(result);
                                }),
                                FImageCancel);
    } else {
        StartLiveAnswer(request);
    }
    ShowStopControl();
    m_view->ScrollChatToBottom();
}

// Reading and encoding up to 16 files of 20 MiB runs off the user-interface thread;
// the window stays busy and responsive meanwhile.
void TForm1::SendTextRequest(const QString& apiKey, const QString& modelName, const QString& prompt,
                             const QStringList& files) {
    auto* reader = new QFutureWatcher<Expected<TContentParts>>(this);
    ConnectGuarded(reader, &QFutureWatcherBase::finished,
                   [this, reader, apiKey, modelName, prompt, files] {
                       reader->deleteLater();
                       const Expected<TContentParts> attachments = reader->result();
                       if (!attachments) {
                           // The prompt and the files stay in place to be corrected.
                           m_view->AddFailureMessage({attachments.error(), true});
                           EndBusyState();
                           SetStatusText(QStringLiteral("Ошибка"));
                           return;
                       }
                       TContentParts parts{MakeTextPart(prompt)};
                       parts.append(*attachments);
                       ClearPromptAndAttachments();
                       StartRequest({apiKey, modelName, prompt, files, parts, false,
                                     chkEnableWebSearch->isChecked()});
                   });
    reader->setFuture(QtConcurrent::run(PrepareAttachments, files));
}

void TForm1::ClearPromptAndAttachments() {
    memoPrompt->clear();
    SetAttachedFiles({});
    memoPrompt->setFocus();
}

void TForm1::EnterBusyState() {
    btnSend->setEnabled(false);
    SetStatusText(QStringLiteral("Отправка запроса..."));
    FSecondsElapsed = 0;
    TimeoutLabel->setText(ElapsedText(0));
    TimeoutLabel->show();
    Timer1->start();
}

void TForm1::EndBusyState() {
    Timer1->stop();
    TimeoutLabel->hide();
    btnSend->setText(QStringLiteral("Отправить"));
    btnSend->setEnabled(true);
    SetStatusText(QStringLiteral("Готово"));
    m_chatList->SetRequestRunning(false);
}

void TForm1::ImageRequestDone(const RequestOutcome& result) {
    FImageCancel.reset();
    Timer1->stop();
    TimeoutLabel->hide();
    FLastUsage = result.Facts.Usage;
    if (result.IsFailure) {
        ShowFailedRequest(result);
        return;
    }
    // The pictures first, as they are kept with the request, then any words that came.
    TContentParts words;
    for (const TContentPart& part : result.Parts) {
        if (part.PartType != TPartType::ptInlineData)
            words.append(part);
        else if (IsCompletePicture(part))
            m_view->AddImageMessage(part.MimeType, QString::fromLatin1(part.Base64Data));
    }
    if (HasAnswerContent(words))
        m_view->AppendHtml(BuildModelItemHtml(ModelMessageFromParts(words, result.Facts)));
    FinishRequest();
    m_view->ScrollChatToBottom();
}

void TForm1::ShowFailedRequest(const RequestOutcome& outcome, bool stopped) {
    FFailedRequest = FRunningRequest;
    FRetryToken = QUuid::createUuid().toString(QUuid::Id128);
    m_view->Page().RemoveRetryLinks();
    m_view->AddFailureMessage(outcome, FRetryToken);
    FinishRequest();
    SetStatusText(stopped ? QStringLiteral("Остановлено") : QStringLiteral("Ошибка"));
    // What the user has typed meanwhile is not replaced.
    if (memoPrompt->toPlainText().isEmpty() && AttachedFiles().isEmpty()) {
        memoPrompt->setPlainText(FFailedRequest.prompt);
        SetAttachedFiles(FFailedRequest.files);
    }
}

void TForm1::ForgetLastRequestLinks() {
    FRetryToken.clear();
    FContinueToken.clear();
    m_view->Page().RemoveRetryLinks();
}

void TForm1::BeginRequest(const SentRequest& request) {
    EnterBusyState();
    m_chatList->SetRequestRunning(true);
    StartRequest(request);
}

void TForm1::RetryFailedRequest(const QString& token) {
    if (token.isEmpty() || token != FRetryToken || RequestRunning())
        return;
    ForgetLastRequestLinks();
    const SentRequest request = FFailedRequest;
    // The failed message is still the conversation's last: it is sent again in its place.
    TChatHistory& history = FGeminiDM.ChatHistory();
    if (!history.isEmpty() && history.last().Role == u"user" && !history.last().Failure.isEmpty())
        history.removeLast();
    if (memoPrompt->toPlainText() == request.prompt && AttachedFiles() == request.files)
        ClearPromptAndAttachments();
    BeginRequest(request);
}

// A follow-up that asks the model to go on where its last answer stopped, to the same
// model with the same key and web search.
void TForm1::ContinueAnswer(const QString& token) {
    if (token.isEmpty() || token != FContinueToken || RequestRunning())
        return;
    ForgetLastRequestLinks();
    SentRequest request = FContinueRequest;
    request.prompt = ContinuePrompt();
    request.files.clear();
    request.parts = {MakeTextPart(request.prompt)};
    request.image = false;
    m_view->AddUserMessage(request.prompt, {});
    BeginRequest(request);
}

// Saves the chat and leaves the busy state. A save that fails is reported once the
// window is usable again, so the answer never leaves it stuck.
void TForm1::FinishRequest() {
    const ChatSave save = SaveCurrentChat();
    EndBusyState();
    UpdateContextTokens();
    ShowUsage();
    if (save.failed())
        FDialogs.ShowMessage(save.message);
}

QString TForm1::ElapsedText(int seconds) {
    return QString::asprintf("%.2d:%.2d", seconds / 60, seconds % 60);
}

void TForm1::Timer1Timer() {
    ++FSecondsElapsed;
    TimeoutLabel->setText(ElapsedText(FSecondsElapsed));
    if (FLiveAnswer)
        m_view->LiveView().SetStatus(LiveStatus());
}

bool TForm1::memoPromptKeyDown(const QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Escape && modifiers == Qt::NoModifier && RequestRunning()) {
        StopRequest();
        return true;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || modifiers != Qt::ControlModifier)
        return false;
    // While a request runs the button stops it; the shortcut only ever sends.
    if (!RequestRunning())
        btnSend->click();
    return true;
}
