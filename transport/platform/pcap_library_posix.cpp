#include "transport/platform/pcap_library.h"

#include <dlfcn.h>

#include "transport/core/pcap_api.h"

namespace tavi {

void* OpenPcapLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

void ClosePcapLibrary(void* library) { dlclose(library); }

void* PcapSymbol(void* library, const char* name) { return dlsym(library, name); }

std::vector<std::string> PcapLibraryPaths() {
  return {"libpcap.so.1", "libpcap.so.0.8", "libpcap.so"};
}

}  // namespace tavi
