#include "service/ResponseFailure.h"

#include "service/AnswerReading.h"

namespace {

using namespace Qt::StringLiterals;

} // namespace

HttpOptions HttpOptionsOf(const ServiceEndpoint& endpoint) {
    return {endpoint.ReadTimeoutMs, endpoint.Proxy, {}};
}

bool IsUsable(const HttpResponse& response) {
    return response.Refusal == HttpRefusal::None && !response.Failure &&
           !response.ProxyAuthenticationRequired && response.IsSuccess();
}

RequestOutcome FailureOutcome(const HttpResponse& response) {
    switch (response.Refusal) {
    case HttpRefusal::BodyTooLarge:
        return {u"Ошибка: ответ сервера больше 128 МБ, он не принят."_s, true};
    case HttpRefusal::HeadersTooLarge:
        return {u"Ошибка: заголовки ответа сервера слишком велики, ответ не принят."_s, true};
    case HttpRefusal::None:
        break;
    }
    if (response.ProxyAuthenticationRequired)
        return {ProxyAuthenticationText(), true};
    if (response.Failure) {
        RequestOutcome outcome{ExceptionText(response.Failure->Kind, response.Failure->Message),
                               true};
        const QString& kind = response.Failure->Kind;
        if (kind == u"ConnectionError" || kind == u"NameResolutionError")
            outcome.Cause = FailureCause::NoConnection;
        else if (kind == u"TimeoutError")
            outcome.Cause = FailureCause::TimedOut;
        else if (response.Failure->ConnectionLost)
            outcome.Cause = FailureCause::ConnectionLost;
        return outcome;
    }
    const ServiceErrorDetails details = ReadErrorDetails(response.Body);
    RequestOutcome outcome{HttpErrorText(response.StatusLine, response.StatusCode, response.Body),
                           true, FailureCause::HttpStatus, response.StatusCode};
    outcome.ErrorReason = details.Reason;
    outcome.RetryDelaySeconds = details.RetryDelaySeconds;
    return outcome;
}
