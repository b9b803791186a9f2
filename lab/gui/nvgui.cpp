// Drives the console's main dialog from a second process in the same prefix, for the lab's
// walk-through and end-to-end tests, through the console driver the GUI tests use. Runs its
// arguments as a script of commands:
//   wait-main SECS | rows | row-count | wait-rows N SECS | click ID | set-ip ID A.B.C.D
//   select-host NAME (clicks its row, then waits until the panel shows the host)
//   set-text ID TEXT | text ID | enabled ID | dialog TITLE SECS | dlg-text ID TEXT
//   dlg-click ID | message SECS | wait-idle SECS | gone SECS | sleep MS |
//   wait-disabled ID SECS
//   wait-row NAME TEXT SECS (until the host's row shows TEXT in one of its cells)
//   wait-enabled ID SECS (a button that an exchange disables, e.g. Discover, is back)
//   respond MS (the console's window thread answers a message within MS milliseconds, as
//   it must to handle a click in time; prints the time it took)
//   dismiss (cancels every open prompt and message box: Cancel where there is one, else OK)
//   devnodes-changed (the broadcast Windows sends when any device comes or goes)
//   net-arrival (what Windows sends a window registered for GUID_DEVINTERFACE_NET when a
//   network adapter arrives: DBT_DEVICEARRIVAL with the interface's class and name)
//   Wine's plug and play does not announce Linux network interfaces, so the lab does.
//   host-key SECS ANSWER (waits until a host-key question or any other prompt is up; when
//   it is a host-key question, prints "host-key TITLE | HOST | PRESENTED | PINNED" and
//   answers it: yes, no, replace (then Yes to the confirmation) or close)
// Prints what it reads; exits 1 (with the reason on stderr) when a wait runs out.
#include <windows.h>

#include <commctrl.h>
#include <dbt.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console_driver.h"

namespace {

constexpr int kHostList = 1002, kHostName = 1003, kColumns = 5, kMessageText = 0xFFFF;
constexpr int kKeyHost = 1041, kKeyFingerprint = 1042, kKeyPinned = 1043, kKeyReplace = 1044;

HWND mainWindow, dialogWindow;
DWORD consolePid;

int Fail(const char* what, const std::string& arg = "") {
  std::fprintf(stderr, "nvgui: %s %s\n", what, arg.c_str());
  return 1;
}

DWORD Ms(const char* seconds) { return static_cast<DWORD>(std::atof(seconds) * 1000); }

std::string Title(HWND window) {
  char title[256] = "";
  GetWindowTextA(window, title, sizeof title);
  return title;
}

// The console's visible windows other than the main dialog (and `skip`): message boxes, the
// password prompts and the wait dialog; with `title`, only one so titled.
HWND FindDialog(const char* title = nullptr, HWND skip = nullptr) {
  for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
    if (w == mainWindow || w == skip || !IsWindowVisible(w) || driver::ProcessOf(w) != consolePid) continue;
    if (!title || Title(w) == title) return w;
  }
  return nullptr;
}

bool IsMessageBox(HWND w) { return w && GetDlgItem(w, kMessageText); }

int WaitMain(const char* seconds) {
  mainWindow = driver::WaitTopWindow(driver::kMainTitle, 0, Ms(seconds));
  if (!mainWindow) return Fail("no main window after", seconds);
  consolePid = driver::ProcessOf(mainWindow);
  return 0;
}

HWND List() { return GetDlgItem(mainWindow, kHostList); }

// The host's row: its index, or -1.
int RowOfHost(const std::string& name) {
  for (int r = 0, rows = driver::ListRowCount(List()); r < rows; ++r)
    if (_stricmp(driver::ListText(List(), r, 1).c_str(), name.c_str()) == 0) return r;
  return -1;
}

// A row's cells, each after a tab.
std::string RowText(int row) {
  std::string text;
  for (int c = 1; c <= kColumns; ++c) text += "\t" + driver::ListText(List(), row, c);
  return text;
}

// A control's text with its line breaks turned into blanks, for one output line.
std::string FlatText(HWND window, int id) {
  std::string text = driver::Text(window, id);
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

int SelectHost(const char* name) {
  const int row = RowOfHost(name);
  if (row < 0) return Fail("no row for host", name);
  const std::string cell = driver::ListText(List(), row, 1);
  driver::ClickRow(List(), row);
  // Selected once the panel shows the host: its name in the host-name field.
  if (!driver::WaitFor([&] { return _stricmp(driver::Text(mainWindow, kHostName).c_str(), cell.c_str()) == 0; }))
    return Fail("panel does not show host", name);
  return 0;
}

int AnswerHostKey(const char* seconds, const std::string& answer) {
  HWND box = nullptr;
  if (!driver::WaitFor([&] { return (box = FindDialog()) && Title(box) != "Please wait"; }, Ms(seconds)))
    return Fail("no prompt after", seconds);
  const std::string title = Title(box);
  if (title != "Unknown Host Key" && title != "Host Key Changed") return 0;
  Sleep(200);  // the dialog fills its texts after it shows
  std::printf("host-key %s | %s | %s | %s\n", title.c_str(), FlatText(box, kKeyHost).c_str(),
              FlatText(box, kKeyFingerprint).c_str(), FlatText(box, kKeyPinned).c_str());
  std::fflush(stdout);
  if (answer == "yes") {
    driver::PressButton(box, IDYES);
  } else if (answer == "no") {
    driver::PressButton(box, IDNO);
  } else if (answer == "replace") {
    driver::PressButton(box, kKeyReplace);
    // The confirmation is a message box owned by the question.
    HWND confirm = nullptr;
    if (!driver::WaitFor([&] { return IsMessageBox(confirm = FindDialog(nullptr, box)); }, Ms(seconds)))
      return Fail("no confirmation after", seconds);
    driver::PressButton(confirm, IDYES);
  } else {
    driver::PressButton(box, IDCANCEL);
  }
  if (!driver::WaitFor([&] { return !IsWindow(box); }, Ms(seconds)))
    return Fail("host-key question still open after", seconds);
  return 0;
}

// Sent, not posted: the event's data travels with the message (Wine copies it across
// processes for DBT_DEVICEARRIVAL). Time-limited, as the console answers with a message box.
void SendNetArrival() {
  static const GUID netInterface = {
      0xCAC88484, 0x7515, 0x4C03, {0x82, 0xE6, 0x71, 0xA8, 0x7A, 0xBA, 0xC3, 0x61}};
  static const char name[] = "\\\\?\\ROOT#NET#0001#{cac88484-7515-4c03-82e6-71a87abac361}";
  struct {
    DEV_BROADCAST_DEVICEINTERFACE_A header;
    char rest[sizeof name];
  } event = {};
  std::memcpy(reinterpret_cast<char*>(&event) + offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name),
              name, sizeof name);
  event.header.dbcc_size = static_cast<DWORD>(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + sizeof name);
  event.header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  event.header.dbcc_classguid = netInterface;
  DWORD_PTR result = 0;
  SendMessageTimeoutA(mainWindow, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&event),
                      SMTO_NORMAL, 1000, &result);
}

int Run(int argc, char** argv) {
  int i = 1;
  // Each command's arguments: argv[i + 1] ... argv[i + n].
  auto need = [&](int n) { return i + n < argc; };
  while (i < argc) {
    const std::string cmd = argv[i];
    const char* a = i + 1 < argc ? argv[i + 1] : "";
    const char* b = i + 2 < argc ? argv[i + 2] : "";
    const char* c = i + 3 < argc ? argv[i + 3] : "";
    int args = 0;
    if (cmd == "wait-main" || cmd == "click" || cmd == "dlg-click" || cmd == "select-host" ||
        cmd == "text" || cmd == "enabled" || cmd == "message" || cmd == "wait-idle" ||
        cmd == "gone" || cmd == "respond" || cmd == "sleep")
      args = 1;
    else if (cmd == "wait-rows" || cmd == "set-ip" || cmd == "set-text" || cmd == "dlg-text" ||
             cmd == "dialog" || cmd == "wait-disabled" || cmd == "wait-enabled" || cmd == "host-key")
      args = 2;
    else if (cmd == "wait-row")
      args = 3;
    if (!need(args)) return Fail("missing argument for", cmd);
    if (cmd == "wait-main") {
      if (WaitMain(a)) return 1;
      i += 2;
      continue;
    }
    if (!mainWindow && cmd != "sleep" && cmd != "devnodes-changed" && WaitMain("10")) return 1;
    const int id = std::atoi(a);
    if (cmd == "rows") {
      for (int r = 0, rows = driver::ListRowCount(List()); r < rows; ++r) std::printf("row%s\n", RowText(r).c_str());
    } else if (cmd == "row-count") {
      std::printf("row-count %d\n", driver::ListRowCount(List()));
    } else if (cmd == "wait-rows") {
      if (!driver::WaitFor([&] { return driver::ListRowCount(List()) >= id; }, Ms(b)))
        return Fail("too few rows after", b);
    } else if (cmd == "select-host") {
      if (SelectHost(a)) return 1;
    } else if (cmd == "click" || cmd == "dlg-click") {
      driver::PressButton(cmd == "click" ? mainWindow : dialogWindow, id);
      Sleep(50);
    } else if (cmd == "set-ip") {
      unsigned p[4];
      if (std::sscanf(b, "%u.%u.%u.%u", &p[0], &p[1], &p[2], &p[3]) != 4) return Fail("not an address:", b);
      driver::SetAddress(mainWindow, id, MAKEIPADDRESS(p[0], p[1], p[2], p[3]));
    } else if (cmd == "set-text" || cmd == "dlg-text") {
      driver::SetText(cmd == "set-text" ? mainWindow : dialogWindow, id, b);
    } else if (cmd == "text") {
      std::printf("text %s %s\n", a, driver::Text(mainWindow, id).c_str());
    } else if (cmd == "enabled") {
      std::printf("enabled %s %d\n", a, driver::Enabled(mainWindow, id) ? 1 : 0);
    } else if (cmd == "dialog") {
      if (!driver::WaitFor([&] { return (dialogWindow = FindDialog(a)) != nullptr; }, Ms(b)))
        return Fail("no dialog titled", a);
      Sleep(200);  // its controls are filled in after it shows
    } else if (cmd == "message") {
      HWND box = nullptr;
      bool gone = false;
      if (!driver::WaitFor([&] { return IsMessageBox(box = FindDialog()) || (gone = !IsWindow(mainWindow) && !box); },
                           Ms(a)) || gone)
        return Fail(gone ? "console gone before a message" : "no message box after", gone ? "" : a);
      char text[512] = "";
      GetWindowTextA(GetDlgItem(box, kMessageText), text, sizeof text);
      std::printf("message %s\n", text);
      dialogWindow = box;
    } else if (cmd == "wait-idle") {
      if (!driver::WaitFor([] { return !FindDialog(); }, Ms(a))) return Fail("still busy after", a);
    } else if (cmd == "gone") {
      if (!driver::WaitFor([] { return !IsWindow(mainWindow); }, Ms(a))) return Fail("console still open after", a);
    } else if (cmd == "wait-row") {
      std::string row;
      if (!driver::WaitFor([&] {
            const int r = RowOfHost(a);
            row = r < 0 ? "" : RowText(r);
            return r >= 0 && row.find(b) != std::string::npos;
          }, Ms(c))) {
        std::fprintf(stderr, "nvgui: row of %s is '%s'\n", a, row.c_str());
        return Fail("row never showed", b);
      }
      std::printf("row%s\n", row.c_str());
    } else if (cmd == "wait-disabled" || cmd == "wait-enabled") {
      const bool wanted = cmd == "wait-enabled";
      if (!driver::WaitFor([&] { return driver::Enabled(mainWindow, id) == wanted; }, Ms(b)))
        return Fail(wanted ? "still disabled:" : "still enabled:", a);
    } else if (cmd == "respond") {
      const DWORD start = GetTickCount();
      DWORD_PTR result = 0;
      if (!SendMessageTimeoutA(mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(id), &result))
        return Fail("no answer within ms:", a);
      std::printf("respond %lu\n", static_cast<unsigned long>(GetTickCount() - start));
    } else if (cmd == "dismiss") {
      HWND box;
      for (int tries = 0; (box = FindDialog()) && tries < 20; ++tries) {
        driver::PressButton(box, GetDlgItem(box, IDCANCEL) ? IDCANCEL : IDOK);
        driver::WaitGone(box, 300);
      }
    } else if (cmd == "host-key") {
      if (AnswerHostKey(a, b)) return 1;
    } else if (cmd == "devnodes-changed") {
      PostMessageA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    } else if (cmd == "net-arrival") {
      SendNetArrival();
    } else if (cmd == "sleep") {
      Sleep(static_cast<DWORD>(id));
    } else {
      return Fail("unknown command", cmd);
    }
    std::fflush(stdout);
    i += 1 + args;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int result = Run(argc, argv);
  std::fflush(stdout);
  return result;
}
