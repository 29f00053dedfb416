#pragma once

#include <QString>
#include <functional>

namespace platform {

enum class EchoMechanism { Unknown, IcmpDatagram, IcmpRaw, TcpConnect };

// True when the address answers an ICMP echo request: up to two requests, each waited for
// 150 ms, 150 ms apart; a reply counts only when it matches our own request (identifier,
// sequence and source). Where the process may send no ICMP at all, a TCP connect to
// fallbackPort within the same time budget decides instead, and that is reported once.
bool EchoCheck(const QString &address, int fallbackPort);

// The mechanism the last check used.
EchoMechanism CurrentEchoMechanism();

// Who hears that the TCP fallback is in use: by default a qWarning, once per process. A program
// may take the notice over (to tell it less often); an empty function restores the warning.
// The notice may run on any thread that checks.
void SetTcpFallbackNotice(std::function<void(int port)> notice);

// Tests replace the check with their own; an empty function restores the real one.
void SetEchoCheckOverride(std::function<bool(const QString &address)> check);

} // namespace platform
