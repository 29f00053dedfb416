#pragma once

#include "platform/adapters.h"

#include <functional>
#include <vector>

// Whether the computer has a network to search and talk on: true when the system lists at least
// one adapter address that is up, not loopback (platform::ListAdapterAddresses). The main window
// asks it once after start and asks the user to enable the network when it is false.
bool CheckNetworkAdapters();

// Where CheckNetworkAdapters reads the adapter list; tests give a list of their own. An empty
// function restores the system's.
using AdapterLister = std::function<std::vector<platform::AdapterAddress>()>;
void SetAdapterListerForTesting(AdapterLister lister);
