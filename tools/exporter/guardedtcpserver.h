#pragma once

#include "tools/exporter/httprequest.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTcpServer>

#include <chrono>
#include <functional>
#include <list>
#include <optional>

class QTcpSocket;
class QTimer;

// What a page answers to a GET; HEAD gets the same without the body.
struct HttpAnswer
{
    int status = 200;
    QByteArray contentType = "text/plain";
    QByteArray body;
};

// The exporter's HTTP/1.1 server, made to outlast slow and hostile clients. Each connection must
// bring a request whole, and take its answer, within the request time-out, and is closed after
// the idle time-out without one. Requests may be pipelined: they are answered in order as long
// as the bytes received but not yet answered stay within kMaxUnreadBytes (more closes the
// connection). Only GET and HEAD are served (any other method: 405). When kMaxConnections are
// open, a new client is still taken: the connection that has waited the longest on its client
// (idle since its last answer, or since it was opened without completing a request) is closed
// to make room, so a scrape always gets through. Runs on the thread that owns it.
class GuardedTcpServer : public QTcpServer
{
public:
    static constexpr qint64 kMaxUnreadBytes = 64 * 1024;
    static constexpr int kMaxConnections = 256;
    // Answers wait unsent beyond this: no further pipelined request is answered until they go.
    static constexpr qint64 kMaxUnsentBytes = 1024 * 1024;

    // The page at a path, or nothing (404). Called on this thread; it must not wait.
    using Pages = std::function<std::optional<HttpAnswer>(const QByteArray &path)>;

    GuardedTcpServer(Pages pages, std::chrono::milliseconds requestTimeout,
                     std::chrono::milliseconds idleTimeout, QObject *parent = nullptr);
    ~GuardedTcpServer() override;

    int OpenConnections() const { return int(m_connections.size()); }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Connection
    {
        QTcpSocket *socket = nullptr; // owned by this server (parent), deleted with deleteLater
        QTimer *timer = nullptr;      // child of the socket
        QByteArray unread;            // received, not yet answered
        qint64 waitingSince = 0;      // m_clock ms: opened or last answered
        bool closing = false;         // the last answer is out; no more requests are read
    };
    using Iterator = std::list<Connection>::iterator;

    void Serve(Iterator connection);
    void Answer(Connection &connection, const HttpRequest &request);
    void WriteAnswer(Connection &connection, int status, const QByteArray &contentType,
                     const QByteArray &body, bool withBody, bool close,
                     const QByteArray &extraHeaders = QByteArray());
    void ArmTimer(Connection &connection);
    void Close(Iterator connection);
    void CloseLongestWaiting();
    Iterator Find(const QTcpSocket *socket);

    Pages m_pages;
    std::chrono::milliseconds m_requestTimeout;
    std::chrono::milliseconds m_idleTimeout;
    QElapsedTimer m_clock;
    std::list<Connection> m_connections;
};
