#pragma once

#include "chat/LiveAnswer.h"
#include "chat/ChatState.h"
#include "conversation/ConversationModel.h"
#include "service/RequestTypes.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class TGeminiDM;

// A request as it was sent, kept until its answer is in so that a failure can put the
// prompt back and send the same parts again.
struct SentRequest {
    QString ApiKey = {};
    QString ModelName = {};
    QString Prompt = {};
    QStringList Files = {};
    // The files of an edited question, sent as its message kept them.
    TContentParts KeptFiles = {};
    // What a text request sends: the prompt and the files' contents.
    TContentParts Parts = {};
    bool Image = false;
    bool WebSearch = false;
    // An edited question or a new answer: the conversation before its later messages were
    // taken away for it. A request that ends with nothing kept puts it back.
    std::optional<TChatHistory> Replaced = {};
};

// How a request ended, as the window shows it.
struct RequestEnd {
    // The request's answer came as it was written and replaces the block that showed it.
    bool Live = false;
    bool Stopped = false;
    // The model message to show: what a streamed answer kept, or the words of an image
    // answer, whose pictures come first.
    std::optional<THistoryItem> Answer = {};
    TContentParts Pictures = {};
    // The answer can go on: the token of its "Продолжить" link.
    QString ContinueToken = {};
    // A streamed answer that broke off: what happened, under the answer.
    QString BrokeOff = {};
    // The failure block to show, after the answer when there is one.
    std::optional<RequestFailure> Failure = {};
    // The failure block's "Повторить": the request can be sent again as it was.
    QString RetryToken = {};
    // The request replaced part of the conversation and failed: the conversation is back
    // as it was before it, and the request is FailedRequest().
    bool Restored = false;
    // The chat the request was sent from, which has taken its answer; another chat may be
    // shown by now.
    std::shared_ptr<ChatState> Chat = {};
};

// The request of the open chat, from its start to its end, without widgets: the request
// running and the one that failed, the tokens of the last failure's "Повторить" and the
// last answer's "Продолжить", the answer as it comes, cancellation, the service's token
// counts and the time it has run.
class RequestSession : public QObject {
    Q_OBJECT

public:
    explicit RequestSession(TGeminiDM& conversation, QObject* parent = nullptr);
    ~RequestSession() override;

    bool Running() const;
    // Sends the request; the end comes by Ended, never before this returns.
    void Start(const SentRequest& request);
    // Ends the running request at once; what had arrived stays. Ended has been emitted
    // when this returns.
    void Stop();

    // The failed request behind the "Повторить" link of this token, its failed message
    // taken out of the conversation to be sent again in its place; nothing for a token that
    // is not the last failure's, or while a request runs.
    std::optional<SentRequest> TakeRetry(const QString& token);
    // The follow-up that asks the model to go on after the answer whose "Продолжить" link
    // has this token: to the same model, with the same key and web search.
    std::optional<SentRequest> TakeContinue(const QString& token);
    // The links lose their use once another request goes or another chat is shown.
    void ForgetLinks();
    // The request of the last failure, for putting its prompt and files back.
    const SentRequest& FailedRequest() const { return m_failedRequest; }

    // The chat the running request answers into; kept after it ends until the next starts.
    const std::shared_ptr<ChatState>& RunningChat() const { return m_runningChat; }
    // The running answer's text so far.
    QString LiveText() const { return m_liveAnswer ? m_liveAnswer->Text() : QString(); }

    // The service's own counts for the last answer; none after a stopped or failed one.
    const std::optional<TokenUsage>& LastUsage() const { return m_lastUsage; }

    // The seconds since the user sent, counted by the window's timer.
    void RestartClock();
    void Tick();
    int Seconds() const { return m_seconds; }
    // "mm:ss".
    static QString ElapsedText(int seconds);
    // The live answer's status line: thinking or typing with the time, or the retry notice.
    QString LiveStatus() const;

Q_SIGNALS:
    // A streamed answer begins: its block shows this status until the first text.
    void LiveStarted(const QString& status);
    void LiveTextChanged(const QString& textSoFar);
    void LiveStatusChanged(const QString& status);
    void Ended(const RequestEnd& end);

private:
    void StartLiveAnswer(const SentRequest& request);
    void LiveAnswerGrew(const QString& textSoFar, bool thinking);
    void LiveAnswerRetrying(int seconds);
    void LiveAnswerEnded(const AnswerEnd& end);
    void ImageRequestDone(const RequestResult& result);
    void emitEnded(RequestEnd end);
    // The failure of the running request, with a "Повторить" token for it.
    RequestEnd FailedEnd(const RequestFailure& failure, bool live, bool stopped);

    TGeminiDM& m_conversation;
    SentRequest m_runningRequest;
    std::shared_ptr<ChatState> m_runningChat;
    std::shared_ptr<LiveAnswer> m_liveAnswer;
    // Set while an image request runs; setting it abandons the request.
    CancelFlag m_imageCancel;
    QString m_retryToken;
    SentRequest m_failedRequest;
    QString m_continueToken;
    SentRequest m_continueRequest;
    std::optional<TokenUsage> m_lastUsage;
    int m_seconds = 0;
    // "Повтор через N с…" while a retry is awaited.
    QString m_retryNotice;
    // Only thoughts have come so far.
    bool m_thinking = false;
};
