#pragma once

#include "service/RequestTypes.h"
#include "text/Expected.h"
#include "text/TextDecoding.h"

#include <QString>
#include <QStringList>

// Why the service gave no model list, decided where the answer was read.
struct ModelListFailure {
    enum class Kind { KeyRefused, ProxyRefused, Unreachable, TimedOut, Failed };

    Kind What = Kind::Failed;
    // The failure text, as a failed request gives it.
    QString Text;
};

// The models that answer generateContent, named without "models/", in the service's
// order; or why there are none.
using ModelListing = Expected<QStringList, ModelListFailure>;

// Asks the service for its models (GET v1beta/models, the key in a header), page after
// page. Blocks until done: run it off the user-interface thread.
ModelListing ListGenerativeModels(const ServiceEndpoint& endpoint, const QString& apiKey);

// Whether a model name is one the service could give: letters, digits, ".", "_" and "-"
// (at least one letter or digit), after an optional "models/" or "tunedModels/". Nothing
// else goes into a request's address.
bool IsValidModelName(const QString& name);
// Why a name is refused, for the user.
QString InvalidModelNameMessage(const QString& name);

// The current model names with the listed ones that are new to it appended in order; a
// listed name that is not valid is left out.
// Names are compared ignoring letter case, as the model box compares them; the current
// names stay as they are, the user's own included.
QStringList MergeModelNames(const QStringList& current, const QStringList& listed);

// What a listing brings to the model list kept in a list file of format.
struct ModelListAddition {
    // The names MergeModelNames adds, as many as keep the file within kMaxSmallFileSize:
    // above it the file would not be read back. A listing of hundreds of thousands of names
    // is the service's to send, not the list's to keep.
    QStringList Added;
    // Listed names that are not valid.
    qsizetype Refused = 0;
    // New names the file has no room for.
    qsizetype LeftOut = 0;
};
ModelListAddition NewModelNames(const QStringList& current, const QStringList& listed,
                                TextFormat format);
