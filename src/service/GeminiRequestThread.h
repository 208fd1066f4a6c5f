#pragma once

#include "conversation/ConversationModel.h"
#include "service/HttpPost.h"
#include "service/RequestTypes.h"

#include <QThread>

#include <memory>

// One request to the model service on a thread of its own. It is started by one of the
// factory functions, sends its request (again after a pause when the service is briefly
// unavailable, RetryPolicy.h), delivers the outcome on the user-interface thread and then
// deletes itself; its creator keeps no reference to it, only the cancel flag, which ends
// the transfer or the pause at once. It works only on its own copy of the conversation.
class TGeminiRequestThread final : public QThread {
    Q_OBJECT

public:
    // A text answer to a conversation, delivered once.
    static void Create(const ServiceEndpoint& AEndpoint, const QString& AApiKey,
                       const QString& AModelName, const TChatHistory& AHistory,
                       bool AUseGoogleSearch, ResultCallback ACallback,
                       CancelFlag ACancel = MakeCancelFlag());
    // The same request answered as a stream: chunks in order, then one final delivery.
    static void Create(const ServiceEndpoint& AEndpoint, const QString& AApiKey,
                       const QString& AModelName, const TChatHistory& AHistory,
                       bool AUseGoogleSearch, StreamDeliveryCallback AStreamCallback,
                       CancelFlag ACancel = MakeCancelFlag());
    // A picture for one prompt, without history or web search.
    static void CreateForImage(const ServiceEndpoint& AEndpoint, const QString& AApiKey,
                               const QString& AModelName, const QString& APrompt,
                               ResultCallback ACallback, CancelFlag ACancel = MakeCancelFlag());

protected:
    void run() override;

private:
    TGeminiRequestThread(const ServiceEndpoint& AEndpoint, TRequestType ARequestType,
                         const QString& AApiKey, const QString& AModelName, CancelFlag ACancel);

    RequestResult ExecuteOneShot() const;
    void ExecuteStream() const;
    // Posts the body, again after the pause the service asks for while it is briefly
    // unavailable. Succeeds when the response is an answer to read.
    Expected<void, RequestFailure> Post(const QByteArray& ABody, const HttpBodySink& ASink,
                                        HttpResponse& AResponse) const;
    // Sleeps unless stopped meanwhile; false when stopped.
    bool PauseUnlessCancelled(int AMilliseconds) const;
    void SyncResult();
    // Tells the endpoint's RequestSent, on the user-interface thread.
    void ReportSent() const;
    void QueueStreamDelivery(const StreamDelivery& ADelivery) const;
    // Adds an event's chunk to those waiting for the user-interface thread.
    void QueueChunk(QString AText, const TContentParts& AParts) const;

    ServiceEndpoint FEndpoint;
    QString FApiKey;
    QString FModelName;
    TChatHistory FHistory;
    QString FPrompt;
    ResultCallback FCallback;
    // Shared with the queued deliveries, which may still run after the thread is gone.
    std::shared_ptr<const StreamDeliveryCallback> FStreamCallback;
    struct ChunkMailbox;
    std::shared_ptr<ChunkMailbox> FChunks;
    TRequestType FRequestType;
    CancelFlag FCancel;
    RequestResult FResult;
    bool FUseGoogleSearch = false;
};
