#pragma once

#include <QByteArray>

// The head of one HTTP/1.x request, as the exporter needs it.
struct HttpRequest
{
    QByteArray method;     // as sent, "GET"
    QByteArray path;       // without query or fragment, "/metrics"
    bool keepAlive = true; // HTTP/1.1 unless "Connection: close"; HTTP/1.0 only if asked
    qint64 bodyLength = 0; // Content-Length, skipped unread
    qint64 headLength = 0; // bytes up to and including the empty line
};

enum class HttpParse {
    Incomplete, // the empty line that ends the head has not arrived yet
    Complete,   // request holds the head; the body may still be on its way
    Malformed,  // answer 400 and close
};

// Parses the request at the start of buffer. Lines may end in CR LF or a lone LF; a chunked
// body, a Content-Length that is not a number and a request line that is not three words are
// malformed.
HttpParse ParseHttpRequest(const QByteArray &buffer, HttpRequest *request);
