#pragma once

#include "service/RequestTypes.h"

#include <QString>
#include <QStringList>

// What the service said when asked for its models, decided where the answer was read.
struct ModelListing {
    enum class Status { Listed, KeyRefused, ProxyRefused, Unreachable, TimedOut, Failed };

    Status Result = Status::Failed;
    // The models that answer generateContent, named without "models/", in the service's order.
    QStringList Models;
    // Otherwise the failure text, as a failed request gives it.
    QString FailureText;
};

// Asks the service for its models (GET v1beta/models, the key in a header), page after
// page. Blocks until done: run it off the user-interface thread.
ModelListing ListGenerativeModels(const ServiceEndpoint& endpoint, const QString& apiKey);

// The current model names with the listed ones that are new to it appended in order.
// Names are compared ignoring letter case, as the model box compares them; the current
// names stay as they are, the user's own included.
QStringList MergeModelNames(const QStringList& current, const QStringList& listed);
