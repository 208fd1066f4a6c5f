#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

// Receives the links the page hands to the user's browser (a QDesktopServices handler).
class LinkCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};
