#pragma once

#include "ConversationModel.h"
#include "RequestTypes.h"

#include <QThread>

#include <memory>

// One request to the model service on a thread of its own. It is started by one of the
// factory functions, sends its request once, delivers the outcome on the user-interface
// thread and then deletes itself; its creator keeps no reference to it. It works only on
// its own copy of the conversation.
class TGeminiRequestThread final : public QThread {
    Q_OBJECT

public:
    // A text answer to a conversation, delivered once.
    static void Create(const ServiceEndpoint& AEndpoint, const QString& AApiKey,
                       const QString& AModelName, const TChatHistory& AHistory,
                       bool AUseGoogleSearch, OutcomeCallback ACallback);
    // The same request answered as a stream: chunks in order, then one final delivery.
    static void Create(const ServiceEndpoint& AEndpoint, const QString& AApiKey,
                       const QString& AModelName, const TChatHistory& AHistory,
                       bool AUseGoogleSearch, StreamDeliveryCallback AStreamCallback);
    // A picture for one prompt, without history or web search.
    static void CreateForImage(const ServiceEndpoint& AEndpoint, const QString& AApiKey,
                               const QString& AModelName, const QString& APrompt,
                               OutcomeCallback ACallback);

protected:
    void run() override;

private:
    TGeminiRequestThread(const ServiceEndpoint& AEndpoint, TRequestType ARequestType,
                         const QString& AApiKey, const QString& AModelName);

    RequestOutcome ExecuteOneShot() const;
    void ExecuteStream() const;
    void SyncResult();
    void QueueStreamChunk(const QString& AChunk, bool AIsFinal, bool AIsFailure) const;

    ServiceEndpoint FEndpoint;
    QString FApiKey;
    QString FModelName;
    TChatHistory FHistory;
    QString FPrompt;
    OutcomeCallback FCallback;
    // Shared with the queued deliveries, which may still run after the thread is gone.
    std::shared_ptr<const StreamDeliveryCallback> FStreamCallback;
    TRequestType FRequestType;
    RequestOutcome FResult;
    bool FUseGoogleSearch = false;
};
