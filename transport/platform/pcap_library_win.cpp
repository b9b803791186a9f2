#include "transport/platform/pcap_library.h"

#include <windows.h>

#include "transport/core/pcap_api.h"

namespace tavi {

namespace {
std::wstring Widen(const std::string& text) {
  std::wstring out;
  const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 1) return out;
  out.resize(static_cast<std::size_t>(n));
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &out[0], n);
  out.resize(static_cast<std::size_t>(n - 1));
  return out;
}
}  // namespace

void* OpenPcapLibrary(const std::string& path) {
  // By full path, never by name: a name is searched beside the program and on PATH, where
  // anybody may have put a wpcap.dll. The library's own folder and System32 serve its
  // dependencies (Npcap's Packet.dll lies beside its wpcap.dll).
  return LoadLibraryExW(Widen(path).c_str(), nullptr,
                        LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void ClosePcapLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

void* PcapSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

std::vector<std::string> PcapLibraryPaths() {
  // Npcap first: a WinPcap left in System32 must not win over an installed Npcap.
  char dir[MAX_PATH];
  const UINT n = GetSystemDirectoryA(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH - 32) return {};
  const std::string system(dir, n);
  return {system + "\\Npcap\\wpcap.dll", system + "\\wpcap.dll"};
}

}  // namespace tavi
