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
  calls.dsRoleGetPrimaryDomainInformation = DsRoleGetPrimaryDomainInformation;
  calls.dsRoleFreeMemory = DsRoleFreeMemory;
  calls.adjustTokenPrivileges = AdjustTokenPrivileges;
  calls.initiateSystemShutdownExW = InitiateSystemShutdownExW;
  return calls;
}

AgentSystemCalls agentSystem = RealSystemCalls();
