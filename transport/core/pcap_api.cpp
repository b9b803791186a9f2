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
Module OpenLibrary() {
  // By full path from the system directory only, never by name: a name is searched beside
  // the program and on PATH, where anybody may have put a wpcap.dll. WinPcap and Wine keep
  // it in System32, Npcap in System32\Npcap; the altered search path lets Npcap's wpcap.dll
  // find its Packet.dll in its own folder.
  char dir[MAX_PATH];
  const UINT n = GetSystemDirectoryA(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH - 32) return nullptr;
  const std::string system(dir, n);
  for (const char* file : {"\\wpcap.dll", "\\Npcap\\wpcap.dll"}) {
    Module m = LoadLibraryExA((system + file).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (m != nullptr) return m;
  }
  return nullptr;
}
void* Symbol(Module m, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(m, name));
}
#else
using Module = void*;
Module OpenLibrary() {
  Module m = dlopen("libpcap.so.1", RTLD_NOW | RTLD_LOCAL);
  if (m == nullptr) m = dlopen("libpcap.so.0.8", RTLD_NOW | RTLD_LOCAL);
  if (m == nullptr) m = dlopen("libpcap.so", RTLD_NOW | RTLD_LOCAL);
  return m;
}
void* Symbol(Module m, const char* name) { return dlsym(m, name); }
#endif

template <typename F>
void Resolve(Module m, F& field, const char* name) {
  field = reinterpret_cast<F>(Symbol(m, name));
}

const PcapApi* Load() {
  static PcapApi api{};
  Module m = OpenLibrary();
  if (m == nullptr) return nullptr;
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
  const bool complete = api.open_live && api.compile && api.setfilter && api.freecode &&
                        api.next_ex && api.sendpacket && api.breakloop && api.close &&
                        api.geterr && api.findalldevs && api.freealldevs;
  // The library stays loaded for the life of the process: reader threads may still be
  // leaving pcap_next_ex when a caller forgets to clean up.
  return complete ? &api : nullptr;
}

}  // namespace

const PcapApi* LoadPcap() {
  static std::once_flag once;
  static const PcapApi* api = nullptr;
  std::call_once(once, [] { api = Load(); });
  return api;
}

}  // namespace tavi
