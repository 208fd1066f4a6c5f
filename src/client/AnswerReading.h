#pragma once

#include "RequestTypes.h"

#include <QByteArrayView>
#include <QString>

// The outcome of a successful one-shot answer: the joined text of the first candidate,
// an image description when it carries inline data, or a failure when there is no
// candidate to read, no text in it, or the body is no JSON object. Invalid UTF-8 is read
// as U+FFFD. Fields are read in both spellings the service uses (ServiceJson.h).
RequestOutcome ReadAnswer(QByteArrayView body);

// The text of one streamed event: the joined texts of its first candidate's parts, or
// empty when the event carries none. What the event tells beside goes into facts.
QString ReadEvent(QByteArrayView event, AnswerFacts& facts);

// Why an answer holds no text, in Russian, from its finish or block reason.
QString EmptyAnswerText(const AnswerFacts& facts);

// The service's own error message from a JSON error body, or empty.
QString ExtractErrorMessage(QByteArrayView body);

// What the "details" of a JSON error body say: the reason of its ErrorInfo and the
// retry delay of its RetryInfo, rounded up to whole seconds. Empty and 0 when absent.
struct ServiceErrorDetails {
    QString Reason;
    int RetryDelaySeconds = 0;
};
ServiceErrorDetails ReadErrorDetails(QByteArrayView body);

// The failure texts the user sees.
QString HttpErrorText(QByteArrayView statusLine, int statusCode, QByteArrayView body);
QString ExceptionText(const QString& kind, const QString& message);
QString ProxyAuthenticationText();
