#include "agent/system_calls.h"

#include "agent/host_info.h"
#include "transport/platform/system_dlls.h"

namespace {

DWORD CallDhcpNotifyConfigChange(LPWSTR adapterGuid, BOOL isNewIpAddress, DWORD ipAddress,
                                 DWORD subnetMask, int dhcpAction) {
  HMODULE library = tavi::LoadSystemLibrary(L"dhcpcsvc.dll");
  if (library == nullptr) return ERROR_MOD_NOT_FOUND;
  DhcpNotifyConfigChangeFn notify = reinterpret_cast<DhcpNotifyConfigChangeFn>(
      reinterpret_cast<void*>(GetProcAddress(library, "DhcpNotifyConfigChange")));
  DWORD result = ERROR_PROC_NOT_FOUND;
  if (notify != nullptr)
    result = notify(nullptr, adapterGuid, isNewIpAddress, 0, ipAddress, subnetMask, dhcpAction);
  FreeLibrary(library);
  return result;
}

// An IP helper function by name, or null on a system that lacks it.
template <typename Fn>
Fn IpHelperFunction(const char* name) {
  // The module the agent's own IP helper imports come from.
  HMODULE library = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(reinterpret_cast<void*>(&GetAdaptersInfo)), &library))
    library = GetModuleHandleA("iphlpapi.dll");
  if (library == nullptr) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace

AgentSystemCalls RealSystemCalls() {
  AgentSystemCalls calls;
  calls.logonUserW = LogonUserW;
  calls.netUserGetLocalGroups = NetUserGetLocalGroups;
  calls.getTokenInformation = GetTokenInformation;
  calls.duplicateTokenEx = DuplicateTokenEx;
  calls.setThreadToken = SetThreadToken;
  calls.netUserSetInfo = NetUserSetInfo;
  calls.dhcpNotifyConfigChange = CallDhcpNotifyConfigChange;
  calls.getInterfaceInfo = GetInterfaceInfo;
  calls.getAdaptersInfo = GetAdaptersInfo;
  calls.getNetworkParams = GetNetworkParams;
  calls.deleteIpForwardEntry = DeleteIpForwardEntry;
  calls.setIpForwardEntry = SetIpForwardEntry;
  calls.createUnicastIpAddressEntry =
      IpHelperFunction<decltype(calls.createUnicastIpAddressEntry)>("CreateUnicastIpAddressEntry");
  calls.deleteUnicastIpAddressEntry =
      IpHelperFunction<decltype(calls.deleteUnicastIpAddressEntry)>("DeleteUnicastIpAddressEntry");
  calls.getUnicastIpAddressEntry =
      IpHelperFunction<decltype(calls.getUnicastIpAddressEntry)>("GetUnicastIpAddressEntry");
  calls.createIpForwardEntry2 =
      IpHelperFunction<decltype(calls.createIpForwardEntry2)>("CreateIpForwardEntry2");
  calls.deleteIpForwardEntry2 =
      IpHelperFunction<decltype(calls.deleteIpForwardEntry2)>("DeleteIpForwardEntry2");
  calls.setInterfaceDnsSettings =
      IpHelperFunction<decltype(calls.setInterfaceDnsSettings)>("SetInterfaceDnsSettings");
  calls.ipReleaseAddress = IpReleaseAddress;
  calls.ipRenewAddress = IpRenewAddress;
  calls.readVersion = ReadReportedVersion;
  calls.sleep = Sleep;
  calls.exitWindowsEx = ExitWindowsEx;
  calls.registerServiceCtrlHandlerExA = RegisterServiceCtrlHandlerExA;
  calls.setServiceStatus = SetServiceStatus;
  calls.getTickCount64 = GetTickCount64;
  return calls;
}

AgentSystemCalls agentSystem = RealSystemCalls();
