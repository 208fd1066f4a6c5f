#pragma once

#include "conversation/ConversationModel.h"
#include "service/ChatParameters.h"
#include "service/RequestTypes.h"

#include <QByteArray>
#include <QString>

// The address of a request: base address, model and method; the model name (with an
// optional "models/" or "tunedModels/") goes in as one percent-encoded path segment. The
// key never goes in the address, where proxies and gateways log it.
QByteArray RequestUrl(const QString& baseUrl, TRequestType type, const QString& modelName);

// The header line that carries the key.
QByteArray ApiKeyHeader(const QString& apiKey);

// The JSON bodies the service is sent, in the program's JSON text form. Empty text parts,
// and items left with no parts, are not sent: the service refuses a request that holds
// one, so a chat saved with one would fail for good. Nor are a model's thoughts (they are
// its notes, not its answer), function calls (the service would expect their results) or
// messages whose request failed. A thought signature goes back with its part.
// includeThoughts asks the model for its thought summaries; the chat's parameters give the
// system instruction, the generation settings and the safety thresholds.
QByteArray BuildContentRequestBody(const TChatHistory& history, bool useGoogleSearch,
                                   bool includeThoughts = false,
                                   const ChatParameters& parameters = {});
// A picture request takes only the chat's safety thresholds.
QByteArray BuildImageRequestBody(const QString& prompt, const ChatParameters& parameters = {});
