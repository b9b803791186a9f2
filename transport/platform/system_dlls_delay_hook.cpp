// Linked into every module (program or DLL) that delay-loads system DLLs: the delay-load
// helper asks this hook before it would call LoadLibraryA, which searches the program's
// folder first unless the process restricted its search path. The hook loads the DLL from
// System32 only. The names are this module's own delay imports, bare names of DLLs that
// every Windows has in System32; should one be missing there, the helper's own attempt
// follows (restricted too where the process called RestrictDllSearchToSystem32).
#include <windows.h>
#include <delayimp.h>

namespace {

FARPROC WINAPI SystemDllsOnly(unsigned notification, PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary || info == nullptr || info->szDll == nullptr)
    return nullptr;
  wchar_t name[MAX_PATH];
  const int n = MultiByteToWideChar(CP_ACP, 0, info->szDll, -1, name, MAX_PATH);
  if (n <= 0) return nullptr;
  // As tavi::LoadSystemLibrary; spelt out so that the hook needs nothing else linked.
  return reinterpret_cast<FARPROC>(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
}

}  // namespace

extern "C" {
PfnDliHook __pfnDliNotifyHook2 = SystemDllsOnly;
}
