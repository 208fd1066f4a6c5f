#include "chat/RequestSession.h"

#include "chat/GeminiDM.h"
#include "chat/GenerationHandlers.h"

#include <QPointer>
#include <QUuid>

namespace {

QString newToken() {
    return QUuid::createUuid().toString(QUuid::Id128);
}

} // namespace

RequestSession::RequestSession(TGeminiDM& conversation, QObject* parent)
    : QObject(parent), m_conversation(conversation) {}

// A request still running is abandoned: its answer has nowhere to go.
RequestSession::~RequestSession() {
    if (m_imageCancel)
        m_imageCancel->store(true);
    if (m_liveAnswer)
        m_liveAnswer->Cancel()->store(true);
}

bool RequestSession::Running() const {
    return (m_liveAnswer && m_liveAnswer->Running()) || m_imageCancel;
}

void RequestSession::Start(const SentRequest& request) {
    m_runningRequest = request;
    m_runningChat = m_conversation.Chat();
    if (!request.Image) {
        StartLiveAnswer(request);
        return;
    }
    const QPointer<RequestSession> session(this);
    m_imageCancel = MakeCancelFlag();
    m_conversation.GenerateImage(request.ApiKey, request.ModelName, request.Prompt,
                                 ResultCallback([session](const RequestResult& result) {
                                     if (session)
                                         session->ImageRequestDone(result);
                                 }),
                                 m_imageCancel);
}

void RequestSession::StartLiveAnswer(const SentRequest& request) {
    m_retryNotice.clear();
    m_thinking = false;
    Q_EMIT LiveStarted(LiveStatus());
    const QPointer<RequestSession> session(this);
    m_liveAnswer = m_conversation.StreamAnswer(
        request.ApiKey, request.ModelName, request.Parts, request.WebSearch,
        {[session](const QString& text, bool thinking) {
             if (session)
                 session->LiveAnswerGrew(text, thinking);
         },
         [session](int seconds) {
             if (session)
                 session->LiveAnswerRetrying(seconds);
         },
         [session](const AnswerEnd& end) {
             if (session)
                 session->LiveAnswerEnded(end);
         }});
}

void RequestSession::Stop() {
    if (m_liveAnswer) {
        // Ends the answer, and with it the request, before it returns.
        m_liveAnswer->Stop();
        return;
    }
    if (!m_imageCancel)
        return;
    m_imageCancel->store(true);
    m_imageCancel.reset();
    m_lastUsage.reset();
    emitEnded(FailedEnd({QStringLiteral("Остановлено")}, false, true));
}

RequestEnd RequestSession::FailedEnd(const RequestFailure& failure, bool live, bool stopped) {
    m_failedRequest = m_runningRequest;
    RequestEnd end{.Live = live, .Stopped = stopped};
    end.Failure = failure;
    // An edit or a new answer that brought nothing leaves the conversation as it was; it
    // is asked for again the way it was asked for, not by "Повторить".
    if (m_runningRequest.Replaced) {
        m_runningChat->History = *m_runningRequest.Replaced;
        end.Restored = true;
        return end;
    }
    m_retryToken = newToken();
    end.RetryToken = m_retryToken;
    return end;
}

void RequestSession::ImageRequestDone(const RequestResult& result) {
    m_imageCancel.reset();
    m_lastUsage = WhatArrived(result).Facts.Usage;
    if (!result) {
        emitEnded(FailedEnd(result.error(), false, false));
        return;
    }
    // The pictures first, as they are kept with the request, then any words that came.
    const PicturesAndWords answer = SplitImageAnswer(result->Parts);
    RequestEnd end;
    end.Pictures = answer.Pictures;
    if (HasAnswerContent(answer.Words))
        end.Answer = ModelMessageFromParts(answer.Words, result->Facts);
    emitEnded(std::move(end));
}

void RequestSession::LiveAnswerGrew(const QString& textSoFar, bool thinking) {
    m_retryNotice.clear();
    m_thinking = thinking;
    Q_EMIT LiveStatusChanged(LiveStatus());
    Q_EMIT LiveTextChanged(textSoFar);
}

void RequestSession::LiveAnswerRetrying(int seconds) {
    m_retryNotice = QStringLiteral("Повтор через %1 с…").arg(seconds);
    Q_EMIT LiveStatusChanged(LiveStatus());
}

void RequestSession::LiveAnswerEnded(const AnswerEnd& answer) {
    m_liveAnswer.reset();
    // A stopped or failed answer has no count: an older one is not shown as if it were.
    m_lastUsage = WhatArrived(answer.Result).Facts.Usage;
    if (!answer.Kept) {
        // With nothing kept the request can be sent again as it was.
        emitEnded(FailedEnd(answer.Result.error(), true, answer.Stopped));
        return;
    }
    RequestEnd end{.Live = true, .Stopped = answer.Stopped};
    end.Answer = answer.Kept;
    const QString& reason = answer.Kept->FinishReason;
    if (CanContinue(reason)) {
        m_continueToken = newToken();
        m_continueRequest = m_runningRequest;
        end.ContinueToken = m_continueToken;
    }
    // A connection that broke after part of the answer leaves the answer and a note that
    // can go on; any other failure is told in a block of its own under what was kept.
    const bool brokeOff = reason == kConnectionLost || reason == kAnswerTimedOut;
    if (brokeOff)
        end.BrokeOff = answer.Result.error().Text;
    else if (!answer.Result)
        end.Failure = answer.Result.error();
    emitEnded(std::move(end));
}

void RequestSession::emitEnded(RequestEnd end) {
    end.Chat = m_runningChat;
    Q_EMIT Ended(end);
}

std::optional<SentRequest> RequestSession::TakeRetry(const QString& token) {
    if (token.isEmpty() || token != m_retryToken || Running())
        return std::nullopt;
    ForgetLinks();
    // The failed message is still the conversation's last: it is sent again in its place.
    TChatHistory& history = m_conversation.ChatHistory();
    if (!history.isEmpty() && history.last().Role == u"user" && !history.last().Failure.isEmpty())
        history.removeLast();
    return m_failedRequest;
}

std::optional<SentRequest> RequestSession::TakeContinue(const QString& token) {
    if (token.isEmpty() || token != m_continueToken || Running())
        return std::nullopt;
    ForgetLinks();
    SentRequest request = m_continueRequest;
    request.Prompt = ContinuePrompt();
    request.Files.clear();
    request.Parts = {MakeTextPart(request.Prompt)};
    request.Image = false;
    return request;
}

void RequestSession::ForgetLinks() {
    m_retryToken.clear();
    m_continueToken.clear();
}

void RequestSession::RestartClock() {
    m_seconds = 0;
}

void RequestSession::Tick() {
    ++m_seconds;
    if (m_liveAnswer)
        Q_EMIT LiveStatusChanged(LiveStatus());
}

QString RequestSession::ElapsedText(int seconds) {
    return QString::asprintf("%.2d:%.2d", seconds / 60, seconds % 60);
}

QString RequestSession::LiveStatus() const {
    if (!m_retryNotice.isEmpty())
        return m_retryNotice;
    return (m_thinking ? QStringLiteral("Размышляет… ") : QStringLiteral("Печатает… ")) +
           ElapsedText(m_seconds);
}
