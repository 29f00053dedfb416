#include "tools/exporter/guardedtcpserver.h"

#include <QTcpSocket>
#include <QTimer>

#include <memory>

GuardedTcpServer::GuardedTcpServer(std::chrono::milliseconds requestTimeout,
                                   std::chrono::milliseconds idleTimeout, QObject *parent)
    : QTcpServer(parent), m_requestTimeout(requestTimeout), m_idleTimeout(idleTimeout)
{}

void GuardedTcpServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (m_open >= kMaxConnections) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++m_open;
    connect(socket, &QObject::destroyed, this, [this] { --m_open; });
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);

    // One timer per connection: the request time while a request is open, else the idle time.
    auto *timer = new QTimer(socket);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, socket, &QAbstractSocket::abort);
    timer->start(m_idleTimeout);

    // Connected before QHttpServer's own slot, so the bytes not yet read are the new ones.
    auto requestBytes = std::make_shared<qint64>(0);
    connect(socket, &QIODevice::readyRead, socket, [this, socket, timer, requestBytes] {
        if (*requestBytes == 0)
            timer->start(m_requestTimeout);
        *requestBytes += socket->bytesAvailable();
        if (*requestBytes > kMaxRequestBytes)
            socket->abort();
    });
    // An answer written out ends the request: the connection may wait for the next one.
    connect(socket, &QIODevice::bytesWritten, socket, [this, socket, timer, requestBytes] {
        if (socket->bytesToWrite() > 0)
            return;
        *requestBytes = 0;
        timer->start(m_idleTimeout);
    });
    addPendingConnection(socket);
}
