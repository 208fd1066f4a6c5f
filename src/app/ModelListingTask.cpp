#include "app/ModelListingTask.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

void ListModelsInBackground(const ServiceEndpoint& endpoint, const QString& apiKey,
                            QObject* context, std::function<void(const ModelListing&)> done) {
    // Not the global thread pool: it is waited for at exit, and a stalled service would
    // hold the program open until the time-out.
    QThread* thread = QThread::create(
        [endpoint, apiKey, context = QPointer<QObject>(context), done = std::move(done)] {
            const ModelListing listing = ListGenerativeModels(endpoint, apiKey);
            // The program may be ending by now.
            QCoreApplication* app = QCoreApplication::instance();
            if (!app)
                return;
            QMetaObject::invokeMethod(
                app,
                [context, done, listing] {
                    if (context)
                        done(listing);
                },
                Qt::QueuedConnection);
        });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}
