/* The Windows half of the lab stack. Runs in a simulated host's prefix and prints one line
 * per adapter whenever its TCP/IP registry values settle on a new state:
 *   GUID MODE ADDRESSES MASKS GATEWAY NAMESERVERS  (MODE dhcp|static, lists joined by
 *                                                   commas, "-" for empty)
 * and one line per call the IP helper double makes (stack_call.h):
 *   call NAME REQUEST...
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

static void ReadText(HKEY key, const char* name, char* out, DWORD size, int whole)
{
  DWORD type = 0, length = size - 2, i;
  memset(out, 0, size);
  if (RegQueryValueExA(key, name, NULL, &type, (BYTE*)out, &length) != ERROR_SUCCESS) out[0] = 0;
  out[size - 1] = out[size - 2] = 0;
  if (type == REG_MULTI_SZ) /* the strings joined by commas, up to the empty one */
    for (i = 0; i + 1 < size && out[i]; i++)
      if (!out[i + 1] && out[i + 2]) out[++i] = ',';
  for (i = 0; out[i]; i++) /* a list in one field: commas, no blanks */
    if (out[i] == ' ' || out[i] == '\t' || out[i] == '\r' || out[i] == '\n') out[i] = ',';
  if (!whole) out[strcspn(out, ",")] = 0;
  if (!out[0]) strcpy(out, "-");
}

/* Passes each new request of the doubles on once, renamed so that it is not seen again. */
static void RelayCalls(void)
{
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA("C:\\nvlab\\calls\\*.req", &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    char path[MAX_PATH], taken[MAX_PATH], line[512] = "", name[MAX_PATH];
    FILE* f;
    snprintf(path, sizeof path, "C:\\nvlab\\calls\\%s", found.cFileName);
    snprintf(name, sizeof name, "%s", found.cFileName);
    name[strlen(name) - 4] = 0;
    snprintf(taken, sizeof taken, "C:\\nvlab\\calls\\%s.taken", name);
    if (!MoveFileA(path, taken) || !(f = fopen(taken, "rb"))) continue;
    if (!fgets(line, sizeof line, f)) line[0] = 0;
    fclose(f);
    DeleteFileA(taken);
    line[strcspn(line, "\r\n")] = 0;
    if (line[0]) {
      printf("call %s %s\n", name, line);
      fflush(stdout);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

static void ReadState(HKEY key, char* line, size_t size)
{
  DWORD dhcp = 0, length = sizeof dhcp;
  char address[256], mask[256], gateway[256], dns[256];
  if (RegQueryValueExA(key, "EnableDHCP", NULL, NULL, (BYTE*)&dhcp, &length) != ERROR_SUCCESS)
    dhcp = 0;
  ReadText(key, "IPAddress", address, sizeof address, 1);
  ReadText(key, "SubnetMask", mask, sizeof mask, 1);
  ReadText(key, "DefaultGateway", gateway, sizeof gateway, 0);
  ReadText(key, "NameServer", dns, sizeof dns, 1);
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
  CreateDirectoryA("C:\\nvlab\\calls", NULL);
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
    RelayCalls();
    Sleep(100);
  }
}
