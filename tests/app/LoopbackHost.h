#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

// A refresh of "0" seconds is due at once: one the page is allowed to start reaches the
// navigation filter within 5 ms here. This is ample time for it to have happened.
constexpr int kRefreshWaitMs = 300;

// The host hostile answers point at: every connection and the request line it sends,
// whatever the method.
class LoopbackHost : public QObject {
public:
    LoopbackHost() {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                ++connections;
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->canReadLine())
                        return;
                    requestLines.append(QString::fromLatin1(socket->readLine()).trimmed());
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                                  "Content-Length: 28\r\nConnection: close\r\n\r\n"
                                  "<html><body>away</body></html>");
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QString url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_server.serverPort()).arg(path);
    }

    int connections = 0;
    QStringList requestLines;

private:
    QTcpServer m_server;
};
