#include "installer/parent_console.h"

#include <windows.h>

#include <cstdio>

namespace {

// A GUI program inherits no handle unless its starter redirected it.
bool Redirected(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

void Reopen(DWORD which, FILE* stream) {
  FILE* reopened = nullptr;
  if (_wfreopen_s(&reopened, L"CONOUT$", L"w", stream) != 0) return;
  setvbuf(stream, nullptr, _IONBF, 0);
  HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr);
  if (console != INVALID_HANDLE_VALUE) SetStdHandle(which, console);
}

}  // namespace

void UseParentConsole() {
  const bool outRedirected = Redirected(STD_OUTPUT_HANDLE);
  const bool errRedirected = Redirected(STD_ERROR_HANDLE);
  if (outRedirected && errRedirected) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!outRedirected) Reopen(STD_OUTPUT_HANDLE, stdout);
  if (!errRedirected) Reopen(STD_ERROR_HANDLE, stderr);
}
