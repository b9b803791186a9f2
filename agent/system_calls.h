// The system calls whose outcomes a test cannot produce on a development machine (refused
// logons, password policy, DHCP client answers, routing failures, a restart) or that would
// disturb it. Every entry defaults to the real function; only tests replace entries.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
#include <netioapi.h>
#include <lm.h>
#include <dsrole.h>

#include "agent/os_info_rules.h"

// DhcpNotifyConfigChange as exported by Dhcpcsvc.dll (no import library ships it).
typedef DWORD(WINAPI* DhcpNotifyConfigChangeFn)(LPWSTR serverName, LPWSTR adapterName,
                                                BOOL isNewIpAddress, DWORD ipIndex,
                                                DWORD ipAddress, DWORD subnetMask,
                                                int dhcpAction);

// DNS_INTERFACE_SETTINGS (netioapi.h of Windows 10 SDKs, absent from MinGW's headers).
struct DnsInterfaceSettings {
  ULONG Version;  // kDnsInterfaceSettingsVersion1
  ULONG64 Flags;  // kDnsSettingNameServer: only NameServer is set
  PWSTR Domain;
  PWSTR NameServer;  // servers separated by commas; empty: the DHCP-provided ones
  PWSTR SearchList;
  ULONG RegistrationEnabled;
  ULONG RegisterAdapterName;
  ULONG EnableLLMNR;
  ULONG QueryAdapterName;
  PWSTR ProfileNameServer;
};
constexpr ULONG kDnsInterfaceSettingsVersion1 = 1;
constexpr ULONG64 kDnsSettingNameServer = 0x0002;

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
  // NT 6 and later: the live configuration through the IP helper. Looked up in iphlpapi.dll
  // when the table is built (XP and Server 2003 have none of them); null when absent.
  DWORD(WINAPI* createUnicastIpAddressEntry)(const MIB_UNICASTIPADDRESS_ROW*);
  DWORD(WINAPI* deleteUnicastIpAddressEntry)(const MIB_UNICASTIPADDRESS_ROW*);
  DWORD(WINAPI* getUnicastIpAddressEntry)(MIB_UNICASTIPADDRESS_ROW*);
  DWORD(WINAPI* createIpForwardEntry2)(const MIB_IPFORWARD_ROW2*);
  DWORD(WINAPI* deleteIpForwardEntry2)(const MIB_IPFORWARD_ROW2*);
  // Windows 10 build 19041 and later only.
  DWORD(WINAPI* setInterfaceDnsSettings)(GUID, const DnsInterfaceSettings*);
  DWORD(WINAPI* ipReleaseAddress)(PIP_ADAPTER_INDEX_MAP);
  DWORD(WINAPI* ipRenewAddress)(PIP_ADAPTER_INDEX_MAP);
  // The true Windows version (which path the settings take) and the waits between polls.
  ReportedVersion (*readVersion)();
  void(WINAPI* sleep)(DWORD);
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
