#include "console/gui/show_message.h"

#include <windows.h>

#include "console/core/message_table.h"
#include "console/gui/main_dialog.h"

std::string ApplicationName() {
  char path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "Netvane";
  std::string name(path, length);
  std::size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

namespace {

void ShowBox(const char* text, UINT icon) {
  // Owned by the main window once it exists, so the box is modal to it; before that (the
  // transport's start-up failure) there is no owner.
  HWND owner = mainWindowHandle.load();
  if (owner && !IsWindowVisible(owner)) owner = nullptr;
  std::string caption = ApplicationName();
  MessageBoxA(owner, text, caption.c_str(), MB_OK | icon);
}

}  // namespace

void ShowMessage(unsigned code) { ShowBox(MessageText(code), MB_ICONEXCLAMATION); }
void ShowInfoMessage(const char* text) { ShowBox(text, MB_ICONINFORMATION); }
void ShowWarningMessage(const char* text) { ShowBox(text, MB_ICONEXCLAMATION); }
