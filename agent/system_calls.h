// The system calls whose outcomes a test cannot produce on a development machine (refused
// logons, password policy, DHCP client answers, routing failures, a restart) or that would
// disturb it. Every entry defaults to the real function; only tests replace entries.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <lm.h>
#include <dsrole.h>

// DhcpNotifyConfigChange as exported by Dhcpcsvc.dll (no import library ships it).
typedef DWORD(WINAPI* DhcpNotifyConfigChangeFn)(LPWSTR serverName, LPWSTR adapterName,
                                                BOOL isNewIpAddress, DWORD ipIndex,
                                                DWORD ipAddress, DWORD subnetMask,
                                                int dhcpAction);

struct AgentSystemCalls {
  BOOL(WINAPI* logonUserW)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, DWORD, PHANDLE);
  NET_API_STATUS(WINAPI* netUserGetLocalGroups)(LPCWSTR, LPCWSTR, DWORD, DWORD, LPBYTE*, DWORD,
                                                LPDWORD, LPDWORD);
  // The logon token: its groups, its UAC elevation type and linked token, and the thread's
  // impersonation of it.
  BOOL(WINAPI* getTokenInformation)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
  BOOL(WINAPI* duplicateTokenEx)(HANDLE, DWORD, LPSECURITY_ATTRIBUTES, SECURITY_IMPERSONATION_LEVEL,
                                 TOKEN_TYPE, PHANDLE);
  BOOL(WINAPI* setThreadToken)(PHANDLE, HANDLE);
  NET_API_STATUS(WINAPI* netUserSetInfo)(LPCWSTR, LPCWSTR, DWORD, LPBYTE, LPDWORD);
  // Looks DhcpNotifyConfigChange up in Dhcpcsvc.dll at each call; returns
  // ERROR_MOD_NOT_FOUND or ERROR_PROC_NOT_FOUND when the library or function is missing.
  DWORD (*dhcpNotifyConfigChange)(LPWSTR adapterGuid, BOOL isNewIpAddress, DWORD ipAddress,
                                  DWORD subnetMask, int dhcpAction);
  DWORD(WINAPI* getInterfaceInfo)(PIP_INTERFACE_INFO, PULONG);
  ULONG(WINAPI* getAdaptersInfo)(PIP_ADAPTER_INFO, PULONG);
  DWORD(WINAPI* getNetworkParams)(PFIXED_INFO, PULONG);
  DWORD(WINAPI* deleteIpForwardEntry)(PMIB_IPFORWARDROW);
  DWORD(WINAPI* setIpForwardEntry)(PMIB_IPFORWARDROW);
  SERVICE_STATUS_HANDLE(WINAPI* registerServiceCtrlHandlerExA)(LPCSTR, LPHANDLER_FUNCTION_EX,
                                                               LPVOID);
  BOOL(WINAPI* setServiceStatus)(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS);
  // Milliseconds of a monotonic clock: rate limits, back-off and the probe's reuse.
  ULONGLONG(WINAPI* getTickCount64)(void);

  // Accounts, host name and restart: the membership check on the logon's full token, the
  // password change with the current password, the domain role before a rename, and the
  // restart with the shut-down privilege of the process token.
  BOOL(WINAPI* checkTokenMembership)(HANDLE, PSID, PBOOL);
  NET_API_STATUS(WINAPI* netUserChangePassword)(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR);
  // Looked up in Netapi32.dll at each call (documented from Vista on); ERROR_PROC_NOT_FOUND
  // where it is missing.
  DWORD (*dsRoleGetPrimaryDomainInformation)(DSROLE_PRIMARY_DOMAIN_INFO_LEVEL, PBYTE*);
  void (*dsRoleFreeMemory)(PVOID);
  NET_API_STATUS(WINAPI* netGetJoinInformation)(LPCWSTR, LPWSTR*, PNETSETUP_JOIN_STATUS);
  BOOL(WINAPI* adjustTokenPrivileges)(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES,
                                      PDWORD);
  BOOL(WINAPI* initiateSystemShutdownExW)(LPWSTR, LPWSTR, DWORD, BOOL, BOOL, DWORD);
};

extern AgentSystemCalls agentSystem;

// The table as the program starts with it: every entry the real function.
AgentSystemCalls RealSystemCalls();
