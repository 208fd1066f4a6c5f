#pragma once

#include "ServiceSettings.h"

#include <QString>

#include <functional>

// The three kinds of request the model service is asked.
enum class TRequestType { rtGenerateContent, rtStreamContent, rtGenerateImage };

// What a caller of the generation operations receives: one outcome string, or the
// chunks of a streamed answer followed by one final delivery.
using TStringCallback = std::function<void(const QString&)>;
using TStreamCallback = std::function<void(const QString& chunk, bool isFinal)>;

// What a request thread hands back. Whether the text stands for a failure is decided
// where the failure happens, never guessed from the text: a model may well answer with
// a sentence that starts with "Ошибка".
// What kind of failure it was, for telling the user what to do about it.
enum class FailureCause { Other, NoConnection, TimedOut, HttpStatus };

struct RequestOutcome {
    QString Text;
    bool IsFailure = false;
    FailureCause Cause = FailureCause::Other;
    // The answer's status code, for FailureCause::HttpStatus.
    int HttpStatus = 0;
    // From the service's error details: the reason it names ("API_KEY_INVALID") and the
    // wait it asks for before another try, in whole seconds (0 when it names none).
    QString ErrorReason = {};
    int RetryDelaySeconds = 0;
};

using OutcomeCallback = std::function<void(const RequestOutcome&)>;
using StreamDeliveryCallback =
    std::function<void(const QString& chunk, bool isFinal, bool isFailure)>;

// Where requests go, how long a silent connection is tolerated and through which proxy.
struct ServiceEndpoint {
    QString BaseUrl;
    int ReadTimeoutMs = 0;
    ProxySettings Proxy;
};
