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
/* Longer than any call takes (duplicate detection is the longest, about 2 s) by far: the
 * wait is there for a stack that is gone, and a busy machine must not look like one. */
#define STACK_CALL_WAIT_MS 45000

/* Reads the stack's answer to a call; 1 when it is there (and consumed). */
static int TakeAnswer(const char* answer, DWORD* result, DWORD* value)
{
  unsigned long code, extra = 0;
  int fields;
  FILE* f = fopen(answer, "rb");
  if (!f) return 0;
  fields = fscanf(f, "%lu %lu", &code, &extra);
  fclose(f);
  if (fields < 1) return 0; /* renamed into place whole, so this is a read that lost a race */
  DeleteFileA(answer);
  *result = (DWORD)code;
  if (value) *value = (DWORD)extra;
  return 1;
}

/* Sends `line`; returns the stack's result code and, when given, its value. A stack that
 * does not answer gives ERROR_GEN_FAILURE. */
static DWORD StackCall(const char* line, DWORD* value)
{
  static LONG sequence;
  char base[MAX_PATH], temp[MAX_PATH], request[MAX_PATH], answer[MAX_PATH];
  DWORD start = GetTickCount(), result;
  FILE* f;
  CreateDirectoryA(STACK_CALL_DIR, NULL);
  /* The start time is part of the name: Wine reuses process ids, and a later process must
   * never take the late answer to a call that an earlier one gave up on. */
  snprintf(base, sizeof base, STACK_CALL_DIR "\\%lu-%lu-%ld", (unsigned long)GetCurrentProcessId(),
           (unsigned long)start, (long)InterlockedIncrement(&sequence));
  snprintf(temp, sizeof temp, "%s.tmp", base);
  snprintf(request, sizeof request, "%s.req", base);
  snprintf(answer, sizeof answer, "%s.res", base);
  if (!(f = fopen(temp, "wb"))) return ERROR_GEN_FAILURE;
  fprintf(f, "%s\n", line);
  fclose(f);
  if (!MoveFileA(temp, request)) return ERROR_GEN_FAILURE;
  while (GetTickCount() - start < STACK_CALL_WAIT_MS) {
    if (TakeAnswer(answer, &result, value)) return result;
    Sleep(20);
  }
  /* One last look: a caller that was itself held up past the deadline still sees an answer
   * that came in time. */
  if (TakeAnswer(answer, &result, value)) return result;
  DeleteFileA(request);
  return ERROR_GEN_FAILURE;
}

/* The adapter with that interface index, from the adapter list; 0 when there is none. */
static int AdapterWithIndex(ULONG index, IP_ADAPTER_INFO* found)
{
  ULONG length = 0;
  IP_ADAPTER_INFO *list, *a;
  int seen = 0;
  GetAdaptersInfo(NULL, &length);
  if (!length || !(list = malloc(length))) return 0;
  if (GetAdaptersInfo(list, &length) == NO_ERROR)
    for (a = list; a && !seen; a = a->Next)
      if (a->Index == index) {
        *found = *a;
        found->Next = NULL;
        seen = 1;
      }
  free(list);
  return seen;
}

/* "{GUID}" of the adapter with that interface index. */
static int AdapterOfIndex(ULONG index, char* guid, size_t size)
{
  IP_ADAPTER_INFO adapter;
  if (!AdapterWithIndex(index, &adapter)) return 0;
  snprintf(guid, size, "%s", adapter.AdapterName);
  return 1;
}

static void FormatIpv4(const void* networkOrder, char* text, size_t size)
{
  const unsigned char* b = (const unsigned char*)networkOrder;
  snprintf(text, size, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

#endif
