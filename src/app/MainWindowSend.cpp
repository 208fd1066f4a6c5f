// The send flow: from the prompt box to the request, the busy state while it runs, and
// the answer rendered and saved.
#include "app/MainWindow.h"

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
        WebBrowser1->setUrl(QUrl::fromLocalFile(helpPage));
    else
        ShowWelcomePage();
}

void TForm1::btnSendClick() {
    if (RequestRunning()) {
        StopRequest();
        return;
    }
    const QString apiKey = editApiKey->currentText();
    const QString modelName = cbModels->currentText();
    const QStringList files = FAttachedFiles;
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
    if (WebBrowser1->url().toString().contains(kKeyHelpPage))
        btnNewChatClick();
    ListBox2->setEnabled(false);
    btnNewChat->setEnabled(false);
    AddUserMessage(prompt, files);

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
                                ResultCallback([form](const RequestResult& result) {
                                    if (form)
                                        form->ImageRequestDone(result);
                                }),
                                FImageCancel);
    } else {
        StartLiveAnswer(request);
    }
    ShowStopControl();
    ScrollChatToBottom();
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
                           AddFailureMessage({attachments.error()});
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
    ListBox2->setEnabled(true);
    btnNewChat->setEnabled(true);
}

void TForm1::ImageRequestDone(const RequestResult& result) {
    FImageCancel.reset();
    Timer1->stop();
    TimeoutLabel->hide();
    FLastUsage = WhatArrived(result).Facts.Usage;
    if (!result) {
        ShowFailedRequest(result.error());
        return;
    }
    // The pictures first, as they are kept with the request, then any words that came.
    const PicturesAndWords answer = SplitImageAnswer(result->Parts);
    for (const TContentPart& picture : answer.Pictures)
        AddImageMessage(picture.MimeType, QString::fromLatin1(picture.Base64Data));
    if (HasAnswerContent(answer.Words))
        AppendHtml(BuildModelItemHtml(ModelMessageFromParts(answer.Words, result->Facts)));
    FinishRequest();
    ScrollChatToBottom();
}

void TForm1::ShowFailedRequest(const RequestFailure& failure, bool stopped) {
    FFailedRequest = FRunningRequest;
    FRetryToken = QUuid::createUuid().toString(QUuid::Id128);
    FChatPage->RemoveRetryLinks();
    AddFailureMessage(failure, FRetryToken);
    FinishRequest();
    SetStatusText(stopped ? QStringLiteral("Остановлено") : QStringLiteral("Ошибка"));
    // What the user has typed meanwhile is not replaced.
    if (memoPrompt->toPlainText().isEmpty() && FAttachedFiles.isEmpty()) {
        memoPrompt->setPlainText(FFailedRequest.prompt);
        SetAttachedFiles(FFailedRequest.files);
    }
}

void TForm1::ForgetLastRequestLinks() {
    FRetryToken.clear();
    FContinueToken.clear();
    FChatPage->RemoveRetryLinks();
}

void TForm1::BeginRequest(const SentRequest& request) {
    EnterBusyState();
    ListBox2->setEnabled(false);
    btnNewChat->setEnabled(false);
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
    if (memoPrompt->toPlainText() == request.prompt && FAttachedFiles == request.files)
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
    AddUserMessage(request.prompt, {});
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
        FLiveView->SetStatus(LiveStatus());
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
