/* Lab double of the IP helper, for the agent (and the transport's agent under test). Wine's
 * GetAdaptersInfo calls every adapter DHCP-enabled, so this one corrects the flag from the
 * adapter's EnableDHCP registry value, as the Windows stack reports it; Wine's GetIfEntry
 * knows no cable, so this one reports the Linux carrier's loss. The calls that change the running
 * stack on NT 6 (addresses, routes, DNS servers, the DHCP lease), which Wine lacks or
 * stubs, are carried out in the host's namespace by the lab stack (stack_call.h), with the
 * outcomes Microsoft documents: a route or address twice is ERROR_OBJECT_ALREADY_EXISTS, a
 * missing one ERROR_NOT_FOUND, and SetIpForwardEntry on Vista and later modifies only a
 * route that exists. Everything else goes straight to Wine's builtin, loaded by its full
 * path from the system folder. */
#include <winsock2.h>
#include <ws2ipdef.h>
#include <windows.h>
#include <iphlpapi.h>
#include <netioapi.h>
#include <stdio.h>
#include <stdlib.h>

#include "stack_call.h"

static HMODULE real;

/* Forwarders that jump to the builtin with the caller's arguments untouched. */
#define FORWARD(name)                 \
  void* real_##name;                  \
  __asm__(".text\n.globl " #name "\n" #name ":\n\tjmp *real_" #name "(%rip)\n");

FORWARD(GetInterfaceInfo)
FORWARD(GetNetworkParams)
FORWARD(GetIpAddrTable)
FORWARD(GetAdaptersAddresses)
FORWARD(ConvertLengthToIpv4Mask)
FORWARD(DeleteIpForwardEntry)
FORWARD(ConvertInterfaceLuidToIndex)

typedef DWORD(WINAPI* GetAdaptersInfoFn)(PIP_ADAPTER_INFO, PULONG);
typedef DWORD(WINAPI* SetIpForwardEntryFn)(PMIB_IPFORWARDROW);
typedef DWORD(WINAPI* GetIfEntryFn)(PMIB_IFROW);
static GetAdaptersInfoFn realGetAdaptersInfo;
static SetIpForwardEntryFn realSetIpForwardEntry;
static GetIfEntryFn realGetIfEntry;

static int RegistryDhcp(const char* adapterName, DWORD* enabled)
{
  char path[256];
  DWORD size = sizeof *enabled;
  HKEY key;
  LONG result;
  snprintf(path, sizeof path,
           "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\%s", adapterName);
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  result = RegQueryValueExA(key, "EnableDHCP", NULL, NULL, (BYTE*)enabled, &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

DWORD WINAPI GetAdaptersInfo(PIP_ADAPTER_INFO list, PULONG size)
{
  DWORD result, enabled;
  PIP_ADAPTER_INFO a;
  if (!realGetAdaptersInfo) return ERROR_NOT_SUPPORTED;
  result = realGetAdaptersInfo(list, size);
  if (result != NO_ERROR || !list) return result;
  for (a = list; a; a = a->Next)
    if (RegistryDhcp(a->AdapterName, &enabled)) a->DhcpEnabled = enabled ? 1 : 0;
  return result;
}

/* The Linux name of the interface with that index: Wine's adapter description. */
static int LinuxNameOfIndex(DWORD index, char* name, size_t size)
{
  IP_ADAPTER_INFO adapter;
  if (!AdapterWithIndex(index, &adapter)) return 0;
  snprintf(name, size, "%s", adapter.Description);
  return name[0] && !strpbrk(name, "\\/:. ");
}

/* Whether the Linux side of the interface has lost its carrier (the cable, or the veth
 * peer, is gone): read through Wine's Z: drive. */
static int CarrierLost(DWORD index)
{
  char name[64], path[MAX_PATH], state = 0;
  DWORD read = 0;
  HANDLE file;
  if (!LinuxNameOfIndex(index, name, sizeof name)) return 0;
  snprintf(path, sizeof path, "Z:\\sys\\class\\net\\%s\\carrier", name);
  file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 0;
  if (!ReadFile(file, &state, 1, &read, NULL)) read = 0;
  CloseHandle(file);
  return read == 1 && state == '0';
}

/* Wine derives the operational state from the administrative one only; Windows reports a
 * LAN adapter without its cable as IF_OPER_STATUS_DISCONNECTED, and so does this double. */
DWORD WINAPI GetIfEntry(PMIB_IFROW row)
{
  DWORD result;
  if (!realGetIfEntry) return ERROR_NOT_SUPPORTED;
  result = realGetIfEntry(row);
  if (result == NO_ERROR &&
      (row->dwOperStatus == IF_OPER_STATUS_OPERATIONAL || row->dwOperStatus == IF_OPER_STATUS_CONNECTED) &&
      CarrierLost(row->dwIndex))
    row->dwOperStatus = IF_OPER_STATUS_DISCONNECTED;
  return result;
}

static int VistaOrLater(void) { return (GetVersion() & 0xFF) >= 6; }

/* SetIpForwardEntry "modifies an existing route": on Vista and later a route that is not
 * in the table (one just deleted, say) is ERROR_NOT_FOUND. On NT 5.x, Wine's route calls
 * change nothing and the lab stack sets the default route from the DefaultGateway value the
 * agent wrote first; as on Windows the route is in place when the call returns: wait (at
 * most 3 s) until the adapter shows the gateway. */
DWORD WINAPI SetIpForwardEntry(PMIB_IPFORWARDROW row)
{
  DWORD result, start = GetTickCount();
  struct in_addr hop;
  char want[16];
  if (!realSetIpForwardEntry || !row) return ERROR_INVALID_PARAMETER;
  if (VistaOrLater()) {
    char guid[64], line[160];
    if (row->dwForwardProto != MIB_IPPROTO_NETMGMT) return ERROR_INVALID_PARAMETER;
    if (!AdapterOfIndex(row->dwForwardIfIndex, guid, sizeof guid)) return ERROR_FILE_NOT_FOUND;
    FormatIpv4(&row->dwForwardNextHop, want, sizeof want);
    snprintf(line, sizeof line, "route-has %s %s", guid, want);
    return StackCall(line, NULL);
  }
  result = realSetIpForwardEntry(row);
  if (result != NO_ERROR || row->dwForwardDest != 0) return result;
  hop.s_addr = row->dwForwardNextHop;
  snprintf(want, sizeof want, "%s", inet_ntoa(hop));
  while (GetTickCount() - start < 3000) {
    ULONG size = 0;
    IP_ADAPTER_INFO *list, *a;
    int found = 0;
    GetAdaptersInfo(NULL, &size);
    if (size && (list = malloc(size))) {
      if (GetAdaptersInfo(list, &size) == NO_ERROR)
        for (a = list; a; a = a->Next)
          if (a->Index == row->dwForwardIfIndex && strcmp(a->GatewayList.IpAddress.String, want) == 0)
            found = 1;
      free(list);
    }
    if (found) break;
    Sleep(50);
  }
  return result;
}

/* The interface a row names, by index or else by LUID, as its adapter GUID. */
static DWORD RowAdapter(ULONG index, const NET_LUID* luid, char* guid, size_t size)
{
  typedef DWORD(WINAPI * LuidToIndexFn)(const NET_LUID*, PNET_IFINDEX);
  if (index == 0 && luid && luid->Value != 0 &&
      (!real_ConvertInterfaceLuidToIndex ||
       ((LuidToIndexFn)real_ConvertInterfaceLuidToIndex)(luid, &index) != NO_ERROR))
    return ERROR_NOT_FOUND;
  if (index == 0) return ERROR_INVALID_PARAMETER;
  return AdapterOfIndex(index, guid, size) ? NO_ERROR : ERROR_NOT_FOUND;
}

/* Only IPv4 is played; the lab's hosts have no IPv6 stack. */
static DWORD Ipv4Text(const SOCKADDR_INET* address, char* text, size_t size)
{
  if (address->si_family == AF_INET6) return ERROR_NOT_SUPPORTED;
  if (address->si_family != AF_INET) return ERROR_INVALID_PARAMETER;
  FormatIpv4(&address->Ipv4.sin_addr, text, size);
  return NO_ERROR;
}

DWORD WINAPI CreateUnicastIpAddressEntry(const MIB_UNICASTIPADDRESS_ROW* row)
{
  char guid[64], address[16], line[160];
  unsigned bits;
  DWORD result;
  if (!row) return ERROR_INVALID_PARAMETER;
  if ((result = Ipv4Text(&row->Address, address, sizeof address)) != NO_ERROR) return result;
  bits = row->OnLinkPrefixLength;
  if (bits > 32 || row->PreferredLifetime > row->ValidLifetime ||
      (row->PrefixOrigin == IpPrefixOriginUnchanged) != (row->SuffixOrigin == IpSuffixOriginUnchanged))
    return ERROR_INVALID_PARAMETER;
  if ((result = RowAdapter(row->InterfaceIndex, &row->InterfaceLuid, guid, sizeof guid)) != NO_ERROR)
    return result;
  snprintf(line, sizeof line, "addr-add %s %s %u", guid, address, bits);
  return StackCall(line, NULL);
}

DWORD WINAPI DeleteUnicastIpAddressEntry(const MIB_UNICASTIPADDRESS_ROW* row)
{
  char guid[64], address[16], line[160];
  DWORD result;
  if (!row) return ERROR_INVALID_PARAMETER;
  if ((result = Ipv4Text(&row->Address, address, sizeof address)) != NO_ERROR) return result;
  if ((result = RowAdapter(row->InterfaceIndex, &row->InterfaceLuid, guid, sizeof guid)) != NO_ERROR)
    return result;
  snprintf(line, sizeof line, "addr-del %s %s", guid, address);
  return StackCall(line, NULL);
}

/* The address's duplicate detection state as the lab stack found it on the segment. */
DWORD WINAPI GetUnicastIpAddressEntry(MIB_UNICASTIPADDRESS_ROW* row)
{
  char guid[64], address[16], line[160];
  DWORD result, state = 0;
  if (!row) return ERROR_INVALID_PARAMETER;
  if ((result = Ipv4Text(&row->Address, address, sizeof address)) != NO_ERROR) return result;
  if ((result = RowAdapter(row->InterfaceIndex, &row->InterfaceLuid, guid, sizeof guid)) != NO_ERROR)
    return result;
  snprintf(line, sizeof line, "addr-get %s %s", guid, address);
  if ((result = StackCall(line, &state)) != NO_ERROR) return result;
  row->DadState = (NL_DAD_STATE)state;
  return NO_ERROR;
}

/* Default routes only: the agent sets no other, and the lab plays no other. */
static DWORD RouteLine(const MIB_IPFORWARD_ROW2* row, const char* verb, char* line, size_t size)
{
  char guid[64], hop[16];
  DWORD result;
  if (!row) return ERROR_INVALID_PARAMETER;
  if (row->DestinationPrefix.PrefixLength > 32 || row->PreferredLifetime > row->ValidLifetime)
    return ERROR_INVALID_PARAMETER;
  if ((result = Ipv4Text(&row->NextHop, hop, sizeof hop)) != NO_ERROR) return result;
  if (row->DestinationPrefix.PrefixLength != 0) return ERROR_NOT_SUPPORTED;
  if ((result = RowAdapter(row->InterfaceIndex, &row->InterfaceLuid, guid, sizeof guid)) != NO_ERROR)
    return result;
  snprintf(line, size, "%s %s %s %lu", verb, guid, hop, (unsigned long)row->Metric);
  return NO_ERROR;
}

DWORD WINAPI CreateIpForwardEntry2(const MIB_IPFORWARD_ROW2* row)
{
  char line[160];
  DWORD result = RouteLine(row, "route-add", line, sizeof line);
  return result != NO_ERROR ? result : StackCall(line, NULL);
}

DWORD WINAPI DeleteIpForwardEntry2(const MIB_IPFORWARD_ROW2* row)
{
  char line[160];
  DWORD result = RouteLine(row, "route-del", line, sizeof line);
  return result != NO_ERROR ? result : StackCall(line, NULL);
}

/* DNS_INTERFACE_SETTINGS, version 1, of which the lab plays the NameServer setting. */
typedef struct {
  ULONG Version;
  ULONG64 Flags;
  PWSTR Domain, NameServer, SearchList;
  ULONG RegistrationEnabled, RegisterAdapterName, EnableLLMNR, QueryAdapterName;
  PWSTR ProfileNameServer;
} LabDnsInterfaceSettings;

DWORD WINAPI SetInterfaceDnsSettings(GUID id, const LabDnsInterfaceSettings* settings)
{
  char line[600], servers[400] = "";
  int i, n = 0;
  if (!settings || settings->Version != 1 || (settings->Flags & ~(ULONG64)0x2) != 0)
    return ERROR_INVALID_PARAMETER;
  if (settings->Flags & 0x2) {
    const WCHAR* c = settings->NameServer ? settings->NameServer : L"";
    for (; *c && n < (int)sizeof servers - 1; c++) {
      char k = (char)*c;
      if (!((k >= '0' && k <= '9') || k == '.' || k == ',' || k == ' ')) return ERROR_INVALID_PARAMETER;
      servers[n++] = k == ' ' ? ',' : k;
    }
    servers[n] = 0;
  }
  n = snprintf(line, sizeof line, "dns {%08lX-%04X-%04X-", (unsigned long)id.Data1,
               id.Data2, id.Data3);
  for (i = 0; i < 8; i++) {
    n += snprintf(line + n, sizeof line - n, "%02X", id.Data4[i]);
    if (i == 1) n += snprintf(line + n, sizeof line - n, "-");
  }
  snprintf(line + n, sizeof line - n, "} %s", servers[0] ? servers : "-");
  return StackCall(line, NULL);
}

static DWORD LeaseCall(PIP_ADAPTER_INDEX_MAP adapter, const char* verb)
{
  char guid[64], line[160];
  const WCHAR* brace;
  if (!adapter || !(brace = wcschr(adapter->Name, L'{'))) return ERROR_INVALID_PARAMETER;
  WideCharToMultiByte(CP_ACP, 0, brace, -1, guid, sizeof guid, NULL, NULL);
  guid[sizeof guid - 1] = 0;
  snprintf(line, sizeof line, "%s %s", verb, guid);
  return StackCall(line, NULL);
}

DWORD WINAPI IpReleaseAddress(PIP_ADAPTER_INDEX_MAP adapter) { return LeaseCall(adapter, "release"); }
DWORD WINAPI IpRenewAddress(PIP_ADAPTER_INDEX_MAP adapter) { return LeaseCall(adapter, "renew"); }

#define RESOLVE(name) real_##name = (void*)GetProcAddress(real, #name)

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
  char path[MAX_PATH];
  (void)instance; (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  /* This double is system32\iphlpapi.dll; the lab keeps Wine's own beside it. */
  GetSystemDirectoryA(path, MAX_PATH - 24);
  strcat(path, "\\iphlpapi-wine.dll");
  if (!(real = LoadLibraryA(path))) return FALSE;
  realGetAdaptersInfo = (GetAdaptersInfoFn)(void*)GetProcAddress(real, "GetAdaptersInfo");
  RESOLVE(GetInterfaceInfo);
  RESOLVE(GetNetworkParams);
  realGetIfEntry = (GetIfEntryFn)(void*)GetProcAddress(real, "GetIfEntry");
  RESOLVE(GetIpAddrTable);
  RESOLVE(GetAdaptersAddresses);
  RESOLVE(ConvertLengthToIpv4Mask);
  RESOLVE(DeleteIpForwardEntry);
  RESOLVE(ConvertInterfaceLuidToIndex);
  realSetIpForwardEntry = (SetIpForwardEntryFn)(void*)GetProcAddress(real, "SetIpForwardEntry");
  return TRUE;
}
