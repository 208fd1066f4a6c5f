#pragma once

#include "conversation/ConversationModel.h"
#include "service/ChatParameters.h"
#include "service/ServiceSettings.h"
#include "text/Expected.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

// The three kinds of request the model service is asked.
enum class TRequestType { rtGenerateContent, rtStreamContent, rtGenerateImage };

// What a caller of the generation operations receives: one outcome string, or the
// chunks of a streamed answer followed by one final delivery.
using TStringCallback = std::function<void(const QString&)>;
using TStreamCallback = std::function<void(const QString& chunk, bool isFinal)>;

// The service's own token counts for one answer.
struct TokenUsage {
    int Prompt = 0;
    int Answer = 0;
    int Thinking = 0;
    int Total = 0;

    bool operator==(const TokenUsage&) const = default;
};

// What an answer tells beside its text.
struct AnswerFacts {
    std::optional<TokenUsage> Usage;
    QList<WebSource> Sources;
    QList<Citation> Citations;
    // Why the model stopped, or why the prompt was refused, as the service names it.
    QString FinishReason;
    QString BlockReason;
    // The message of an error object the service put in a successful answer or an event.
    QString ServiceError;
};

// What kind of failure it was, for telling the user what to do about it. ConnectionLost:
// the answer had begun and the connection broke before its end.
enum class FailureCause { Other, NoConnection, TimedOut, HttpStatus, ConnectionLost };

// What the model answered: everything it brought, in order (text, thoughts, pictures,
// function calls and code), and what it told beside.
struct ModelAnswer {
    TContentParts Parts = {};
    AnswerFacts Facts = {};

    // The answer's words, thoughts left out.
    QString Text() const { return AnswerText(Parts); }
};

// Why a request ended without an answer, decided where that was seen: nothing later
// guesses it from the text, as a model may well answer with a sentence that starts with
// "Ошибка".
struct RequestFailure {
    // What the user is shown.
    QString Text = {};
    FailureCause Cause = FailureCause::Other;
    // The answer's status code, for FailureCause::HttpStatus.
    int HttpStatus = 0;
    // From the service's error details: the reason it names ("API_KEY_INVALID") and the
    // wait it asks for before another try, in whole seconds (0 when it names none).
    QString ErrorReason = {};
    int RetryDelaySeconds = 0;
    // What of the answer had come before the failure; it is kept, and shown above it.
    ModelAnswer Arrived = {};
};

// How a request ends.
using RequestResult = Expected<ModelAnswer, RequestFailure>;

// What arrived either way: the whole answer, or what came before the failure.
inline const ModelAnswer& WhatArrived(const RequestResult& result) {
    return result ? *result : result.error().Arrived;
}

// One delivery of a streamed request to the user-interface thread: a chunk of the answer,
// a notice that the request is tried again after a pause, or the end.
struct StreamDelivery {
    enum class Kind { Chunk, Retrying, Final };
    Kind What = Kind::Chunk;
    // A chunk's answer text, and all the parts its event brought.
    QString Text = {};
    TContentParts Parts = {};
    int RetryInSeconds = 0;
    // On the final delivery: how the request ended, with every part the chunks brought.
    RequestResult Result = {};
};

using ResultCallback = std::function<void(const RequestResult&)>;
using StreamDeliveryCallback = std::function<void(const StreamDelivery&)>;

// Set by the user-interface thread to stop a request; the request thread reads it.
using CancelFlag = std::shared_ptr<std::atomic<bool>>;
inline CancelFlag MakeCancelFlag() {
    return std::make_shared<std::atomic<bool>>(false);
}

// Where requests go, how long a silent connection is tolerated and through which proxy,
// and what every request of the run shares.
struct ServiceEndpoint {
    QString BaseUrl;
    int ReadTimeoutMs = 0;
    ProxySettings Proxy;
    // Thinking models are asked for summaries of their thoughts.
    bool IncludeThoughts = false;
    // What the open chat asks of the model beside its messages.
    ChatParameters Parameters = {};
    // Called on the user-interface thread each time a request reached the service (the
    // service answered it, even with a failure): what the service counts. Not for requests
    // that never got there (no connection, a proxy that is down).
    std::function<void(const QString& apiKey, const QString& modelName)> RequestSent = {};
};
