#include "agent/system_calls.h"

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
