/* One discovery from the console host, for `scripts/lab up`: prints the host name of every
 * agent that answers, one per line, and exits 0 (1 when the transport cannot start). Loads
 * TaviClient.dll from its own folder or the search path; the lab copies it to C:\Netvane.
 * Usage: discover.exe [TIMEOUT_SECONDS] */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef void (*ReplyHook)(const unsigned char* reply);
typedef struct {
  unsigned char* request;
  void* reply;
  ReplyHook hook;
  void* event;
} Work;

static void OnReply(const unsigned char* reply)
{
  char name[37];
  memcpy(name, reply + 27, 36); /* the host record's hostName */
  name[36] = '\0';
  printf("%s\n", name);
  fflush(stdout);
}

int main(int argc, char** argv)
{
  HMODULE dll = LoadLibraryA("TaviClient.dll");
  int (*init)(void);
  void (*cleanup)(void);
  int (*count)(void);
  int (*connected)(int);
  int (*doWork)(Work*, void**);
  void (*freePackets)(void**);
  void (*setTimeout)(int);
  unsigned char request[84];
  void* packets = NULL;
  void* cancel = NULL;
  Work work;
  int i, adapters;
  if (!dll) return 1;
  init = (int (*)(void))GetProcAddress(dll, "TVInitialize");
  cleanup = (void (*)(void))GetProcAddress(dll, "TVCleanup");
  count = (int (*)(void))GetProcAddress(dll, "TVGetAdpaterCount");
  connected = (int (*)(int))GetProcAddress(dll, "TVIsAdapterConnected");
  doWork = (int (*)(Work*, void**))GetProcAddress(dll, "TVDoWork");
  freePackets = (void (*)(void**))GetProcAddress(dll, "TVFreePackets");
  setTimeout = (void (*)(int))GetProcAddress(dll, "TVSetDiscoverTimeout");
  if (!init || !cleanup || !count || !connected || !doWork || !freePackets || !setTimeout) return 1;
  if (init() != 0) return 1;
  setTimeout(argc > 1 ? atoi(argv[1]) : 2);
  adapters = count();
  for (i = 0; i < adapters; i++) {
    if (!connected(i)) continue;
    memset(request, 0, sizeof request);
    request[0] = (unsigned char)i;          /* adapterIndex */
    memset(request + 4, 0xFF, 6);           /* every agent */
    request[12] = 1;                        /* Discover */
    memset(&work, 0, sizeof work);
    work.request = request;
    work.reply = &packets;
    work.hook = OnReply;
    doWork(&work, &cancel);
  }
  freePackets(&packets);
  cleanup();
  return 0;
}
