// System DLLs from System32 only. Windows searches the program's own folder before System32
// for every DLL that is not a KnownDLL (iphlpapi, netapi32, dhcpcsvc, bcrypt, crypt32 are
// not), so a DLL planted beside a LocalSystem program would run as SYSTEM. Run-time loads go
// through LoadSystemLibrary; imports of such DLLs are delay-loaded and resolved by the hook
// in system_dlls_delay_hook.cpp, which loads them the same way. Windows only.
#pragma once

#include <windows.h>

namespace tavi {

// LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32): the name is looked for in
// System32 and nowhere else.
HMODULE LoadSystemLibrary(const wchar_t* name);

// SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) for the whole process: every later
// load without search flags (LoadLibrary by name, a DLL's own dependencies) skips the
// program's folder, the current directory and PATH. False where the system lacks the call
// (Windows 7 without KB2533623).
bool RestrictDllSearchToSystem32();

}  // namespace tavi
