#pragma once

#include "chat/ChatState.h"
#include "conversation/ConversationModel.h"
#include "service/RequestTypes.h"

#include <memory>

// The model message for an answer given as one string: an image description becomes an
// inline part, any other text one text part holding the answer whole. The sources it was
// grounded on go with it.
THistoryItem ModelMessageFromAnswer(const QString& AAnswer, const QList<WebSource>& ASources = {});

// The model message for the parts of an answer, with its sources, its citations and why it
// stopped when that was not the normal end. An answer that is one text part holding an
// image description is kept as that picture, as a string answer is.
THistoryItem ModelMessageFromParts(const TContentParts& AParts, const AnswerFacts& AFacts);

// An image answer as the conversation keeps it and the window shows it: its complete
// pictures, and the words and anything else that came with them. A picture whose data
// did not come whole is left out.
struct PicturesAndWords {
    TContentParts Pictures;
    TContentParts Words;
};
PicturesAndWords SplitImageAnswer(const TContentParts& AParts);

// Receives a text answer on the user-interface thread: records it in the conversation, or
// marks the request's message as failed, then passes the result to the caller.
class ContentCompletionHandler {
public:
    ContentCompletionHandler(std::shared_ptr<ChatState> AChat, qsizetype AUserIndex,
                             ResultCallback ACallback);
    void operator()(const RequestResult& AResult) const;

private:
    std::shared_ptr<ChatState> FChat;
    qsizetype FUserIndex;
    ResultCallback FCallback;
};

// Receives the deliveries of a streamed answer: passes each to the caller first, gathers
// the chunks, and records the whole answer after the final delivery unless the request
// failed or the answer is blank (then the request's message is marked as failed).
class StreamHandler {
public:
    StreamHandler(std::shared_ptr<ChatState> AChat, qsizetype AUserIndex,
                  TStreamCallback AStreamCallback);
    void operator()(const StreamDelivery& ADelivery);

private:
    std::shared_ptr<ChatState> FChat;
    qsizetype FUserIndex;
    TStreamCallback FStreamCallback;
    QString AccumulatedResult;
};
