#include "transport/core/pcap_api.h"

#include <mutex>
#include <string>

#include "transport/platform/pcap_library.h"

namespace tavi {

namespace {

using Module = void*;

template <typename F>
void Resolve(Module m, F& field, const char* name) {
  field = reinterpret_cast<F>(PcapSymbol(m, name));
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

const PcapApi* LoadPcap() {
  Loaded& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  if (state.api != nullptr) return state.api;
  for (const std::string& path : PcapLibraryPaths()) {
    Module m = OpenPcapLibrary(path);
    if (m == nullptr) continue;
    PcapApi api{};
    if (!ResolveAll(m, api)) {
      ClosePcapLibrary(m);
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
