#include "tools/exporter/httprequest.h"

#include <QByteArrayList>

namespace {

QByteArray Trimmed(QByteArray line)
{
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace

HttpParse ParseHttpRequest(const QByteArray &buffer, HttpRequest *request)
{
    // The head ends at the first empty line; empty lines before the request line are skipped,
    // as RFC 9112 allows.
    qsizetype start = 0;
    while (start < buffer.size() && (buffer[start] == '\r' || buffer[start] == '\n'))
        ++start;
    qsizetype end = -1;
    qsizetype lineStart = start;
    QByteArrayList lines;
    for (qsizetype i = start; i < buffer.size(); ++i) {
        if (buffer[i] != '\n')
            continue;
        const QByteArray line = Trimmed(buffer.mid(lineStart, i - lineStart));
        lineStart = i + 1;
        if (line.isEmpty()) {
            end = i + 1;
            break;
        }
        lines.append(line);
    }
    if (end < 0)
        return HttpParse::Incomplete;

    const QByteArrayList words = lines.value(0).split(' ');
    if (words.size() != 3 || words[0].isEmpty() || words[1].isEmpty() ||
        !words[2].startsWith("HTTP/1."))
        return HttpParse::Malformed;
    HttpRequest parsed;
    parsed.method = words[0];
    QByteArray target = words[1];
    if (const qsizetype scheme = target.indexOf("://"); scheme > 0) {
        const qsizetype slash = target.indexOf('/', scheme + 3);
        target = slash < 0 ? QByteArray("/") : target.mid(slash);
    }
    for (const char mark : {'?', '#'}) {
        if (const qsizetype at = target.indexOf(mark); at >= 0)
            target.truncate(at);
    }
    parsed.path = target;
    parsed.keepAlive = words[2] != "HTTP/1.0";
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0)
            return HttpParse::Malformed;
        const QByteArray name = lines[i].left(colon).trimmed().toLower();
        const QByteArray value = lines[i].mid(colon + 1).trimmed();
        if (name == "content-length") {
            bool ok = false;
            parsed.bodyLength = value.toLongLong(&ok);
            if (!ok || parsed.bodyLength < 0)
                return HttpParse::Malformed;
        } else if (name == "transfer-encoding") {
            return HttpParse::Malformed;
        } else if (name == "connection") {
            const QByteArray option = value.toLower();
            if (option.contains("close"))
                parsed.keepAlive = false;
            else if (option.contains("keep-alive"))
                parsed.keepAlive = true;
        }
    }
    parsed.headLength = end;
    *request = parsed;
    return HttpParse::Complete;
}
