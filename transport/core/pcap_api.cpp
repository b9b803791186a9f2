#include "transport/core/pcap_api.h"

#include <mutex>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace tavi {

namespace {

#ifdef _WIN32
using Module = HMODULE;

std::wstring Widen(const std::string& text) {
  std::wstring out;
  const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 1) return out;
  out.resize(static_cast<std::size_t>(n));
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &out[0], n);
  out.resize(static_cast<std::size_t>(n - 1));
  return out;
}

Module OpenFile(const std::string& path) {
  // By full path, never by name: a name is searched beside the program and on PATH, where
  // anybody may have put a wpcap.dll. The library's own folder and System32 serve its
  // dependencies (Npcap's Packet.dll lies beside its wpcap.dll).
  return LoadLibraryExW(Widen(path).c_str(), nullptr,
                        LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
}
void CloseModule(Module m) { FreeLibrary(m); }
void* Symbol(Module m, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(m, name));
}
#else
using Module = void*;
Module OpenFile(const std::string& name) { return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL); }
void CloseModule(Module m) { dlclose(m); }
void* Symbol(Module m, const char* name) { return dlsym(m, name); }
#endif

template <typename F>
void Resolve(Module m, F& field, const char* name) {
  field = reinterpret_cast<F>(Symbol(m, name));
}

// The table of `m`; false when a required function is missing.
bool ResolveAll(Module m, PcapApi& api) {
  Resolve(m, api.open_live, "pcap_open_live");
  Resolve(m, api.create, "pcap_create");
  Resolve(m, api.set_snaplen, "pcap_set_snaplen");
  Resolve(m, api.set_promisc, "pcap_set_promisc");
  Resolve(m, api.set_timeout, "pcap_set_timeout");
  Resolve(m, api.set_immediate_mode, "pcap_set_immediate_mode");
  Resolve(m, api.activate, "pcap_activate");
  Resolve(m, api.compile, "pcap_compile");
  Resolve(m, api.setfilter, "pcap_setfilter");
  Resolve(m, api.freecode, "pcap_freecode");
  Resolve(m, api.next_ex, "pcap_next_ex");
  Resolve(m, api.sendpacket, "pcap_sendpacket");
  Resolve(m, api.breakloop, "pcap_breakloop");
  Resolve(m, api.close, "pcap_close");
  Resolve(m, api.geterr, "pcap_geterr");
  Resolve(m, api.findalldevs, "pcap_findalldevs");
  Resolve(m, api.freealldevs, "pcap_freealldevs");
  return api.open_live && api.compile && api.setfilter && api.freecode && api.next_ex &&
         api.sendpacket && api.breakloop && api.close && api.geterr && api.findalldevs &&
         api.freealldevs;
}

struct Loaded {
  std::mutex lock;
  const PcapApi* api = nullptr;  // set once, never cleared
  PcapApi table{};
  std::string from;
};

Loaded& State() {
  static auto* state = new Loaded;  // never destroyed: readers may outlive static teardown
  return *state;
}

}  // namespace

std::vector<std::string> PcapLibraryPaths() {
#ifdef _WIN32
  // Npcap first: a WinPcap left in System32 must not win over an installed Npcap.
  char dir[MAX_PATH];
  const UINT n = GetSystemDirectoryA(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH - 32) return {};
  const std::string system(dir, n);
  return {system + "\\Npcap\\wpcap.dll", system + "\\wpcap.dll"};
#else
  return {"libpcap.so.1", "libpcap.so.0.8", "libpcap.so"};
#endif
}

const PcapApi* LoadPcap() {
  Loaded& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  if (state.api != nullptr) return state.api;
  for (const std::string& path : PcapLibraryPaths()) {
    Module m = OpenFile(path);
    if (m == nullptr) continue;
    PcapApi api{};
    if (!ResolveAll(m, api)) {
      CloseModule(m);
      continue;
    }
    // The library stays loaded for the life of the process: reader threads may still be
    // leaving pcap_next_ex when a caller forgets to clean up.
    state.table = api;
    state.from = path;
    state.api = &state.table;
    break;
  }
  return state.api;
}

std::string PcapLoadedFrom() {
  Loaded& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  return state.from;
}

}  // namespace tavi
