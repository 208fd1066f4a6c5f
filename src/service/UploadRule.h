#pragma once

#include <QList>

// When an attached file goes to the service's file store (FileUpload.h) instead of inline
// as Base64, stated once:
//  - a file over kUploadThresholdBytes always goes to the store. Its Base64 would be more
//    than half of what one request may carry, and inline data travels again with every
//    later request of the chat and sits in the chat file;
//  - of the rest, the largest go to the store until the others, as Base64, fit in one
//    request beside the request's other bytes (kInlineRequestLimitBytes).
// Equal sizes go in the order given.

// The service refuses a request over 20 MB; the margin is its own and not ours to spend.
inline constexpr qint64 kInlineRequestLimitBytes = 20 * 1000 * 1000;
inline constexpr qint64 kUploadThresholdBytes = 8 * 1024 * 1024;

// The length of a file's Base64 text (text files may grow a little when re-encoded).
qint64 Base64Length(qint64 fileBytes);

// For each file, by its size in bytes, whether it is uploaded. otherRequestBytes: the rest
// of the request (history, prompt, settings) as it will be sent.
QList<bool> FilesToUpload(const QList<qint64>& fileSizes, qint64 otherRequestBytes);
