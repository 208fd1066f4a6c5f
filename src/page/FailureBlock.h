#pragma once

#include "text/Clock.h"
#include "service/RequestTypes.h"

#include <QDateTime>
#include <QString>

// A request that failed, shown as a block of its own: "⚠ Ошибка", a line in Russian that
// says what happened and what to do, and the technical text folded under "Подробнее".

// The link of a failure block that sends the failed request again goes to this fragment
// of the page followed by the request's token.
inline constexpr QStringView kRetryFragmentPrefix = u"retry-";

// What the failure means to the user, decided from what the request saw (no connection, a
// time-out, the answer's status and error details); empty when there is nothing more to
// say than the failure text.
QString FailureExplanation(const RequestFailure& failure);

// The block for a failed request. Without an explanation the failure text is shown as it
// is; it is always shown as text, never as markup. With a retry token the block has a
// "Повторить" link to the token's fragment.
QString BuildFailureMessageHtml(const RequestFailure& failure, const QString& retryToken = {},
                                const QDateTime& time = Clock::now());
