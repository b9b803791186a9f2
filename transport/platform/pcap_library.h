// Where the capture library lies and how it is opened, per system: on Windows wpcap.dll by
// full path from System32 (LoadLibraryEx), natively libpcap through dlopen.
#pragma once

#include <string>
#include <vector>

namespace tavi {

// The opened library; null when it could not be loaded.
void* OpenPcapLibrary(const std::string& path);
void ClosePcapLibrary(void* library);
void* PcapSymbol(void* library, const char* name);

}  // namespace tavi
