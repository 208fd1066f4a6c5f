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

RequestFailure FailureOf(const HttpResponse& response) {
    switch (response.Refusal) {
    case HttpRefusal::BodyTooLarge:
        return {u"Ошибка: ответ сервера больше 128 МБ, он не принят."_s};
    case HttpRefusal::HeadersTooLarge:
        return {u"Ошибка: заголовки ответа сервера слишком велики, ответ не принят."_s};
    case HttpRefusal::None:
        break;
    }
    if (response.ProxyAuthenticationRequired)
        return {ProxyAuthenticationText()};
    if (response.Failure) {
        RequestFailure failure{ExceptionText(response.Failure->Kind, response.Failure->Message)};
        const QString& kind = response.Failure->Kind;
        if (kind == u"ConnectionError" || kind == u"NameResolutionError")
            failure.Cause = FailureCause::NoConnection;
        else if (kind == u"TimeoutError")
            failure.Cause = FailureCause::TimedOut;
        else if (response.Failure->ConnectionLost)
            failure.Cause = FailureCause::ConnectionLost;
        return failure;
    }
    const ServiceErrorDetails details = ReadErrorDetails(response.Body);
    return {.Text = HttpErrorText(response.StatusLine, response.StatusCode, response.Body),
            .Cause = FailureCause::HttpStatus,
            .HttpStatus = response.StatusCode,
            .ErrorReason = details.Reason,
            .RetryDelaySeconds = details.RetryDelaySeconds};
}
