#pragma once

#include <QString>

namespace platform {

// Opens a TCP connection to a dotted IPv4 address and port and closes it again at once.
// Returns 0 when the connection was made, otherwise the system's socket error code (errno):
// ECONNREFUSED when nothing listens, ETIMEDOUT when no answer came within timeoutMs, EINVAL
// when the text is no dotted IPv4 address or the port is out of range. Thread-safe.
int TcpConnect(const QString &address, int port, int timeoutMs);

} // namespace platform
