#include "service/FileUploadThread.h"

#include <QCoreApplication>

#include <mutex>
#include <utility>

struct TFileUploadThread::ProgressMailbox {
    ProgressCallback Callback;
    std::mutex Lock;
    qint64 Sent = 0;
    qint64 Total = 0;
    bool Posted = false;
};

TFileUploadThread::TFileUploadThread(const ServiceEndpoint& AEndpoint, const QString& AApiKey,
                                     const UploadRequest& ARequest, CancelFlag ACancel,
                                     const UploadTuning& ATuning)
    : FEndpoint(AEndpoint), FApiKey(AApiKey), FRequest(ARequest), FCancel(std::move(ACancel)),
      FTuning(ATuning), FProgress(std::make_shared<ProgressMailbox>()) {
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void TFileUploadThread::Create(const ServiceEndpoint& AEndpoint, const QString& AApiKey,
                               const UploadRequest& ARequest, ProgressCallback AProgress,
                               ResultCallback ACallback, CancelFlag ACancel,
                               const UploadTuning& ATuning) {
    auto* thread = new TFileUploadThread(AEndpoint, AApiKey, ARequest, std::move(ACancel), ATuning);
    thread->FProgress->Callback = std::move(AProgress);
    thread->FCallback = std::move(ACallback);
    thread->start();
}

void TFileUploadThread::run() {
    const UploadResult result =
        UploadFile(FEndpoint, FApiKey, FRequest, FCancel.get(),
                   [this](qint64 sent, qint64 total) { QueueProgress(sent, total); }, FTuning);
    // The outcome comes after every progress delivery posted before it: one receiver runs
    // its queued calls in order. Waiting means the callback has run before the thread ends.
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app,
            [this, &result] {
                if (FCallback)
                    FCallback(result);
            },
            Qt::BlockingQueuedConnection);
}

void TFileUploadThread::QueueProgress(qint64 ASent, qint64 ATotal) const {
    {
        const std::lock_guard lock(FProgress->Lock);
        FProgress->Sent = ASent;
        FProgress->Total = ATotal;
        if (std::exchange(FProgress->Posted, true))
            return;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(
        app,
        [mailbox = FProgress] {
            qint64 sent = 0;
            qint64 total = 0;
            {
                const std::lock_guard lock(mailbox->Lock);
                sent = mailbox->Sent;
                total = mailbox->Total;
                mailbox->Posted = false;
            }
            if (mailbox->Callback)
                mailbox->Callback(sent, total);
        },
        Qt::QueuedConnection);
}
