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

// Tests replace the check with their own; an empty function restores the real one.
void SetEchoCheckOverride(std::function<bool(const QString &address)> check);

} // namespace platform
