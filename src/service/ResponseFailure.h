#pragma once

#include "service/HttpPost.h"
#include "service/RequestTypes.h"

// The transfer settings of a request to the endpoint.
HttpOptions HttpOptionsOf(const ServiceEndpoint& endpoint);

// Whether a response is an answer to read: complete, not refused, with a success status.
bool IsUsable(const HttpResponse& response);

// The failure of a response that is no usable answer: its text and what caused it.
RequestFailure FailureOf(const HttpResponse& response);
