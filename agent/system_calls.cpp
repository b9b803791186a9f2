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
  // From System32 only, as the agent's delay-loaded imports of it; kept loaded.
  static HMODULE library = tavi::LoadSystemLibrary(L"iphlpapi.dll");
  if (library == nullptr) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

typedef DWORD(WINAPI* DsRoleGetPrimaryDomainInformationFn)(LPCWSTR,
                                                           DSROLE_PRIMARY_DOMAIN_INFO_LEVEL, PBYTE*);
typedef VOID(WINAPI* DsRoleFreeMemoryFn)(PVOID);

// From System32, as every netapi32 call of the agent; kept loaded, since a buffer handed out
// by one call is freed by another.
FARPROC Netapi32Function(const char* name) {
  static HMODULE library = tavi::LoadSystemLibrary(L"netapi32.dll");
  return library != nullptr ? GetProcAddress(library, name) : nullptr;
}

DWORD CallDsRoleGetPrimaryDomainInformation(DSROLE_PRIMARY_DOMAIN_INFO_LEVEL level,
                                            PBYTE* buffer) {
  auto get = reinterpret_cast<DsRoleGetPrimaryDomainInformationFn>(
      reinterpret_cast<void*>(Netapi32Function("DsRoleGetPrimaryDomainInformation")));
  *buffer = nullptr;
  return get != nullptr ? get(nullptr, level, buffer) : ERROR_PROC_NOT_FOUND;
}

void CallDsRoleFreeMemory(PVOID buffer) {
  auto release = reinterpret_cast<DsRoleFreeMemoryFn>(
      reinterpret_cast<void*>(Netapi32Function("DsRoleFreeMemory")));
  if (release != nullptr && buffer != nullptr) release(buffer);
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
#define NETVANE_LOOKUP(field, name) calls.field = IpHelperFunction<decltype(calls.field)>(name)
  NETVANE_LOOKUP(createUnicastIpAddressEntry, "CreateUnicastIpAddressEntry");
  NETVANE_LOOKUP(deleteUnicastIpAddressEntry, "DeleteUnicastIpAddressEntry");
  NETVANE_LOOKUP(getUnicastIpAddressEntry, "GetUnicastIpAddressEntry");
  NETVANE_LOOKUP(createIpForwardEntry2, "CreateIpForwardEntry2");
  NETVANE_LOOKUP(deleteIpForwardEntry2, "DeleteIpForwardEntry2");
  NETVANE_LOOKUP(setInterfaceDnsSettings, "SetInterfaceDnsSettings");
#undef NETVANE_LOOKUP
  calls.ipReleaseAddress = IpReleaseAddress;
  calls.ipRenewAddress = IpRenewAddress;
  calls.readVersion = ReadReportedVersion;
  calls.sleep = Sleep;
  calls.registerServiceCtrlHandlerExA = RegisterServiceCtrlHandlerExA;
  calls.setServiceStatus = SetServiceStatus;
  calls.getTickCount64 = GetTickCount64;
  calls.checkTokenMembership = CheckTokenMembership;
  calls.netUserChangePassword = NetUserChangePassword;
  calls.dsRoleGetPrimaryDomainInformation = CallDsRoleGetPrimaryDomainInformation;
  calls.dsRoleFreeMemory = CallDsRoleFreeMemory;
  calls.netGetJoinInformation = NetGetJoinInformation;
  calls.adjustTokenPrivileges = AdjustTokenPrivileges;
  calls.initiateSystemShutdownExW = InitiateSystemShutdownExW;
  return calls;
}

AgentSystemCalls agentSystem = RealSystemCalls();
