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
struct RequestOutcome {
    QString Text;
    bool IsFailure = false;
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
