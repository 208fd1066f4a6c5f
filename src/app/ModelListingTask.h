#pragma once

#include "service/ModelList.h"

#include <functional>

class QObject;

// Asks the service for its models on a thread of its own. `done` runs on the
// user-interface thread, and only while `context` still exists.
void ListModelsInBackground(const ServiceEndpoint& endpoint, const QString& apiKey,
                            QObject* context, std::function<void(const ModelListing&)> done);
