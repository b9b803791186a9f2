// The agent's adapter slots: the entries of the IP interface table (GetInterfaceInfo) by
// ascending interface index. The agent's host record and TaviServer's adapters are both
// numbered by this one function, so slot i names the same adapter for both.
#pragma once

// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

namespace tavi {

using GetInterfaceInfoCall = DWORD(WINAPI*)(PIP_INTERFACE_INFO, PULONG);

// The table in a buffer of its own (free with std::free), sorted (stable) by interface index;
// null when the system gives none. NumAdapters never claims more entries than the buffer
// holds, and every name is terminated. `call` is GetInterfaceInfo or a test's stand-in.
IP_INTERFACE_INFO* ReadInterfaceSlots(GetInterfaceInfoCall call);

}  // namespace tavi
