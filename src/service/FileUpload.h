#pragma once

#include "service/RequestTypes.h"
#include "text/Expected.h"

#include <QDateTime>
#include <QString>

#include <atomic>
#include <functional>

// Files too big to travel inside a request go to the service's file store first, by its
// resumable upload protocol, and the request names them by address (a file_data part).
// The service keeps an uploaded file for a limited time, given as ExpirationTime.

// The largest file the file store takes.
inline constexpr qint64 kMaxUploadFileBytes = 2LL * 1024 * 1024 * 1024;

// A file the service holds and is ready to read.
struct UploadedFile {
    // "files/…": the file's name in the service, for asking about it later.
    QString Name;
    // What a file_data part names.
    QString Uri;
    QString MimeType;
    qint64 SizeBytes = 0;
    QDateTime ExpirationTime;

    bool operator==(const UploadedFile&) const = default;
};

// Why an upload ended without a file.
enum class UploadFailureCause {
    // The cancel flag was set.
    Stopped,
    // The key holds control characters and cannot go in a header.
    KeyUnusable,
    // Missing, not a regular file, empty, over kMaxUploadFileBytes, or cannot be opened.
    FileUnusable,
    // Its size or modification time changed, or it read short, while it was sent.
    FileChanged,
    // The service named an upload address on another host, or not http(s).
    ForeignUploadAddress,
    // No connection, a time-out, a refusal or an error status: Request tells which.
    Transfer,
    // An answer that does not follow the protocol, or the service dropped the session.
    BadAnswer,
    // The service took the file but could not process it (state FAILED).
    ProcessingFailed,
    // The file was still being processed when the wait for it ended.
    ProcessingTimedOut,
};

struct UploadFailure {
    UploadFailureCause Cause = UploadFailureCause::BadAnswer;
    // What the user is shown, in the request failures' style.
    QString Text = {};
    // For Transfer: the failure of the request that failed, with its cause and status.
    RequestFailure Request = {};
};

using UploadResult = Expected<UploadedFile, UploadFailure>;

struct UploadRequest {
    QString Path;
    QString MimeType;
    // The name the service shows; the file's own name when empty. At most 512 characters
    // are sent.
    QString DisplayName = {};
};

// How the upload goes; tests make the waits short.
struct UploadTuning {
    // Bytes per chunk before rounding down to the service's granularity.
    qint64 ChunkBytes = 8 * 1024 * 1024;
    // How often the service is asked whether it has processed the file, and for how long.
    int PollIntervalMs = 1000;
    int ProcessingTimeoutMs = 10 * 60 * 1000;
    // How long the cancel command of a stopped upload may take.
    int CancelTimeoutMs = 2000;
};

// Bytes handed to the connection so far, of the file's total. Called on the uploading
// thread.
using UploadProgressCallback = std::function<void(qint64 sent, qint64 total)>;

// Uploads the file and waits until the service has processed it. Blocks: call it on a
// worker thread. The file is read a piece at a time, never whole. A chunk that fails on
// the way (a dropped connection, an error status) is resumed from where the service says
// it got to; 429 and 5xx are retried as requests are (RetryPolicy.h). The cancel flag
// ends the transfer within a poll step and tells the service to drop the upload. The key
// travels only in a header, and only to the endpoint's own scheme, host and port.
UploadResult UploadFile(const ServiceEndpoint& endpoint, const QString& apiKey,
                        const UploadRequest& request, const std::atomic<bool>* cancel,
                        const UploadProgressCallback& progress = {},
                        const UploadTuning& tuning = {});

// Whether an upload address may be given the key: http or https, with the scheme, host and
// port (the scheme's default when none is written) of the service's base address.
bool IsSameOrigin(const QString& baseUrl, const QString& uploadUrl);
