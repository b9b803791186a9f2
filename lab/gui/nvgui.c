/* Drives the console's main dialog from a second process in the same prefix, for the
 * lab's walk-through and end-to-end tests. Runs its arguments as a script of commands:
 *   wait-main SECS | rows | row-count | wait-rows N SECS | click ID | set-ip ID A.B.C.D
 *   select-host NAME (clicks its row, then waits until the panel shows the host)
 *   set-text ID TEXT | text ID | enabled ID | dialog TITLE SECS | dlg-text ID TEXT
 *   dlg-click ID | message SECS | wait-idle SECS | gone SECS | sleep MS |
 *   wait-disabled ID SECS
 *   wait-row NAME TEXT SECS (until the host's row shows TEXT in one of its cells)
 *   wait-enabled ID SECS (a button that an exchange disables, e.g. Discover, is back)
 *   respond MS (the console's window thread answers a message within MS milliseconds, as
 *   it must to handle a click in time; prints the time it took)
 *   dismiss (cancels every open prompt and message box: Cancel where there is one, else OK)
 *   devnodes-changed (the broadcast Windows sends when any device comes or goes)
 *   net-arrival (what Windows sends a window registered for GUID_DEVINTERFACE_NET when a
 *   network adapter arrives: DBT_DEVICEARRIVAL with the interface's class and name)
 *   Wine's plug and play does not announce Linux network interfaces, so the lab does.
 *   host-key SECS ANSWER (waits until a host-key question or any other prompt is up; when
 *   it is a host-key question, prints "host-key TITLE | HOST | PRESENTED | PINNED" and
 *   answers it: yes, no, replace (then Yes to the confirmation) or close)
 * Prints what it reads; exits 1 (with the reason on stderr) when a wait runs out. */
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAIN_TITLE "Orvane Network Utility 1.8"
#define HOST_LIST 1002
#define KEY_HOST 1041
#define KEY_FINGERPRINT 1042
#define KEY_PINNED 1043
#define KEY_REPLACE 1044

static HWND mainWindow, dialogWindow;
static HANDLE target; /* the console process, for list-view buffers */

static int Fail(const char* what, const char* arg)
{
  fprintf(stderr, "nvgui: %s %s\n", what, arg ? arg : "");
  return 1;
}

static int Waited(DWORD start, const char* seconds)
{
  return GetTickCount() - start >= (DWORD)(atof(seconds) * 1000);
}

/* The visible top-level windows of the console's thread other than the main dialog:
 * message boxes, the password prompts and the wait dialog. */
typedef struct { HWND found; const char* title; HWND skip; } Search;

static BOOL CALLBACK MatchDialog(HWND w, LPARAM p)
{
  Search* s = (Search*)p;
  char title[256] = "";
  if (w == mainWindow || w == s->skip || !IsWindowVisible(w)) return TRUE;
  GetWindowTextA(w, title, sizeof title);
  if (s->title && strcmp(title, s->title) != 0) return TRUE;
  s->found = w;
  return FALSE;
}

static HWND FindDialog(const char* title)
{
  Search s = {NULL, title, NULL};
  if (!mainWindow) return NULL;
  EnumThreadWindows(GetWindowThreadProcessId(mainWindow, NULL), MatchDialog, (LPARAM)&s);
  return s.found;
}

/* The same, passing over `skip` (a prompt whose own message box is looked for). */
static HWND FindOtherDialog(HWND skip)
{
  Search s = {NULL, NULL, skip};
  EnumThreadWindows(GetWindowThreadProcessId(mainWindow, NULL), MatchDialog, (LPARAM)&s);
  return s.found;
}

static int WaitMain(const char* seconds)
{
  DWORD start = GetTickCount(), pid = 0;
  while (!(mainWindow = FindWindowA("#32770", MAIN_TITLE)) || !IsWindowVisible(mainWindow)) {
    if (Waited(start, seconds)) return Fail("no main window after", seconds);
    Sleep(100);
  }
  GetWindowThreadProcessId(mainWindow, &pid);
  target = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  return target ? 0 : Fail("cannot open the console process", NULL);
}

/* Text of one list cell, through a buffer in the console's address space. */
static void CellText(HWND list, int row, int column, char* out, int size)
{
  LVITEMA item;
  char* remote = VirtualAllocEx(target, NULL, sizeof item + 256, MEM_COMMIT, PAGE_READWRITE);
  SIZE_T done;
  memset(&item, 0, sizeof item);
  item.iSubItem = column;
  item.cchTextMax = 255;
  item.pszText = remote + sizeof item;
  WriteProcessMemory(target, remote, &item, sizeof item, &done);
  SendMessageA(list, LVM_GETITEMTEXTA, row, (LPARAM)remote);
  memset(out, 0, size);
  ReadProcessMemory(target, remote + sizeof item, out, size - 1, &done);
  VirtualFreeEx(target, remote, 0, MEM_RELEASE);
}

static int RowCount(void)
{
  return (int)SendMessageA(GetDlgItem(mainWindow, HOST_LIST), LVM_GETITEMCOUNT, 0, 0);
}

static void PrintRows(void)
{
  HWND list = GetDlgItem(mainWindow, HOST_LIST);
  int rows = RowCount(), r, c;
  char cell[256];
  for (r = 0; r < rows; r++) {
    printf("row");
    for (c = 1; c <= 5; c++) {
      CellText(list, r, c, cell, sizeof cell);
      printf("\t%s", cell);
    }
    printf("\n");
  }
  fflush(stdout);
}

/* A left click in the middle of the row's host cell, as the user would make it. */
static int SelectHost(const char* name)
{
  HWND list = GetDlgItem(mainWindow, HOST_LIST);
  int rows = RowCount(), r;
  char cell[256];
  for (r = 0; r < rows; r++) {
    CellText(list, r, 1, cell, sizeof cell);
    if (_stricmp(cell, name) == 0) break;
  }
  if (r == rows) return Fail("no row for host", name);
  {
    RECT rect;
    SIZE_T done;
    RECT* remote = VirtualAllocEx(target, NULL, sizeof rect, MEM_COMMIT, PAGE_READWRITE);
    LPARAM at;
    rect.left = LVIR_BOUNDS;
    WriteProcessMemory(target, remote, &rect, sizeof rect, &done);
    SendMessageA(list, LVM_GETITEMRECT, r, (LPARAM)remote);
    ReadProcessMemory(target, remote, &rect, sizeof rect, &done);
    VirtualFreeEx(target, remote, 0, MEM_RELEASE);
    at = MAKELPARAM(rect.left + 60, (rect.top + rect.bottom) / 2);
    SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(list, WM_LBUTTONUP, 0, at);
  }
  /* Selected once the panel shows the host: its name in the host-name field. */
  {
    DWORD start = GetTickCount();
    char shown[64] = "";
    for (;;) {
      /* WM_GETTEXT, not GetWindowText: for another process's window that reads the
       * caption kept by the window manager, not what the edit control holds. */
      SendMessageA(GetDlgItem(mainWindow, 1003), WM_GETTEXT, sizeof shown, (LPARAM)shown);
      if (_stricmp(shown, cell) == 0) return 0;
      if (GetTickCount() - start > 10000) return Fail("panel does not show host", name);
      Sleep(50);
    }
  }
}

/* The row of host `name` joined with tabs; 0 when there is none. */
static int RowOf(const char* name, char* out, int size)
{
  HWND list = GetDlgItem(mainWindow, HOST_LIST);
  int rows = RowCount(), r, c;
  char cell[256];
  for (r = 0; r < rows; r++) {
    CellText(list, r, 1, cell, sizeof cell);
    if (_stricmp(cell, name) != 0) continue;
    out[0] = 0;
    for (c = 1; c <= 5; c++) {
      CellText(list, r, c, cell, sizeof cell);
      strncat(out, "\t", size - strlen(out) - 1);
      strncat(out, cell, size - strlen(out) - 1);
    }
    return 1;
  }
  return 0;
}

/* A control's text with its line breaks turned into blanks, for one output line. */
static void FlatText(HWND window, int id, char* out, int size)
{
  char* c;
  HWND control = GetDlgItem(window, id);
  out[0] = 0;
  /* WM_GETTEXT, not GetWindowText: the edit belongs to another process. */
  if (control) SendMessageA(control, WM_GETTEXT, size, (LPARAM)out);
  out[size - 1] = 0;
  for (c = out; *c; c++)
    if (*c == '\r' || *c == '\n') *c = ' ';
}

static int AnswerHostKey(const char* seconds, const char* answer)
{
  DWORD start = GetTickCount();
  char title[128] = "", host[128], presented[128], pinned[128];
  HWND box;
  while (!(box = FindDialog(NULL)) || !strcmp((GetWindowTextA(box, title, sizeof title), title), "Please wait")) {
    if (Waited(start, seconds)) return Fail("no prompt after", seconds);
    Sleep(100);
  }
  if (strcmp(title, "Unknown Host Key") != 0 && strcmp(title, "Host Key Changed") != 0) return 0;
  Sleep(200);
  FlatText(box, KEY_HOST, host, sizeof host);
  FlatText(box, KEY_FINGERPRINT, presented, sizeof presented);
  FlatText(box, KEY_PINNED, pinned, sizeof pinned);
  printf("host-key %s | %s | %s | %s\n", title, host, presented, pinned);
  fflush(stdout);
  if (strcmp(answer, "yes") == 0) {
    PostMessageA(GetDlgItem(box, IDYES), BM_CLICK, 0, 0);
  } else if (strcmp(answer, "no") == 0) {
    PostMessageA(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
  } else if (strcmp(answer, "replace") == 0) {
    HWND confirm;
    PostMessageA(GetDlgItem(box, KEY_REPLACE), BM_CLICK, 0, 0);
    start = GetTickCount();
    /* The confirmation is a message box owned by the question. */
    while (!(confirm = FindOtherDialog(box)) || !GetDlgItem(confirm, 0xFFFF)) {
      if (Waited(start, seconds)) return Fail("no confirmation after", seconds);
      Sleep(100);
    }
    PostMessageA(GetDlgItem(confirm, IDYES), BM_CLICK, 0, 0);
  } else {
    PostMessageA(GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0);
  }
  start = GetTickCount();
  while (IsWindow(box)) {
    if (Waited(start, seconds)) return Fail("host-key question still open after", seconds);
    Sleep(100);
  }
  return 0;
}

static int SetAddress(HWND window, int id, const char* text)
{
  unsigned a, b, c, d;
  if (sscanf(text, "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return Fail("not an address:", text);
  SendDlgItemMessageA(window, id, IPM_SETADDRESS, 0, MAKEIPADDRESS(a, b, c, d));
  return 0;
}

/* Sent, not posted: the event's data travels with the message (Wine copies it across
 * processes for DBT_DEVICEARRIVAL). Time-limited, as the console answers with a message box. */
static void SendNetArrival(void)
{
  static const GUID netInterface = {
      0xCAC88484, 0x7515, 0x4C03, {0x82, 0xE6, 0x71, 0xA8, 0x7A, 0xBA, 0xC3, 0x61}};
  static const char name[] = "\\\\?\\ROOT#NET#0001#{cac88484-7515-4c03-82e6-71a87abac361}";
  struct {
    DEV_BROADCAST_DEVICEINTERFACE_A header;
    char rest[sizeof name];
  } event;
  DWORD_PTR result = 0;
  memset(&event, 0, sizeof event);
  memcpy((char*)&event + offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name), name, sizeof name);
  event.header.dbcc_size = (DWORD)(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + sizeof name);
  event.header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  event.header.dbcc_classguid = netInterface;
  SendMessageTimeoutA(mainWindow, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, (LPARAM)&event,
                      SMTO_NORMAL, 1000, &result);
}

static int Run(int argc, char** argv)
{
  int i = 1;
#define NEED(n) if (i + (n) >= argc) return Fail("missing argument for", argv[i])
  while (i < argc) {
    const char* cmd = argv[i];
    if (strcmp(cmd, "wait-main") == 0) {
      NEED(1);
      if (WaitMain(argv[i + 1])) return 1;
      i += 2;
      continue;
    }
    if (!mainWindow && strcmp(cmd, "sleep") != 0 && strcmp(cmd, "devnodes-changed") != 0 &&
        WaitMain("10"))
      return 1;
    if (strcmp(cmd, "rows") == 0) {
      PrintRows();
      i += 1;
    } else if (strcmp(cmd, "row-count") == 0) {
      printf("row-count %d\n", RowCount());
      i += 1;
    } else if (strcmp(cmd, "wait-rows") == 0) {
      DWORD start = GetTickCount();
      NEED(2);
      while (RowCount() < atoi(argv[i + 1])) {
        if (Waited(start, argv[i + 2])) return Fail("too few rows after", argv[i + 2]);
        Sleep(100);
      }
      i += 3;
    } else if (strcmp(cmd, "select-host") == 0) {
      NEED(1);
      if (SelectHost(argv[i + 1])) return 1;
      i += 2;
    } else if (strcmp(cmd, "click") == 0 || strcmp(cmd, "dlg-click") == 0) {
      HWND owner = cmd[0] == 'd' ? dialogWindow : mainWindow;
      NEED(1);
      PostMessageA(GetDlgItem(owner, atoi(argv[i + 1])), BM_CLICK, 0, 0);
      Sleep(50);
      i += 2;
    } else if (strcmp(cmd, "set-ip") == 0) {
      NEED(2);
      if (SetAddress(mainWindow, atoi(argv[i + 1]), argv[i + 2])) return 1;
      i += 3;
    } else if (strcmp(cmd, "set-text") == 0 || strcmp(cmd, "dlg-text") == 0) {
      HWND owner = cmd[0] == 'd' ? dialogWindow : mainWindow;
      NEED(2);
      SendDlgItemMessageA(owner, atoi(argv[i + 1]), WM_SETTEXT, 0, (LPARAM)argv[i + 2]);
      i += 3;
    } else if (strcmp(cmd, "text") == 0) {
      char text[512] = "";
      NEED(1);
      SendMessageA(GetDlgItem(mainWindow, atoi(argv[i + 1])), WM_GETTEXT, sizeof text, (LPARAM)text);
      printf("text %s %s\n", argv[i + 1], text);
      i += 2;
    } else if (strcmp(cmd, "enabled") == 0) {
      NEED(1);
      printf("enabled %s %d\n", argv[i + 1], IsWindowEnabled(GetDlgItem(mainWindow, atoi(argv[i + 1]))) ? 1 : 0);
      i += 2;
    } else if (strcmp(cmd, "dialog") == 0) {
      DWORD start = GetTickCount();
      NEED(2);
      while (!(dialogWindow = FindDialog(argv[i + 1]))) {
        if (Waited(start, argv[i + 2])) return Fail("no dialog titled", argv[i + 1]);
        Sleep(100);
      }
      Sleep(200);
      i += 3;
    } else if (strcmp(cmd, "message") == 0) {
      DWORD start = GetTickCount();
      HWND box = NULL;
      char text[512] = "";
      NEED(1);
      /* A message box is the dialog with a static text of ID 0xFFFF. */
      while (!(box = FindDialog(NULL)) || !GetDlgItem(box, 0xFFFF)) {
        if (!IsWindow(mainWindow) && !box) return Fail("console gone before a message", NULL);
        if (Waited(start, argv[i + 1])) return Fail("no message box after", argv[i + 1]);
        Sleep(100);
      }
      GetWindowTextA(GetDlgItem(box, 0xFFFF), text, sizeof text);
      printf("message %s\n", text);
      fflush(stdout);
      dialogWindow = box;
      i += 2;
    } else if (strcmp(cmd, "wait-idle") == 0) {
      DWORD start = GetTickCount();
      NEED(1);
      while (FindDialog(NULL)) {
        if (Waited(start, argv[i + 1])) return Fail("still busy after", argv[i + 1]);
        Sleep(100);
      }
      i += 2;
    } else if (strcmp(cmd, "gone") == 0) {
      DWORD start = GetTickCount();
      NEED(1);
      while (IsWindow(mainWindow)) {
        if (Waited(start, argv[i + 1])) return Fail("console still open after", argv[i + 1]);
        Sleep(100);
      }
      i += 2;
    } else if (strcmp(cmd, "wait-row") == 0) {
      DWORD start = GetTickCount();
      char row[1400] = "";
      NEED(3);
      while (!RowOf(argv[i + 1], row, sizeof row) || !strstr(row, argv[i + 2])) {
        if (Waited(start, argv[i + 3])) {
          fprintf(stderr, "nvgui: row of %s is '%s'\n", argv[i + 1], row);
          return Fail("row never showed", argv[i + 2]);
        }
        Sleep(200);
      }
      printf("row%s\n", row);
      i += 4;
    } else if (strcmp(cmd, "wait-disabled") == 0) {
      DWORD start = GetTickCount();
      NEED(2);
      while (IsWindowEnabled(GetDlgItem(mainWindow, atoi(argv[i + 1])))) {
        if (Waited(start, argv[i + 2])) return Fail("still enabled:", argv[i + 1]);
        Sleep(20);
      }
      i += 3;
    } else if (strcmp(cmd, "wait-enabled") == 0) {
      DWORD start = GetTickCount();
      NEED(2);
      while (!IsWindowEnabled(GetDlgItem(mainWindow, atoi(argv[i + 1])))) {
        if (Waited(start, argv[i + 2])) return Fail("still disabled:", argv[i + 1]);
        Sleep(100);
      }
      i += 3;
    } else if (strcmp(cmd, "respond") == 0) {
      DWORD start = GetTickCount();
      DWORD_PTR result = 0;
      NEED(1);
      if (!SendMessageTimeoutA(mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, (UINT)atoi(argv[i + 1]), &result))
        return Fail("no answer within ms:", argv[i + 1]);
      printf("respond %lu\n", (unsigned long)(GetTickCount() - start));
      i += 2;
    } else if (strcmp(cmd, "dismiss") == 0) {
      HWND box;
      int tries = 0;
      while ((box = FindDialog(NULL)) && tries++ < 20) {
        HWND button = GetDlgItem(box, IDCANCEL);
        PostMessageA(button ? button : GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        Sleep(300);
      }
      i += 1;
    } else if (strcmp(cmd, "host-key") == 0) {
      NEED(2);
      if (AnswerHostKey(argv[i + 1], argv[i + 2])) return 1;
      i += 3;
    } else if (strcmp(cmd, "devnodes-changed") == 0) {
      PostMessageA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
      i += 1;
    } else if (strcmp(cmd, "net-arrival") == 0) {
      SendNetArrival();
      i += 1;
    } else if (strcmp(cmd, "sleep") == 0) {
      NEED(1);
      Sleep(atoi(argv[i + 1]));
      i += 2;
    } else {
      return Fail("unknown command", cmd);
    }
    fflush(stdout);
  }
  return 0;
}

int main(int argc, char** argv)
{
  int result = Run(argc, argv);
  fflush(stdout);
  return result;
}
