// The pcap functions we use, loaded at run time: wpcap.dll on Windows (Npcap, or Wine's
// wpcap, which forwards to libpcap), libpcap.so natively. The library's structures are
// declared here for each platform's ABI instead of taken from a pcap header, because the
// Windows ABI (WinPcap's pcap_pkthdr with 32-bit long) differs from the native one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavi {

struct PcapHandle;  // pcap_t

// struct pcap_pkthdr: two `long` time fields (32 bits on Windows, as in WinPcap's struct
// timeval; 64 bits natively), then caplen and len.
struct PcapPacketHeader {
  long seconds;
  long microseconds;
  uint32_t capturedLength;
  uint32_t length;
};

// struct pcap_if.
struct PcapInterface {
  PcapInterface* next;
  char* name;
  char* description;
  void* addresses;
  uint32_t flags;
};
constexpr uint32_t kPcapIfLoopback = 0x1;

// struct bpf_program.
struct PcapFilterProgram {
  unsigned int length;
  void* instructions;
};

constexpr int kPcapErrorBufferSize = 256;
constexpr int kPcapBreak = -2;  // pcap_next_ex after pcap_breakloop

struct PcapApi {
  PcapHandle* (*open_live)(const char*, int, int, int, char*);
  PcapHandle* (*create)(const char*, char*);             // optional
  int (*set_snaplen)(PcapHandle*, int);                  // optional, with create
  int (*set_promisc)(PcapHandle*, int);                  // optional, with create
  int (*set_timeout)(PcapHandle*, int);                  // optional, with create
  int (*set_immediate_mode)(PcapHandle*, int);           // optional: Wine has none
  int (*activate)(PcapHandle*);                          // optional, with create
  int (*compile)(PcapHandle*, PcapFilterProgram*, const char*, int, uint32_t);
  int (*setfilter)(PcapHandle*, PcapFilterProgram*);
  void (*freecode)(PcapFilterProgram*);
  int (*next_ex)(PcapHandle*, PcapPacketHeader**, const unsigned char**);
  int (*sendpacket)(PcapHandle*, const unsigned char*, int);
  void (*breakloop)(PcapHandle*);
  void (*close)(PcapHandle*);
  char* (*geterr)(PcapHandle*);
  int (*findalldevs)(PcapInterface**, char*);
  void (*freealldevs)(PcapInterface*);

  bool HasImmediateMode() const {
    return create && set_snaplen && set_promisc && set_timeout && set_immediate_mode && activate;
  }
};

// The process-wide table; null when the library or one of its required functions is
// missing. A success is kept for the life of the process; a failure is not, so a library
// installed after the program started is found by the next call.
const PcapApi* LoadPcap();

// The files LoadPcap tries, in its order (transport/platform/pcap_library_*): on Windows the full paths of Npcap's wpcap.dll
// (System32\Npcap) and then WinPcap's or Wine's (System32); natively the library names.
std::vector<std::string> PcapLibraryPaths();

// The file the loaded table came from; empty while none is loaded.
std::string PcapLoadedFrom();

}  // namespace tavi
