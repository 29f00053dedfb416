#include "tools/exporter/guardedtcpserver.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace {

QByteArray Reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Content Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

} // namespace

GuardedTcpServer::GuardedTcpServer(Pages pages, std::chrono::milliseconds requestTimeout,
                                   std::chrono::milliseconds idleTimeout, QObject *parent)
    : QTcpServer(parent), m_pages(std::move(pages)), m_requestTimeout(requestTimeout),
      m_idleTimeout(idleTimeout)
{
    m_clock.start();
}

GuardedTcpServer::~GuardedTcpServer()
{
    // The sockets are children and go with the server; their signals must not reach a list
    // that is being destroyed.
    for (Connection &connection : m_connections)
        connection.socket->disconnect(this);
}

GuardedTcpServer::Iterator GuardedTcpServer::Find(const QTcpSocket *socket)
{
    return std::find_if(m_connections.begin(), m_connections.end(),
                        [socket](const Connection &c) { return c.socket == socket; });
}

void GuardedTcpServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (int(m_connections.size()) >= kMaxConnections)
        CloseLongestWaiting();

    Connection connection;
    connection.socket = socket;
    connection.timer = new QTimer(socket);
    connection.timer->setSingleShot(true);
    connection.waitingSince = m_clock.elapsed();
    m_connections.push_back(connection);
    ArmTimer(m_connections.back());

    connect(connection.timer, &QTimer::timeout, this, [this, socket] {
        if (const auto it = Find(socket); it != m_connections.end())
            Close(it);
    });
    connect(socket, &QIODevice::readyRead, this, [this, socket] {
        if (const auto it = Find(socket); it != m_connections.end())
            Serve(it);
    });
    // Answers held back while the client did not read them go on once it has.
    connect(socket, &QIODevice::bytesWritten, this, [this, socket] {
        if (const auto it = Find(socket); it != m_connections.end())
            Serve(it);
    });
    connect(socket, &QAbstractSocket::disconnected, this, [this, socket] {
        if (const auto it = Find(socket); it != m_connections.end())
            Close(it);
    });
}

void GuardedTcpServer::CloseLongestWaiting()
{
    // Closing connections are nearly gone and hold no slot worth keeping: first choice.
    const auto longest = std::min_element(
        m_connections.begin(), m_connections.end(), [](const Connection &a, const Connection &b) {
            return std::pair(!a.closing, a.waitingSince) < std::pair(!b.closing, b.waitingSince);
        });
    if (longest != m_connections.end())
        Close(longest);
}

void GuardedTcpServer::Close(Iterator connection)
{
    QTcpSocket *socket = connection->socket;
    m_connections.erase(connection);
    socket->disconnect(this);
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    socket->abort(); // deleted at once below when abort did not report the disconnection
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
}

void GuardedTcpServer::ArmTimer(Connection &connection)
{
    const bool busy = !connection.unread.isEmpty() || connection.socket->bytesToWrite() > 0;
    connection.timer->start(busy ? m_requestTimeout : m_idleTimeout);
}

void GuardedTcpServer::Serve(Iterator it)
{
    Connection &connection = *it;
    if (connection.closing) {
        connection.socket->readAll(); // a closing connection reads no more requests
        if (connection.socket->bytesToWrite() == 0)
            Close(it);
        return;
    }
    const bool wasBusy = !connection.unread.isEmpty() || connection.socket->bytesToWrite() > 0;
    connection.unread += connection.socket->readAll();
    if (connection.unread.size() > kMaxUnreadBytes) {
        Close(it);
        return;
    }
    bool answered = false;
    while (!connection.closing && connection.socket->bytesToWrite() <= kMaxUnsentBytes) {
        HttpRequest request;
        const HttpParse parse = ParseHttpRequest(connection.unread, &request);
        if (parse == HttpParse::Incomplete)
            break;
        if (parse == HttpParse::Malformed) {
            WriteAnswer(connection, 400, "text/plain", "bad request\n", true, true);
            answered = true;
            break;
        }
        if (request.method != "GET" && request.method != "HEAD") {
            // Its body, if any, is not read: the connection ends with this answer.
            WriteAnswer(connection, 405, "text/plain", "only GET and HEAD\n", true, true,
                        "Allow: GET, HEAD\r\n");
            answered = true;
            break;
        }
        if (request.headLength + request.bodyLength > kMaxUnreadBytes) {
            WriteAnswer(connection, 413, "text/plain", "request too large\n", true, true);
            answered = true;
            break;
        }
        if (connection.unread.size() < request.headLength + request.bodyLength)
            break; // the body is on its way
        connection.unread.remove(0, request.headLength + request.bodyLength);
        Answer(connection, request);
        answered = true;
    }
    if (answered)
        connection.waitingSince = m_clock.elapsed();
    if (connection.closing) {
        connection.unread.clear();
        connection.socket->disconnectFromHost(); // after the answers are written out
        connection.timer->start(m_requestTimeout);
        return;
    }
    // The request time runs from the first byte of a request until its answer is written out;
    // each answer given starts it anew for the next pipelined one.
    const bool busy = !connection.unread.isEmpty() || connection.socket->bytesToWrite() > 0;
    if (busy != wasBusy || answered || !busy)
        ArmTimer(connection);
}

void GuardedTcpServer::Answer(Connection &connection, const HttpRequest &request)
{
    const bool head = request.method == "HEAD";
    if (const std::optional<HttpAnswer> page = m_pages(request.path))
        WriteAnswer(connection, page->status, page->contentType, page->body, !head,
                    !request.keepAlive);
    else
        WriteAnswer(connection, 404, "text/plain", "not found\n", !head, !request.keepAlive);
}

void GuardedTcpServer::WriteAnswer(Connection &connection, int status,
                                   const QByteArray &contentType, const QByteArray &body,
                                   bool withBody, bool close, const QByteArray &extraHeaders)
{
    // HEAD gets the Content-Length that GET would get, and no body.
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + Reason(status) +
                      "\r\nContent-Type: " + contentType +
                      "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" +
                      extraHeaders;
    if (close)
        head += "Connection: close\r\n";
    head += "\r\n";
    connection.socket->write(withBody ? head + body : head);
    connection.closing = close;
}
