// Driver of the console's windows from a second process: the GUI tests (which start Netvane.exe
// in a test folder beside the fake transport) and the lab's nvgui (which drives a console
// running in a lab host) both use it. Finds the console's windows by title, and reads and
// operates its controls (list texts and images through a buffer in the console's memory,
// clicks and keys by posted messages, framed screenshots of the screen).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace driver {

// A Windows path (Z:\...) for a Unix path of the test tree, or the path unchanged.
std::string WindowsPath(const std::string& path);
// Text files for the fake's script and log.
void WriteTextFile(const std::string& path, const std::string& text);
std::vector<std::string> ReadLines(const std::string& path);
// Polls `condition` every 20 ms until it holds or `timeoutMs` passes.
template <typename Condition>
bool WaitFor(Condition condition, DWORD timeoutMs = 10000) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(20);
  }
}

// One run of the console in `folder` (which holds Netvane.exe and the fake TaviClient.dll),
// with the fake reading `script` and writing its calls to folder\fake.log.
class Console {
 public:
  // fresh = false: another instance in the same folder, sharing the script and the log.
  Console(const std::string& folder, const std::string& script, bool fresh = true);
  ~Console();  // ends a console still running
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // Starts the program (again, once an earlier run has ended).
  bool Launch();
  // Ends the run if it is still going (a failed test may leave a modal window up).
  void Terminate();
  // Launch and wait for the visible main window.
  bool Start(DWORD timeoutMs = 15000);
  // Presses Close and waits for the process to end.
  bool Close(DWORD timeoutMs = 10000);
  bool WaitExit(DWORD timeoutMs);
  DWORD ExitCode() const;
  DWORD pid() const { return process_.dwProcessId; }
  HANDLE process() const { return process_.hProcess; }
  HWND main() const { return main_; }
  const std::string& logPath() const { return logPath_; }
  std::vector<std::string> Log() const { return ReadLines(logPath_); }
  int LogCount(const std::string& prefix) const;

  // Presses Discover and waits until its wait dialog has come and gone.
  bool Discover(DWORD timeoutMs = 15000);

 private:
  std::string folder_;
  std::string logPath_;
  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
};

// The console's main dialog (of process `pid`, 0 = any).
constexpr const char* kMainTitle = "Orvane Network Utility 1.8";
// Visible top-level window with this title, of process `pid` (0 = any), or null.
HWND FindTopWindow(const char* title, DWORD pid = 0);
HWND WaitTopWindow(const char* title, DWORD pid = 0, DWORD timeoutMs = 10000);
bool WaitGone(HWND window, DWORD timeoutMs = 10000);
DWORD ProcessOf(HWND window);
// Titles of the visible top-level windows of `pid`, each in brackets, for failure reports.
std::string WindowTitles(DWORD pid);

// Controls.
std::string Text(HWND dialog, int id);
bool Enabled(HWND dialog, int id);
bool Visible(HWND dialog, int id);
bool Checked(HWND dialog, int id);
// An IP address control with all four fields empty (its text then still reads 0.0.0.0).
bool AddressBlank(HWND dialog, int id);
void SetText(HWND dialog, int id, const std::string& text);
// A click as the button's parent sees it; posted, so a handler that opens a modal window
// does not block the driver.
void PostClick(HWND dialog, int id);
// The same, waiting until the handler has returned (for handlers that open no window).
void SendClick(HWND dialog, int id);
// A click on the button itself (BM_CLICK), as a user's: a disabled button ignores it. Posted,
// or with `wait` sent, returning once the handler has.
void PressButton(HWND dialog, int id, bool wait = false);
void SetAddress(HWND dialog, int id, uint32_t address);
// A real click by mouse messages at client point (x, y) of `window`.
void PostMouseClick(HWND window, int x, int y);
void PostKey(HWND window, UINT virtualKey);
// The window that has the keyboard focus in the console's interface thread.
HWND FocusOf(HWND anyWindowOfThread);
int ComboSelection(HWND dialog, int id);
int ComboCount(HWND dialog, int id);
// Selects entry `index` as a user would (selection, then CBN_SELCHANGE to the parent).
void ChooseComboEntry(HWND dialog, int id, int index);

// List view (report mode) of another process.
int ListRowCount(HWND list);
std::string ListText(HWND list, int row, int column);
int ListImage(HWND list, int row);
int ListSelectedRow(HWND list);
// Header image of a column, or -1 when it shows none.
int HeaderImage(HWND list, int column);
void ClickHeader(HWND list, int column);
void ClickRow(HWND list, int row);

// Message boxes: the text of the visible box captioned `caption` of `pid`, or "".
HWND FindMessageBox(const char* caption, DWORD pid);
std::string MessageBoxText(HWND box);
// Waits for a box, returns its text and presses OK; "" on time-out.
std::string TakeMessageBox(const char* caption, DWORD pid, DWORD timeoutMs = 10000);

// Captures the screen area of `window` (with its frame) into a 24-bit BMP file.
bool SaveWindowShot(HWND window, const std::string& path);

}  // namespace driver
