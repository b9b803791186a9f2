// The About box and the help viewer.
#include "console/core/program_paths.h"
#include "console/gui/actions/about_dialog.h"
#include "console/gui/main_dialog.h"

void MainDialog::RunAboutBox() {
  AboutDialog about(hwnd());
  about.RunModal();
}

void MainDialog::StartHelp() {
  char program[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  std::string commandLine = HelpCommandLine(std::string_view(program, length));
  if (commandLine.empty()) return;
  // CreateProcessA may write into its command line.
  std::vector<char> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  // The viewer reports a missing help file itself; the console does not wait for it.
  if (CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}
