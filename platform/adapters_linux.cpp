#include "platform/adapters.h"

#include <QNetworkInterface>

namespace platform {

std::vector<AdapterAddress> ListAdapterAddresses()
{
    std::vector<AdapterAddress> found;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &adapter : interfaces) {
        const auto flags = adapter.flags();
        // An adapter without link reaches nobody; probing it would only cost time-outs.
        if (flags.testFlag(QNetworkInterface::IsLoopBack) ||
            !flags.testFlag(QNetworkInterface::IsUp) ||
            !flags.testFlag(QNetworkInterface::IsRunning))
            continue;
        const auto entries = adapter.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            const QHostAddress &ip = entry.ip();
            if (ip.protocol() != QAbstractSocket::IPv4Protocol || ip.isLoopback())
                continue;
            found.push_back({ip.toIPv4Address(), entry.netmask().toIPv4Address()});
        }
    }
    return found;
}

} // namespace platform
