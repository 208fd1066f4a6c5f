#pragma once

#include "ConversationModel.h"
#include "GeminiDM.h"
#include "RequestTypes.h"

#include <QPointer>

#include <optional>

// The model message for an answer: an image description becomes an inline part, any other
// text one text part holding the answer whole. The sources it was grounded on go with it.
THistoryItem ModelMessageFromAnswer(const QString& AAnswer, const QList<WebSource>& ASources = {});

// An image description (the "mime_type" and "base64_data" members) with both members
// filled, as an inline part; nothing for any other text.
std::optional<TContentPart> ImageFromDescription(const QString& ADescription);

// Receives a text answer on the user-interface thread: records it in the conversation
// unless the request failed, then passes the outcome to the caller.
class ContentCompletionHandler {
public:
    ContentCompletionHandler(TGeminiDM& ADataModule, OutcomeCallback ACallback);
    void operator()(const RequestOutcome& AOutcome) const;

private:
    QPointer<TGeminiDM> FDataModule;
    OutcomeCallback FCallback;
};

// Receives the deliveries of a streamed answer: passes each to the caller first, gathers
// the chunks, and records the whole answer after the final delivery unless the request
// failed or the answer is blank.
class StreamHandler {
public:
    StreamHandler(TGeminiDM& ADataModule, TStreamCallback AStreamCallback);
    void operator()(const StreamDelivery& ADelivery);

private:
    QPointer<TGeminiDM> FDataModule;
    TStreamCallback FStreamCallback;
    QString AccumulatedResult;
};
