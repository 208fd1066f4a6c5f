// The send flow: from the prompt box to the request session, the busy state while it
// runs, and how it ended shown on the page and saved.
#include "app/MainWindow.h"

#include "app/AttachmentsPanel.h"
#include "app/ChatListPanel.h"
#include "app/ChatPage.h"
#include "app/ChatView.h"
#include "app/Dialogs.h"
#include "app/KeyModelPanel.h"
#include "app/LiveAnswerView.h"
#include "app/MessageActions.h"
#include "app/SendPanel.h"
#include "chat/AttachmentPreparation.h"
#include "chat/GeminiDM.h"
#include "chat/SendCheck.h"
#include "page/AnswerBlock.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace {

const QString kKeyHelpPage = QStringLiteral("AddKey.html");

// The key help page beside the program, or else the welcome page, whose link leads to
// where a key is made: a page with a link to click, not a second message to copy from.
void showWhereKeysComeFrom(const AppFolders& folders, ChatView& view) {
    const QString helpPage = folders.inProgramDir(kKeyHelpPage);
    if (QFileInfo::exists(helpPage))
        view.ShowAddress(QUrl::fromLocalFile(helpPage));
    else
        view.ShowWelcomePage();
}

} // namespace

void TForm1::btnSendClick() {
    if (RequestRunning()) {
        StopRequest();
        return;
    }
    const AttachmentsPanel& attachments = m_sendPanel->Attachments();
    SentRequest request{.ApiKey = m_sendPanel->KeyModel().ApiKey(),
                        .ModelName = m_sendPanel->KeyModel().ModelName(),
                        .Files = attachments.AttachedFiles(),
                        .KeptFiles = attachments.KeptFiles(),
                        .WebSearch = m_sendPanel->WebSearch()};
    if (const std::optional<SendRefusal> refusal = CheckSend(
            request.ApiKey, request.ModelName, m_sendPanel->Prompt(), attachments.Names())) {
        FDialogs.ShowMessage(refusal->Message);
        if (refusal->KeyMissing)
            showWhereKeysComeFrom(FFolders, *m_view);
        return;
    }
    // An edited question takes the place of the one it edits and of what came after it.
    if (m_actions->Editing()) {
        request.Replaced = m_actions->TakeEditedQuestion();
        if (!request.Replaced)
            return;
    }
    // A failed or cut answer is no longer the last message once another is sent.
    ForgetLastRequestLinks();

    EnterBusyState();
    // Paint the busy state before the work below; the user's input waits until it is done.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    request.Prompt = m_sendPanel->Prompt();
    // The files were read above, before the key help page is replaced by a new chat,
    // which empties the lists.
    if (m_view->Address().toString().contains(kKeyHelpPage))
        btnNewChatClick();
    m_view->AddUserMessage(request.Prompt, attachments.Names());

    if (IsImageModel(request.ModelName)) {
        request.Image = true;
        request.WebSearch = false;
        m_sendPanel->ClearPromptAndAttachments();
        StartRequest(request);
        return;
    }
    SendTextRequest(request);
}

// Reading and encoding up to 16 files of 20 MiB runs off the user-interface thread;
// the window stays busy and responsive meanwhile.
void TForm1::SendTextRequest(const SentRequest& request) {
    auto* reader = new QFutureWatcher<Expected<TContentParts>>(this);
    m_readingFiles = true;
    ConnectGuarded(reader, &QFutureWatcherBase::finished, [this, reader, request] {
        reader->deleteLater();
        m_readingFiles = false;
        const Expected<TContentParts> attachments = reader->result();
        if (!attachments) {
            // Nothing was sent: the question shown for it goes, an edited chat is back as it
            // was, and the prompt and the files stay in place to be corrected.
            if (request.Replaced) {
                FGeminiDM.SetChatHistory(*request.Replaced);
                m_view->RebuildChatPage();
                m_actions->SendEnded(true);
            } else {
                m_view->RemoveMessages({FGeminiDM.ChatHistory().size(), 1});
            }
            m_view->AddFailureMessage({attachments.error()});
            EndBusyState();
            SetStatusText(QStringLiteral("Ошибка"));
            return;
        }
        SentRequest sent = request;
        sent.Parts = {MakeTextPart(request.Prompt)};
        sent.Parts.append(request.KeptFiles);
        sent.Parts.append(*attachments);
        m_sendPanel->ClearPromptAndAttachments();
        StartRequest(sent);
    });
    reader->setFuture(QtConcurrent::run(PrepareAttachments, request.Files));
}

void TForm1::BeginRequest(const SentRequest& request) {
    EnterBusyState();
    StartRequest(request);
}

void TForm1::StartRequest(const SentRequest& request) {
    m_session->Start(request);
    m_sendPanel->ShowStopControl();
    m_view->ScrollChatToBottom();
}

void TForm1::StopRequest() {
    m_session->Stop();
}

bool TForm1::RunningChatShown() const {
    return RequestRunning() && m_session->RunningChat() == FGeminiDM.Chat();
}

void TForm1::RequestEnded(const RequestEnd& end) {
    if (end.Chat != FGeminiDM.Chat()) {
        RequestEndedElsewhere(end);
        return;
    }
    if (end.Live) {
        // The finished block is the one a whole answer gets; the footing is the page's alone.
        const AnswerFooting footing{
            .ContinueToken = end.ContinueToken, .Details = end.BrokeOff, .Stopped = end.Stopped};
        m_view->LiveView().Finish(
            end.Answer ? m_view->WithActions(
                             BuildModelItemHtml(*end.Answer, footing, m_view->Page().ActionToken()),
                             FGeminiDM.ChatHistory().size() - 1)
                       : QString());
    } else {
        for (const TContentPart& picture : end.Pictures)
            m_view->AddImageMessage(picture.MimeType, QString::fromLatin1(picture.Base64Data));
        if (end.Answer)
            m_view->AppendHtml(m_view->WithActions(
                BuildModelItemHtml(*end.Answer, {}, m_view->Page().ActionToken()),
                FGeminiDM.ChatHistory().size() - 1));
    }
    // A request that replaced part of the chat and failed has put it back.
    if (end.Restored)
        m_view->RebuildChatPage();
    if (!end.RetryToken.isEmpty())
        m_view->Page().RemoveRetryLinks();
    if (end.Failure)
        m_view->AddFailureMessage(*end.Failure, end.RetryToken);
    m_view->ShowLastAnswer();
    m_actions->SendEnded(end.Restored);
    FinishRequest();
    if (end.Stopped) {
        SetStatusText(QStringLiteral("Остановлено"));
    } else if (end.Failure) {
        SetStatusText(QStringLiteral("Ошибка"));
    } else if (const QString note = end.Answer ? StopNoteText(end.Answer->FinishReason) : QString();
               !note.isEmpty()) {
        SetStatusText(note);
    }
    if (!end.Live && !end.Failure)
        m_view->ScrollChatToBottom();
    // A request that can be sent again puts its prompt and files back, unless the user has
    // typed something meanwhile.
    AttachmentsPanel& attachments = m_sendPanel->Attachments();
    if (!end.RetryToken.isEmpty() && m_sendPanel->Prompt().isEmpty() &&
        attachments.AttachedFiles().isEmpty()) {
        m_sendPanel->SetPrompt(m_session->FailedRequest().Prompt);
        attachments.SetAttachedFiles(m_session->FailedRequest().Files);
        attachments.SetKeptFiles(m_session->FailedRequest().KeptFiles);
    }
}

void TForm1::RequestEndedElsewhere(const RequestEnd& end) {
    // Its links would be for a page that is not shown.
    m_session->ForgetLinks();
    const ParkedChatSave saved = FChats.SaveParked();
    EndBusyState();
    m_sendPanel->ShowUsage(m_session->LastUsage());
    if (!saved.Save) {
        FDialogs.ShowMessage(saved.Save.error().Message);
        return;
    }
    m_chatList->ShowSavedElsewhere(*saved.Save, saved.Entry);
    const QString chat = saved.Entry.DisplayName;
    if (end.Stopped)
        SetStatusText(QStringLiteral("Остановлено: «%1»").arg(chat));
    else if (end.Failure)
        SetStatusText(QStringLiteral("Ошибка в чате «%1»").arg(chat));
    else
        SetStatusText(QStringLiteral("Ответ получен в чате «%1»").arg(chat));
}

void TForm1::ForgetLastRequestLinks() {
    m_session->ForgetLinks();
    m_view->Page().RemoveRetryLinks();
}

void TForm1::RetryFailedRequest(const QString& token) {
    const std::optional<SentRequest> request = m_session->TakeRetry(token);
    if (!request)
        return;
    m_view->Page().RemoveRetryLinks();
    if (m_sendPanel->Prompt() == request->Prompt &&
        m_sendPanel->Attachments().AttachedFiles() == request->Files)
        m_sendPanel->ClearPromptAndAttachments();
    BeginRequest(*request);
}

void TForm1::ContinueAnswer(const QString& token) {
    const std::optional<SentRequest> request = m_session->TakeContinue(token);
    if (!request)
        return;
    m_view->Page().RemoveRetryLinks();
    m_view->AddUserMessage(request->Prompt, {});
    BeginRequest(*request);
}

void TForm1::EnterBusyState() {
    m_sendPanel->EnterBusyState();
    m_session->RestartClock();
    SetStatusText(QStringLiteral("Отправка запроса..."));
}

void TForm1::EndBusyState() {
    m_sendPanel->EndBusyState();
    SetStatusText(QStringLiteral("Готово"));
}

void TForm1::FinishRequest() {
    const ChatSave save = SaveCurrentChat();
    EndBusyState();
    UpdateContextTokens();
    m_sendPanel->ShowUsage(m_session->LastUsage());
    if (!save)
        FDialogs.ShowMessage(save.error().Message);
}
