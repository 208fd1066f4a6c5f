#pragma once

#include "service/FileUpload.h"
#include "service/RequestTypes.h"

#include <QThread>

#include <functional>
#include <memory>

// One file upload (FileUpload.h) on a thread of its own, the way TGeminiRequestThread runs
// a request: it starts at once, reports progress and then its outcome on the user-interface
// thread, and deletes itself; the creator keeps only the cancel flag.
class TFileUploadThread final : public QThread {
    Q_OBJECT

public:
    // Bytes sent and the file's size. Deliveries do not pile up: while one waits for the
    // user-interface thread, later progress only updates the figures it will show.
    using ProgressCallback = std::function<void(qint64 sent, qint64 total)>;
    using ResultCallback = std::function<void(const UploadResult&)>;

    static void Create(const ServiceEndpoint& AEndpoint, const QString& AApiKey,
                       const UploadRequest& ARequest, ProgressCallback AProgress,
                       ResultCallback ACallback, CancelFlag ACancel = MakeCancelFlag(),
                       const UploadTuning& ATuning = {});

protected:
    void run() override;

private:
    TFileUploadThread(const ServiceEndpoint& AEndpoint, const QString& AApiKey,
                      const UploadRequest& ARequest, CancelFlag ACancel,
                      const UploadTuning& ATuning);
    void QueueProgress(qint64 ASent, qint64 ATotal) const;

    ServiceEndpoint FEndpoint;
    QString FApiKey;
    UploadRequest FRequest;
    CancelFlag FCancel;
    UploadTuning FTuning;
    ResultCallback FCallback;
    struct ProgressMailbox;
    // Shared with queued deliveries, which may run after the thread is gone.
    std::shared_ptr<ProgressMailbox> FProgress;
};
