#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// Whether a refused request is sent again. 429 and 503 that name a retry delay of at most
// a minute are retried after it; 500 and 503 without one after 2, 4 and 8 seconds; never
// more than three times. A quota refusal that asks for a longer wait fails at once.
struct RetryAdvice {
    enum class Kind { GiveUp, RetryAfter, WaitTooLong };
    Kind What = Kind::GiveUp;
    int DelayMs = 0;
};

inline constexpr int kMaxRetries = 3;
inline constexpr int kLongestRetryDelayMs = 60000;

RetryAdvice AdviseRetry(int statusCode, QByteArrayView errorBody, int retriesDone);
// The same where the answer's headers can be read too: a Retry-After header stands for the
// delay when the body names none (the file service's upload addresses send one).
RetryAdvice AdviseRetry(int statusCode, QByteArrayView errorBody, int retriesDone,
                        std::optional<int> retryAfterHeaderMs);

// The delay of a Retry-After header given in seconds, in milliseconds; nothing for a date
// or anything else.
std::optional<int> RetryAfterMs(QByteArrayView headerValue);

// The delay the service asks for in the RetryInfo of its error details, in milliseconds,
// when it names one.
std::optional<int> RetryDelayMs(QByteArrayView errorBody);

// The whole seconds a delay is shown as, rounded up.
int DelaySeconds(int delayMs);
