#include "model/networkcheck.h"

#include <mutex>

namespace {

std::mutex g_listerLock;
AdapterLister g_lister; // under g_listerLock

} // namespace

bool CheckNetworkAdapters()
{
    AdapterLister lister;
    {
        const std::lock_guard lock(g_listerLock);
        lister = g_lister;
    }
    return !(lister ? lister() : platform::ListAdapterAddresses()).empty();
}

void SetAdapterListerForTesting(AdapterLister lister)
{
    const std::lock_guard lock(g_listerLock);
    g_lister = std::move(lister);
}
