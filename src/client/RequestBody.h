#pragma once

#include "ConversationModel.h"
#include "RequestTypes.h"

#include <QByteArray>
#include <QString>

// The address of a request: base address, model and method, the key in the query.
// Model name and key go in verbatim.
QByteArray RequestUrl(const QString& baseUrl, TRequestType type, const QString& modelName,
                      const QString& apiKey);

// The JSON bodies the service is sent, in the program's JSON text form.
QByteArray BuildContentRequestBody(const TChatHistory& history, bool useGoogleSearch);
QByteArray BuildImageRequestBody(const QString& prompt);
