#include "console/core/open_in_browser.h"

#include <shellapi.h>

#include <vector>

#include "console/core/browser_command.h"

namespace {

constexpr DWORD kClassValueCapacity = 260;

bool AnsiLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

}  // namespace

LONG ReadClassesRootDefault(const char* keyName, std::string& out) {
  HKEY key = nullptr;
  LONG error = RegOpenKeyExA(HKEY_CLASSES_ROOT, keyName, 0, KEY_QUERY_VALUE, &key);
  if (error != ERROR_SUCCESS) return error;
  char value[kClassValueCapacity + 1] = {};
  DWORD size = kClassValueCapacity;
  DWORD type = 0;
  error = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (error != ERROR_SUCCESS) return error;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
  // A stored value need not end in NUL; the spare byte above terminates it.
  value[size < kClassValueCapacity ? size : kClassValueCapacity] = '\0';
  out = value;
  return ERROR_SUCCESS;
}

INT_PTR OpenInBrowser(const char* url, int showCommand) {
  const INT_PTR shellResult = reinterpret_cast<INT_PTR>(
      ShellExecuteA(nullptr, "open", url, nullptr, nullptr, showCommand));
  if (shellResult > 32) return shellResult;

  std::string fileType;
  if (ReadClassesRootDefault(".htm", fileType) != ERROR_SUCCESS) return shellResult;
  std::string command;
  if (ReadClassesRootDefault((fileType + "\\shell\\open\\command").c_str(), command) !=
      ERROR_SUCCESS)
    return shellResult;
  const std::string commandLine = BrowserFallbackCommand(command, url, &AnsiLeadByte);
  if (commandLine.empty()) return shellResult;
  return static_cast<INT_PTR>(WinExec(commandLine.c_str(), static_cast<UINT>(showCommand)));
}
