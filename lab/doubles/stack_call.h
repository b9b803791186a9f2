/* The doubles' line to the lab stack's Linux half. A call is a one-line request file in
 * C:\nvlab\calls; the stack's regwatch passes it to stack/apply, which changes the host's
 * namespace (ip addr, ip route, resolv.conf) and answers with "RESULT [VALUE]" in a file
 * of the same name. So what an IP helper call changes is visible with `ip addr` and
 * `ip route` in the host, as the call's effect on Windows is visible with ipconfig. */
#ifndef NVLAB_STACK_CALL_H
#define NVLAB_STACK_CALL_H

#include <windows.h>
#include <iphlpapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define STACK_CALL_DIR "C:\\nvlab\\calls"
#define STACK_CALL_WAIT_MS 20000

/* Sends `line`; returns the stack's result code and, when given, its value. A stack that
 * does not answer gives ERROR_GEN_FAILURE. */
static DWORD StackCall(const char* line, DWORD* value)
{
  static LONG sequence;
  char base[MAX_PATH], temp[MAX_PATH], request[MAX_PATH], answer[MAX_PATH];
  DWORD start = GetTickCount();
  FILE* f;
  CreateDirectoryA(STACK_CALL_DIR, NULL);
  snprintf(base, sizeof base, STACK_CALL_DIR "\\%lu-%ld", (unsigned long)GetCurrentProcessId(),
           (long)InterlockedIncrement(&sequence));
  snprintf(temp, sizeof temp, "%s.tmp", base);
  snprintf(request, sizeof request, "%s.req", base);
  snprintf(answer, sizeof answer, "%s.res", base);
  if (!(f = fopen(temp, "wb"))) return ERROR_GEN_FAILURE;
  fprintf(f, "%s\n", line);
  fclose(f);
  if (!MoveFileA(temp, request)) return ERROR_GEN_FAILURE;
  while (GetTickCount() - start < STACK_CALL_WAIT_MS) {
    unsigned long result, extra = 0;
    if ((f = fopen(answer, "rb"))) {
      int fields = fscanf(f, "%lu %lu", &result, &extra);
      fclose(f);
      if (fields >= 1) {
        DeleteFileA(answer);
        if (value) *value = (DWORD)extra;
        return (DWORD)result;
      }
    }
    Sleep(20);
  }
  DeleteFileA(request);
  return ERROR_GEN_FAILURE;
}

/* "{GUID}" of the adapter with that interface index, from the adapter list. */
static int AdapterOfIndex(ULONG index, char* guid, size_t size)
{
  ULONG length = 0;
  IP_ADAPTER_INFO *list, *a;
  int found = 0;
  GetAdaptersInfo(NULL, &length);
  if (!length || !(list = malloc(length))) return 0;
  if (GetAdaptersInfo(list, &length) == NO_ERROR)
    for (a = list; a && !found; a = a->Next)
      if (a->Index == index) {
        snprintf(guid, size, "%s", a->AdapterName);
        found = 1;
      }
  free(list);
  return found;
}

static void FormatIpv4(const void* networkOrder, char* text, size_t size)
{
  const unsigned char* b = (const unsigned char*)networkOrder;
  snprintf(text, size, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

#endif
