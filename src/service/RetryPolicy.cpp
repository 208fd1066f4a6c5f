#include "service/RetryPolicy.h"

#include "text/JsonText.h"
#include "service/ServiceJson.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

using namespace Qt::StringLiterals;

constexpr int kFirstBackoffMs = 2000;

// A protobuf Duration in its JSON form, "37s" or "1.5s", or as an object of seconds and
// nanoseconds; nothing when it is neither.
std::optional<int> durationMs(const QJsonValue& value) {
    double seconds = -1;
    if (value.isString()) {
        QString text = value.toString().trimmed();
        if (!text.endsWith(u's'))
            return std::nullopt;
        text.chop(1);
        bool ok = false;
        seconds = text.toDouble(&ok);
        if (!ok)
            return std::nullopt;
    } else if (value.isObject()) {
        const QJsonObject duration = value.toObject();
        seconds = JsonValueAsString(duration.value("seconds"_L1)).value_or(u"0"_s).toDouble() +
                  duration.value("nanos"_L1).toDouble() / 1e9;
    }
    if (!(seconds >= 0)) // negative, or not a number
        return std::nullopt;
    // Anything past a day is as good as a day, and fits an int.
    return int(std::ceil(std::min(seconds, 24.0 * 3600) * 1000));
}

} // namespace

std::optional<int> RetryDelayMs(QByteArrayView errorBody) {
    const std::optional<QJsonValue> parsed = ParseJsonText(errorBody);
    if (!parsed || !parsed->isObject())
        return std::nullopt;
    const QJsonObject error = parsed->toObject().value("error"_L1).toObject();
    for (const QJsonValue& detail : error.value("details"_L1).toArray()) {
        const QJsonObject object = detail.toObject();
        if (!object.value("@type"_L1).toString().endsWith(u"google.rpc.RetryInfo"))
            continue;
        if (const std::optional<int> delay = durationMs(ServiceMember(object, "retry_delay"_L1)))
            return delay;
    }
    return std::nullopt;
}

std::optional<int> RetryAfterMs(QByteArrayView headerValue) {
    const QByteArrayView digits = headerValue.trimmed();
    if (digits.isEmpty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return int(std::min<qint64>(digits.toLongLong() * 1000, 24 * 3600 * 1000));
}

RetryAdvice AdviseRetry(int statusCode, QByteArrayView errorBody, int retriesDone) {
    return AdviseRetry(statusCode, errorBody, retriesDone, std::nullopt);
}

RetryAdvice AdviseRetry(int statusCode, QByteArrayView errorBody, int retriesDone,
                        std::optional<int> retryAfterHeaderMs) {
    using enum RetryAdvice::Kind;
    if (statusCode != 429 && statusCode != 500 && statusCode != 503)
        return {};
    std::optional<int> asked = RetryDelayMs(errorBody);
    if (!asked)
        asked = retryAfterHeaderMs;
    if (asked && *asked > kLongestRetryDelayMs)
        return {WaitTooLong, *asked};
    if (retriesDone >= kMaxRetries)
        return {};
    if (asked)
        return {RetryAfter, *asked};
    // A quota refusal that names no delay will not clear in seconds.
    if (statusCode == 429)
        return {};
    return {RetryAfter, kFirstBackoffMs << retriesDone};
}

int DelaySeconds(int delayMs) {
    return (delayMs + 999) / 1000;
}
