/* A wpcap.dll put beside a program by somebody else: it exports the names the transports
 * look up, and nothing in it works. The transports must never load it. */
#define EXPORT __declspec(dllexport)
EXPORT void* pcap_open_live(void) { return 0; }
EXPORT int pcap_compile(void) { return -1; }
EXPORT int pcap_setfilter(void) { return -1; }
EXPORT void pcap_freecode(void) {}
EXPORT int pcap_next_ex(void) { return -1; }
EXPORT int pcap_sendpacket(void) { return -1; }
EXPORT void pcap_breakloop(void) {}
EXPORT void pcap_close(void) {}
EXPORT char* pcap_geterr(void) { return 0; }
EXPORT int pcap_findalldevs(void) { return -1; }
EXPORT void pcap_freealldevs(void) {}
