/* Lab double of the IP helper, for the agent only: Wine's GetAdaptersInfo calls every
 * adapter DHCP-enabled, so this one corrects the flag from the adapter's EnableDHCP
 * registry value, as the Windows stack reports it. Everything else goes straight to
 * Wine's builtin, loaded by its full path beside this module. */
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <stdio.h>
#include <stdlib.h>

static HMODULE real;

/* Forwarders that jump to the builtin with the caller's arguments untouched. */
#define FORWARD(name)                 \
  void* real_##name;                  \
  __asm__(".text\n.globl " #name "\n" #name ":\n\tjmp *real_" #name "(%rip)\n");

FORWARD(GetInterfaceInfo)
FORWARD(GetNetworkParams)
FORWARD(GetIfEntry)
FORWARD(GetIpAddrTable)
FORWARD(GetAdaptersAddresses)
FORWARD(ConvertLengthToIpv4Mask)
FORWARD(DeleteIpForwardEntry)

typedef DWORD(WINAPI* GetAdaptersInfoFn)(PIP_ADAPTER_INFO, PULONG);
typedef DWORD(WINAPI* SetIpForwardEntryFn)(PMIB_IPFORWARDROW);
static GetAdaptersInfoFn realGetAdaptersInfo;
static SetIpForwardEntryFn realSetIpForwardEntry;

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

/* Wine's route calls change nothing; the lab stack sets the default route from the
 * DefaultGateway registry value the agent wrote first. As on Windows the route is in
 * place when the call returns: wait (at most 3 s) until the adapter shows the gateway. */
DWORD WINAPI SetIpForwardEntry(PMIB_IPFORWARDROW row)
{
  DWORD result, start = GetTickCount();
  struct in_addr hop;
  char want[16];
  if (!realSetIpForwardEntry || !row) return ERROR_INVALID_PARAMETER;
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
  RESOLVE(GetIfEntry);
  RESOLVE(GetIpAddrTable);
  RESOLVE(GetAdaptersAddresses);
  RESOLVE(ConvertLengthToIpv4Mask);
  RESOLVE(DeleteIpForwardEntry);
  realSetIpForwardEntry = (SetIpForwardEntryFn)(void*)GetProcAddress(real, "SetIpForwardEntry");
  return TRUE;
}
