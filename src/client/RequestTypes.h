#pragma once

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
struct TRequestOutcome {
    QString Text;
    bool IsFailure = false;
};

using TOutcomeCallback = std::function<void(const TRequestOutcome&)>;
using TStreamDeliveryCallback =
    std::function<void(const QString& chunk, bool isFinal, bool isFailure)>;

// Where requests go and how long a silent connection is tolerated.
struct TServiceEndpoint {
    QString BaseUrl;
    int ReadTimeoutMs = 0;
};
