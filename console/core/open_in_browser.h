// Opening a web page: the shell first, then the command registered for ".htm" files.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The shell's or WinExec's result; greater than 31 on success.
INT_PTR OpenInBrowser(const char* url, int showCommand);

// The default value of HKEY_CLASSES_ROOT\keyName, at most 259 characters, into `out`.
// 0 on success, otherwise the registry's error code (out unchanged).
LONG ReadClassesRootDefault(const char* keyName, std::string& out);
