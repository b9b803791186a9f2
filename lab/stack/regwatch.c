/* The Windows half of the lab stack. Runs in a simulated host's prefix and prints one line
 * per adapter whenever its TCP/IP registry values settle on a new state:
 *   GUID MODE ADDRESS MASK GATEWAY NAMESERVER      (MODE dhcp|static, "-" for empty)
 * The Linux half (stack/apply) turns each line into addresses and routes. A state is
 * printed only after two equal reads in a row, so the half-written values of a change in
 * progress are never applied.
 * `regwatch --adapters` prints "GUID LINUXNAME DHCPFLAG" for every adapter
 * Wine reports (its builtin sets the DHCP flag on every adapter). */
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define INTERFACES "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces"
#define MAX_KEYS 32

static void ReadText(HKEY key, const char* name, char* out, DWORD size)
{
  DWORD type = 0, length = size - 2;
  memset(out, 0, size);
  if (RegQueryValueExA(key, name, NULL, &type, (BYTE*)out, &length) != ERROR_SUCCESS) out[0] = 0;
  out[size - 1] = 0;
  /* First string of a multi-string or list; "-" stands for empty so fields stay separable. */
  out[strcspn(out, " ,")] = 0;
  if (!out[0]) strcpy(out, "-");
}

static void ReadState(HKEY key, char* line, size_t size)
{
  DWORD dhcp = 0, length = sizeof dhcp;
  char address[256], mask[256], gateway[256], dns[256];
  if (RegQueryValueExA(key, "EnableDHCP", NULL, NULL, (BYTE*)&dhcp, &length) != ERROR_SUCCESS)
    dhcp = 0;
  ReadText(key, "IPAddress", address, sizeof address);
  ReadText(key, "SubnetMask", mask, sizeof mask);
  ReadText(key, "DefaultGateway", gateway, sizeof gateway);
  ReadText(key, "NameServer", dns, sizeof dns);
  snprintf(line, size, "%s %s %s %s %s", dhcp ? "dhcp" : "static", address, mask, gateway, dns);
}

static int ListAdapters(void)
{
  ULONG size = 0;
  IP_ADAPTER_INFO *list, *a;
  GetAdaptersInfo(NULL, &size);
  if (!size || !(list = malloc(size))) return 1;
  if (GetAdaptersInfo(list, &size) != NO_ERROR) return 1;
  for (a = list; a; a = a->Next)
    printf("%s %s %u\n", a->AdapterName, a->Description, (unsigned)a->DhcpEnabled);
  free(list);
  return 0;
}

int main(int argc, char** argv)
{
  static char names[MAX_KEYS][64], shown[MAX_KEYS][1100], seen[MAX_KEYS][1100];
  HKEY root;
  if (argc > 1 && strcmp(argv[1], "--adapters") == 0) return ListAdapters();
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, INTERFACES, 0, KEY_READ, &root) != ERROR_SUCCESS) {
    fprintf(stderr, "regwatch: no interface keys\n");
    return 1;
  }
  for (;;) {
    DWORD i;
    char name[64], state[1024], line[1100];
    for (i = 0; i < MAX_KEYS; i++) {
      DWORD length = sizeof name;
      HKEY key;
      if (RegEnumKeyExA(root, i, name, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
      if (RegOpenKeyExA(root, name, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
      ReadState(key, state, sizeof state);
      RegCloseKey(key);
      snprintf(line, sizeof line, "%s %s", name, state);
      if (strcmp(names[i], name) != 0) {
        strcpy(names[i], name);
        shown[i][0] = 0;
      }
      if (strcmp(line, seen[i]) == 0 && strcmp(line, shown[i]) != 0) {
        strcpy(shown[i], line);
        printf("%s\n", line);
        fflush(stdout);
      }
      strcpy(seen[i], line);
    }
    Sleep(100);
  }
}
