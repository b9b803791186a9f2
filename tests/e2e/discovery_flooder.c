/* A station that floods the console's discoveries with replies from invented MACs: it waits
 * for a discovery broadcast on IFACE, takes its transaction id and console MAC, and sends
 * COUNT well-formed replies, each from a new locally administered MAC with a host record
 * named FLOOD<n>, at RATE per second. Native, libpcap; run in its own lab namespace.
 * Usage: discovery_flooder IFACE COUNT RATE [DISCOVERIES]
 * Prints one line per flood: "flood ID SENT". */
#include <pcap/pcap.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum { kEth = 14, kEnvelope = 12, kHeader = 24, kReply = 155 };

static void Put16(uint8_t* p, unsigned v) { p[0] = v & 0xFF; p[1] = (v >> 8) & 0xFF; }
static void Put32(uint8_t* p, uint32_t v) { Put16(p, v & 0xFFFF); Put16(p + 2, v >> 16); }

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: %s IFACE COUNT RATE [DISCOVERIES]\n", argv[0]);
    return 2;
  }
  const long count = atol(argv[2]);
  const double rate = atof(argv[3]);
  long discoveries = argc > 4 ? atol(argv[4]) : 1;
  char error[PCAP_ERRBUF_SIZE];
  pcap_t* p = pcap_open_live(argv[1], 2048, 1, 1, error);
  if (!p) {
    fprintf(stderr, "flooder: %s\n", error);
    return 1;
  }
  struct bpf_program filter;
  if (pcap_compile(p, &filter, "ether proto 0x88b5 and ether broadcast", 1, PCAP_NETMASK_UNKNOWN) ||
      pcap_setfilter(p, &filter)) {
    fprintf(stderr, "flooder: %s\n", pcap_geterr(p));
    return 1;
  }
  uint32_t lastId = 0;
  printf("ready\n");
  fflush(stdout);
  while (discoveries > 0) {
    struct pcap_pkthdr* h;
    const u_char* f;
    const int r = pcap_next_ex(p, &h, &f);
    if (r < 0) break;
    if (r == 0 || h->caplen < kEth + kEnvelope + kHeader) continue;
    const uint8_t* env = f + kEth;
    if (env[0] != 1 || (env[1] & 1) || env[6] != 0 || env[7] != 1) continue;  /* a request */
    const uint32_t id = env[2] | env[3] << 8 | env[4] << 16 | (uint32_t)env[5] << 24;
    if (id == lastId) continue;  /* a repeated broadcast of the same discovery */
    lastId = id;

    uint8_t frame[kEth + kEnvelope + kReply];
    memset(frame, 0, sizeof frame);
    memcpy(frame, f + 6, 6);  /* to the console */
    frame[12] = 0x88;
    frame[13] = 0xB5;
    uint8_t* e = frame + kEth;
    e[0] = 1;
    e[1] = 1;  /* reply */
    memcpy(e + 2, env + 2, 4);
    e[7] = 1;
    Put16(e + 8, kReply);
    Put16(e + 10, kReply);
    uint8_t* m = e + kEnvelope;
    memcpy(m, env + kEnvelope, kHeader);
    Put16(m + 10, 2);  /* frameKind */
    m[26] = 4;         /* setupState */
    uint8_t* host = m + 27;
    memcpy(host + 36, "Forged", 6);
    host[108] = 1;  /* osValid */
    host[109] = 1;  /* Windows */
    host[112] = 2;
    host[114] = 5;
    host[115] = 2;
    const double start = Now();
    long sent = 0;
    for (long n = 0; n < count; ++n) {
      const uint8_t mac[6] = {0x06, 0xF1, 0x00, (uint8_t)(n >> 16), (uint8_t)(n >> 8), (uint8_t)n};
      memcpy(frame + 6, mac, 6);
      memcpy(m + 4, mac, 6);
      memset(host, 0, 36);
      snprintf((char*)host, 33, "FLOOD%05ld", n);
      Put32(host + 104, (uint32_t)n);
      if (pcap_sendpacket(p, frame, sizeof frame) == 0) ++sent;
      /* Paced: never ahead of RATE frames per second. */
      while ((n + 1) / rate > Now() - start) {
        const struct timespec pause = {0, 200000};
        nanosleep(&pause, NULL);
      }
    }
    printf("flood %08x %ld %.2f\n", (unsigned)id, sent, Now() - start);
    fflush(stdout);
    --discoveries;
  }
  pcap_close(p);
  return 0;
}
