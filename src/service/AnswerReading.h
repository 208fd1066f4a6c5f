#pragma once

#include "service/RequestTypes.h"

#include <QByteArrayView>
#include <QString>

// A successful one-shot answer: the parts of the first candidate (text, thoughts,
// pictures, function calls and code, in order) and what it told beside. A failure when
// there is nothing to keep, when the service put an error in the answer (with what came
// before it), or when the body is no JSON object. Invalid UTF-8 is read as U+FFFD. Fields
// are read in both spellings the service uses (ServiceJson.h).
RequestResult ReadAnswer(QByteArrayView body);

// The parts one streamed event brings, or none when it carries none or cannot be read.
// What the event tells beside goes into facts.
TContentParts ReadEvent(QByteArrayView event, AnswerFacts& facts);

// Adds the parts of an answer as they come to those already there: a text part continues
// the text part before it (of the same kind, thought or answer) unless that one is closed
// by a thought signature; a signature that comes on a part of its own joins the text before
// it. Empty text without a signature adds nothing.
void AppendAnswerParts(TContentParts& parts, const TContentParts& more);

// The answer as one string for callers that take only that: an image description
// ("mime_type" and "base64_data") for the first picture, otherwise the answer text.
QString AnswerAsOneString(const TContentParts& parts);

// Why an answer holds no text, in Russian, from its finish or block reason.
QString EmptyAnswerText(const AnswerFacts& facts);

// The failure text for an error the service put inside an answer.
QString ServiceErrorText(const QString& message);

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
