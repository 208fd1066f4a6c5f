#pragma once

#include <QList>
#include <QMutex>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>

// Every request the web engine makes for a page, before it leaves the program (set it on
// the view's profile). The engine calls it from its own thread.
class RequestRecorder : public QWebEngineUrlRequestInterceptor {
public:
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        QMutexLocker lock(&m_mutex);
        m_urls.append(info.requestUrl());
    }

    QList<QUrl> urls() const {
        QMutexLocker lock(&m_mutex);
        return m_urls;
    }

    // What went anywhere but the program's own files (qrc:).
    QList<QUrl> beyondTheProgram() const {
        QList<QUrl> beyond = urls();
        beyond.removeIf([](const QUrl& url) { return url.scheme() == u"qrc"; });
        return beyond;
    }

private:
    mutable QMutex m_mutex;
    QList<QUrl> m_urls;
};
