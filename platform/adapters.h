#pragma once

#include <QtGlobal>

#include <vector>

namespace platform {

// One IPv4 address of a network adapter; both numbers with the first octet most significant.
struct AdapterAddress
{
    quint32 address = 0;
    quint32 mask = 0;
};

// The IPv4 addresses of every adapter that is up and has a link, adapters in the system's order
// and each adapter's addresses in its own order. Loopback adapters and loopback addresses are
// left out: nothing behind them is a projector, and 127.0.0.0/8 alone is 16 million addresses.
// Empty when the system gives no adapter list. Any thread may call it.
std::vector<AdapterAddress> ListAdapterAddresses();

} // namespace platform
