/* Lab double of the DHCP client's notification entry point. Wine's builtin crashes when
 * it is called; this one records each call where a test can read it and answers with the
 * code a test asked for (C:\nvlab\dhcp-notify-result, default 0). The address change
 * itself is carried out by the lab stack, which watches the TCP/IP registry values; as on
 * Windows, a fixed address is in place when the call returns. */
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Waits (at most 5 s) until the adapter named by its GUID carries the address. */
static void AwaitAddress(const char* guid, const char* address)
{
  DWORD start = GetTickCount();
  while (GetTickCount() - start < 5000) {
    ULONG size = 0;
    IP_ADAPTER_INFO *list, *a;
    int found = 0;
    GetAdaptersInfo(NULL, &size);
    if (size && (list = malloc(size))) {
      if (GetAdaptersInfo(list, &size) == NO_ERROR)
        for (a = list; a; a = a->Next)
          if (strcmp(a->AdapterName, guid) == 0 &&
              strcmp(a->IpAddressList.IpAddress.String, address) == 0)
            found = 1;
      free(list);
    }
    if (found) return;
    Sleep(50);
  }
}

static void FormatAddress(DWORD networkOrder, char* text)
{
  const unsigned char* b = (const unsigned char*)&networkOrder;
  sprintf(text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

static DWORD RequestedResult(void)
{
  DWORD result = 0;
  FILE* f = fopen("C:\\nvlab\\dhcp-notify-result", "r");
  if (f) {
    if (fscanf(f, "%lu", &result) != 1) result = 0;
    fclose(f);
  }
  return result;
}

DWORD WINAPI DhcpNotifyConfigChange(LPWSTR server, LPWSTR adapter, BOOL newAddress,
                                    DWORD index, DWORD address, DWORD mask, int action)
{
  char name[128] = "", addressText[16], maskText[16];
  DWORD result = RequestedResult();
  FILE* f;
  (void)server;
  if (adapter) WideCharToMultiByte(CP_UTF8, 0, adapter, -1, name, sizeof name - 1, NULL, NULL);
  FormatAddress(address, addressText);
  FormatAddress(mask, maskText);
  f = fopen("C:\\nvlab\\dhcp-notify.log", "ab");
  if (f) {
    fprintf(f, "%s new=%d index=%lu address=%s mask=%s action=%d result=%lu\n", name,
            newAddress ? 1 : 0, index, addressText, maskText, action, result);
    fclose(f);
  }
  if (result == 0 && action == 2 && newAddress) AwaitAddress(name, addressText);
  return result;
}

DWORD WINAPI DhcpCApiInitialize(LPDWORD version)
{
  if (version) *version = 2;
  return 0;
}

void WINAPI DhcpCApiCleanup(void) {}
