#pragma once

#include <QTcpServer>

#include <chrono>

// The exporter's listening socket, handed to QHttpServer (which has no limits of its own): every
// connection must bring a request whole, and have it answered, within the request time-out,
// may bring at most kMaxRequestBytes before its answer, and is closed after the idle time-out
// without a request. Connections beyond kMaxConnections are closed at once. So a slow or
// malicious client costs one socket for a bounded time and bounded memory.
class GuardedTcpServer : public QTcpServer
{
public:
    static constexpr qint64 kMaxRequestBytes = 64 * 1024;
    static constexpr int kMaxConnections = 256;

    GuardedTcpServer(std::chrono::milliseconds requestTimeout,
                     std::chrono::milliseconds idleTimeout, QObject *parent = nullptr);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    std::chrono::milliseconds m_requestTimeout;
    std::chrono::milliseconds m_idleTimeout;
    int m_open = 0;
};
