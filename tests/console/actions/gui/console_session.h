// One run of Netvane.exe for the actions' tests, driven through the console driver: its own
// folder (with a blank in its name) holding the program, the fake TaviClient.dll, the fake
// hh.exe and the fake's host script; the fake's log read back as requests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "console_driver.h"

class ConsoleSession {
 public:
  // `name` names the run's folder; `script` is the fake transport's host script.
  ConsoleSession(const std::string& name, const std::string& script);
  ~ConsoleSession();
  ConsoleSession(const ConsoleSession&) = delete;
  ConsoleSession& operator=(const ConsoleSession&) = delete;

  const std::string& folder() const { return folder_; }
  DWORD pid() const { return console_.pid(); }

  // Starts the console and waits for its visible main window; false on time-out.
  bool Start();
  // Closes the console through its Close button and waits for the process to end.
  bool Close();
  HWND main() const { return console_.main(); }

  // Discover, then wait until the wait dialog is gone and the list has `rows` rows.
  bool Discover(int rows = 1);

  // Posts a click on the button (the handler may open a modal window); Press waits for the
  // handler. A disabled button ignores either.
  void Click(int id) const;
  void Press(HWND dialog, int id) const;
  void Post(HWND dialog, int id) const;
  bool Enabled(int id) const;
  // Waits until control `id` of the main window is enabled (or disabled); the handler may
  // still be running when a message box it showed has been dismissed.
  bool WaitEnabled(int id, bool enabled = true, DWORD timeoutMs = 5000) const;
  bool Visible(int id) const;
  std::string Text(HWND window, int id) const;
  void SetText(HWND window, int id, const std::string& text) const;
  void SetAddress(int id, uint32_t address) const;

  // A visible top-level window of this console with that title, or null after the time-out.
  HWND WaitWindow(const char* title, DWORD timeoutMs = 10000) const;
  bool WaitGone(HWND window, DWORD timeoutMs = 10000) const;
  // The next message box: its text; it is dismissed with OK. Empty on time-out.
  std::string TakeMessage(DWORD timeoutMs = 10000);
  // A message box is up right now (without waiting).
  HWND MessageBoxWindow() const;
  // Titles of this console's visible top-level windows, for failure reports.
  std::string WindowTitles() const { return driver::WindowTitles(pid()); }
  // Fills the Verify Password dialog's password and presses OK; false when it never came.
  bool Verify(const std::string& password, std::string* shownUser = nullptr,
              bool* userReadOnly = nullptr);

  // The fake's log lines, and the requests of one code in the order they were made.
  std::vector<std::string> Log() const;
  std::vector<std::vector<uint8_t>> Requests(uint32_t code) const;
  bool LogContains(const std::string& text) const;
  bool WaitLog(const std::string& text, DWORD timeoutMs = 10000) const;
  // Lines of the fake hh.exe: each its command line.
  std::vector<std::string> HelpLaunches() const;


 private:
  std::string folder_;
  std::string helpLogPath_;
  driver::Console console_;
};

// A stored configuration file, byte for byte.
std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
