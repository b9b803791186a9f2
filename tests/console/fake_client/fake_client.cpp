// A stand-in for TaviClient.dll in console tests: answers with hosts scripted in the file
// named by NETVANE_FAKE_HOSTS and records every call, with each request byte for byte, in
// the file named by NETVANE_FAKE_LOG. Script directives, one per line ('#' starts a comment):
//
//   init CODE                  TVInitialize result (default 0)
//   adapters N [C0,C1,...]     adapter count and which are connected (default 1, all)
//   work CODE RESULT           TVDoWork result for a request code (default 1)
//   work-adapter I RESULT      TVDoWork result of a discovery on adapter I
//   status CODE STATUS         reply status for a request code (default 0); 3 and 17 are
//                              written alone into the caller's buffer, as the library does
//   delay CODE MS              TVDoWork of that code waits MS (cancellable) after answering
//   poll RESULT [MS]           TVDoPolling result and how long it takes (default 1, 0 ms)
//   unchecked N                replies each discovery could not check (default 0)
//   host key=value ...         a host: name model setup os=valid,family,platform,edition,
//                              major,minor,build,sp,variant mgmt=type,port[,launch] dns
//                              static pending adapter answer(nic index) nics(count override)
//   nic key=value ...          an adapter of the last host: mac dhcp ip mask gw flags name
//   refresh key=value ...      what Refresh replies of the last host report instead:
//                              setup nics(count) name pending
//   key key=value ...          the last host's key: state=trusted|unknown|changed|none|
//                              unreadable (default trusted) fp="presented" pinned="pinned
//                              fingerprint" seen="the key verified since fp was reported"
//                              (default fp) problem="TVGetTrustStoreProblem's text"
//                              unwritable=1 (TVTrustHostKeyEx cannot write the store)
//
// Trust prompting (TVSetTrustPrompting 1) makes an authenticated request (codes 2, 3, 4, 5,
// 7) to a host whose key is not trusted fail as the real library does: nothing answered,
// status 10007 (unknown, none), 10006 (changed) or 10011 (unreadable), logged as "refused".
// TVTrustHostKey pins the presented key, TVTrustHostKeyEx the shown one if it is still the
// one seen (else 10012): the host's state becomes trusted.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "TaviClient.h"
#include "protocol/frames.h"
#include "protocol/reply_view.h"

namespace {

struct FakeHost {
  HostRecord record;
  uint8_t setupState = 4;
  uint32_t adapter = 0;
  std::size_t answer = 0;
  int wireNicCount = -1;  // overrides nicCount on the wire
  int refreshSetup = -1;
  int refreshNics = -1;
  std::string refreshName;
  int refreshPending = -1;
  int keyState = TV_KEY_TRUSTED;
  std::string fingerprint = "4e56 0000 0000 0000 0000 0000 0000 0001";
  std::string pinned = "4e56 0000 0000 0000 0000 0000 0000 0001";
  std::string seen;  // empty: the fingerprint reported
  std::string storeProblem;
  bool storeUnwritable = false;
};

struct Script {
  int initResult = 0;
  int adapterCount = 1;
  std::vector<int> connected;
  std::map<uint32_t, int> workResult;
  std::map<uint32_t, int> adapterWorkResult;
  std::map<uint32_t, uint16_t> status;
  std::map<uint32_t, DWORD> delayMs;
  int pollResult = 1;
  DWORD pollDelayMs = 0;
  unsigned long unchecked = 0;
  std::vector<FakeHost> hosts;
};

std::mutex lock;
Script script;
bool loaded = false;
std::set<HANDLE> liveCancels;
int discoverTimeout = 5, setTimeoutSeconds = 30, retryCount = 3;
int trustPrompting = 0;

std::string Env(const char* name) {
  char value[1024] = {};
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

void Log(const std::string& line) {
  std::string path = Env("NETVANE_FAKE_LOG");
  if (path.empty()) return;
  if (FILE* file = std::fopen(path.c_str(), "ab")) {
    std::fprintf(file, "%s\n", line.c_str());
    std::fclose(file);
  }
}

std::string Hex(const uint8_t* bytes, std::size_t length) {
  std::string text;
  char pair[3];
  for (std::size_t i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    text += pair;
  }
  return text;
}

uint32_t Number(const std::string& text) {
  if (text.find('.') != std::string::npos) return ParseIpv4(text);
  return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 0));
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, separator)) parts.push_back(part);
  return parts;
}

Mac ParseMac(const std::string& text) {
  Mac mac{};
  std::vector<std::string> parts = Split(text, ':');
  for (std::size_t i = 0; i < mac.size() && i < parts.size(); ++i) {
    mac[i] = static_cast<uint8_t>(std::strtoul(parts[i].c_str(), nullptr, 16));
  }
  return mac;
}

// key=value pairs; a value may hold blanks when written as key="a b".
std::map<std::string, std::string> Pairs(std::istringstream& line) {
  std::map<std::string, std::string> pairs;
  std::string rest((std::istreambuf_iterator<char>(line)), std::istreambuf_iterator<char>());
  std::size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && rest[i] == ' ') ++i;
    std::size_t equals = rest.find('=', i);
    if (equals == std::string::npos) break;
    std::string key = rest.substr(i, equals - i);
    std::string value;
    i = equals + 1;
    if (i < rest.size() && rest[i] == '"') {
      std::size_t close = rest.find('"', i + 1);
      value = rest.substr(i + 1, close - i - 1);
      i = close == std::string::npos ? rest.size() : close + 1;
    } else {
      std::size_t end = rest.find(' ', i);
      value = rest.substr(i, end - i);
      i = end == std::string::npos ? rest.size() : end;
    }
    pairs[key] = value;
  }
  return pairs;
}

void ParseHost(std::map<std::string, std::string> pairs) {
  FakeHost host;
  HostRecord& r = host.record;
  r.hostName.assign(pairs["name"]);
  r.modelName.assign(pairs.count("model") ? pairs["model"] : "Unknown");
  r.nameChangePending = static_cast<uint8_t>(Number(pairs["pending"]));
  r.dnsServer = pairs.count("dns") ? Number(pairs["dns"]) : 0;
  r.dnsStatic = static_cast<uint8_t>(Number(pairs["static"]));
  r.magicNumber = pairs.count("magic") ? Number(pairs["magic"]) : 0x5F5E1000u;
  if (pairs.count("mgmt")) {
    std::vector<std::string> m = Split(pairs["mgmt"], ',');
    if (m.size() > 0) r.mgmtAgentType = static_cast<uint8_t>(Number(m[0]));
    if (m.size() > 1) r.mgmtPort = static_cast<uint16_t>(Number(m[1]));
    if (m.size() > 2) r.mgmtLaunchString.assign(m[2], 35);
  }
  std::vector<std::string> os = Split(pairs.count("os") ? pairs["os"] : "1,1,2,1,5,2,3790,2,2", ',');
  os.resize(9, "0");
  r.osInfo.osValid = static_cast<uint8_t>(Number(os[0]));
  r.osInfo.osFamily = static_cast<uint8_t>(Number(os[1]));
  r.osInfo.osPlatform = static_cast<uint8_t>(Number(os[2]));
  r.osInfo.osEdition = static_cast<uint8_t>(Number(os[3]));
  r.osInfo.osMajor = static_cast<uint8_t>(Number(os[4]));
  r.osInfo.osMinor = static_cast<uint8_t>(Number(os[5]));
  r.osInfo.osBuild = Number(os[6]);
  r.osInfo.servicePack = static_cast<uint8_t>(Number(os[7]));
  r.osInfo.osVariant = static_cast<uint8_t>(Number(os[8]));
  host.setupState = static_cast<uint8_t>(pairs.count("setup") ? Number(pairs["setup"]) : 4);
  host.adapter = Number(pairs["adapter"]);
  host.answer = Number(pairs["answer"]);
  if (pairs.count("nics")) host.wireNicCount = static_cast<int>(Number(pairs["nics"]));
  script.hosts.push_back(host);
}

void ParseNic(std::map<std::string, std::string> pairs) {
  if (script.hosts.empty()) return;
  HostRecord& r = script.hosts.back().record;
  NicEntry nic;
  nic.mac = ParseMac(pairs["mac"]);
  nic.dhcpEnabled = static_cast<uint8_t>(Number(pairs["dhcp"]));
  nic.ipAddress = pairs.count("ip") ? Number(pairs["ip"]) : 0;
  nic.subnetMask = pairs.count("mask") ? Number(pairs["mask"]) : 0;
  nic.gateway = pairs.count("gw") ? Number(pairs["gw"]) : 0;
  nic.changeMask = Number(pairs["flags"]);
  nic.nicName.assign(pairs.count("name") ? pairs["name"] : "NIC" + std::to_string(r.nics.size() + 1));
  r.nics.push_back(nic);
  r.nicCount = static_cast<uint8_t>(r.nics.size());
}

void LoadScript() {
  if (loaded) return;
  loaded = true;
  std::ifstream file(Env("NETVANE_FAKE_HOSTS"));
  std::string text;
  while (std::getline(file, text)) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    std::size_t hash = text.find('#');
    if (hash != std::string::npos) text.erase(hash);
    std::istringstream line(text);
    std::string word;
    if (!(line >> word)) continue;
    if (word == "init") {
      line >> script.initResult;
    } else if (word == "adapters") {
      std::string connected;
      line >> script.adapterCount >> connected;
      for (const std::string& c : Split(connected, ',')) script.connected.push_back(std::atoi(c.c_str()));
    } else if (word == "work") {
      uint32_t code = 0;
      int result = 1;
      line >> code >> result;
      script.workResult[code] = result;
    } else if (word == "work-adapter") {
      uint32_t adapter = 0;
      int result = 1;
      line >> adapter >> result;
      script.adapterWorkResult[adapter] = result;
    } else if (word == "status") {
      uint32_t code = 0, status = 0;
      line >> code >> status;
      script.status[code] = static_cast<uint16_t>(status);
    } else if (word == "delay") {
      uint32_t code = 0;
      DWORD ms = 0;
      line >> code >> ms;
      script.delayMs[code] = ms;
    } else if (word == "poll") {
      line >> script.pollResult >> script.pollDelayMs;
    } else if (word == "unchecked") {
      line >> script.unchecked;
    } else if (word == "host") {
      ParseHost(Pairs(line));
    } else if (word == "nic") {
      ParseNic(Pairs(line));
    } else if (word == "refresh" && !script.hosts.empty()) {
      auto pairs = Pairs(line);
      FakeHost& host = script.hosts.back();
      if (pairs.count("setup")) host.refreshSetup = static_cast<int>(Number(pairs["setup"]));
      if (pairs.count("nics")) host.refreshNics = static_cast<int>(Number(pairs["nics"]));
      if (pairs.count("name")) host.refreshName = pairs["name"];
      if (pairs.count("pending")) host.refreshPending = static_cast<int>(Number(pairs["pending"]));
    } else if (word == "key" && !script.hosts.empty()) {
      auto pairs = Pairs(line);
      FakeHost& host = script.hosts.back();
      const std::string state = pairs["state"];
      host.keyState = state == "unknown"   ? TV_KEY_UNKNOWN
                      : state == "changed" ? TV_KEY_CHANGED
                      : state == "none"    ? TV_KEY_NONE
                      : state == "unreadable" ? TV_KEY_STORE_UNREADABLE
                                           : TV_KEY_TRUSTED;
      if (pairs.count("fp")) host.fingerprint = pairs["fp"];
      host.pinned = pairs.count("pinned") ? pairs["pinned"] : std::string();
      host.seen = pairs["seen"];
      host.storeProblem = pairs["problem"];
      host.storeUnwritable = pairs["unwritable"] == "1";
    }
  }
}

// The reply of `host` to `request`: header copied with the answering adapter's address and
// frameKind 2, then status, setupState and, for codes 1, 2 and 9, the host record.
std::vector<uint8_t> BuildReply(const FakeHost& host, const uint8_t* request, uint32_t code) {
  HostRecord record = host.record;
  uint8_t setupState = host.setupState;
  if (code == Request::Refresh) {
    if (host.refreshSetup >= 0) setupState = static_cast<uint8_t>(host.refreshSetup);
    if (host.refreshNics >= 0) {
      record.nics.resize(static_cast<std::size_t>(host.refreshNics));
      record.nicCount = static_cast<uint8_t>(host.refreshNics);
    }
    if (!host.refreshName.empty()) record.hostName.assign(host.refreshName);
    if (host.refreshPending >= 0) record.nameChangePending = static_cast<uint8_t>(host.refreshPending);
  }
  if (host.wireNicCount >= 0) record.nicCount = static_cast<uint8_t>(host.wireNicCount);
  const bool carriesRecord = RequestFactsOf(code).replyHoldsRecord;
  std::vector<uint8_t> reply(kReplyBaseLength +
                             (carriesRecord ? HostRecordLength(record.nics.size()) : 0), 0);
  std::memcpy(reply.data(), request, kHeaderLength);
  if (host.answer < host.record.nics.size()) {
    std::memcpy(reply.data() + FrameOffset::AgentMac, host.record.nics[host.answer].mac.data(), 6);
  }
  StoreU16(reply.data() + FrameOffset::FrameKind, kReplyFrameKind);
  auto status = script.status.find(code);
  StoreU16(reply.data() + FrameOffset::Status, status == script.status.end() ? 0 : status->second);
  reply[FrameOffset::SetupState] = code == Request::Poll || code == Request::Restart ? 0 : setupState;
  if (carriesRecord) {
    EncodeHostRecord(record, reply.data() + FrameOffset::Host, reply.size() - FrameOffset::Host);
  }
  return reply;
}

FakeHost* HostByAgentMac(const uint8_t* mac) {
  for (FakeHost& host : script.hosts) {
    for (const NicEntry& nic : host.record.nics) {
      if (std::memcmp(nic.mac.data(), mac, 6) == 0) return &host;
    }
  }
  return nullptr;
}

const FakeHost* HostByMac(const uint8_t* request) {
  return HostByAgentMac(request + FrameOffset::AgentMac);
}

// The status with which the library refuses `code` to `host` before sending; 0 = sent.
uint16_t TrustRefusal(const FakeHost& host, uint32_t code) {
  if (!RequestFactsOf(code).credentials || host.keyState == TV_KEY_TRUSTED) return 0;
  if (host.keyState == TV_KEY_CHANGED) return Status::HostKeyChanged;
  if (host.keyState == TV_KEY_STORE_UNREADABLE) return TV_STATUS_TRUST_STORE_UNREADABLE;
  return trustPrompting ? Status::HostKeyNotTrusted : 0;
}

std::string MacText(const unsigned char* mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2],
                mac[3], mac[4], mac[5]);
  return text;
}

void CopyFingerprint(char* out, const std::string& text) {
  if (!out) return;
  const std::size_t n = std::min<std::size_t>(text.size(), TV_FINGERPRINT_CHARS - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

// Waits `ms`, or less when TVCancel fires `cancel`.
void Pause(HANDLE cancel, DWORD ms) {
  if (ms) WaitForSingleObject(cancel, ms);
}

std::size_t LoggedRequestLength(const uint8_t* request) {
  const std::size_t length = BuiltRequestLength(request);
  return length ? length : kHeaderLength;
}

struct PacketList {
  std::vector<uint8_t*> replies;
};

}  // namespace

extern "C" {

TAVICLIENT_API int TVInitialize(void) {
  std::lock_guard<std::mutex> guard(lock);
  LoadScript();
  Log("TVInitialize " + std::to_string(script.initResult));
  return script.initResult;
}

TAVICLIENT_API void TVCleanup(void) {
  std::lock_guard<std::mutex> guard(lock);
  Log("TVCleanup");
}

TAVICLIENT_API int TVGetAdpaterCount(void) {
  std::lock_guard<std::mutex> guard(lock);
  LoadScript();
  return script.adapterCount;
}

TAVICLIENT_API int TVIsAdapterConnected(int adapterIndex) {
  std::lock_guard<std::mutex> guard(lock);
  if (adapterIndex < 0 || adapterIndex >= script.adapterCount) return 0;
  if (static_cast<std::size_t>(adapterIndex) >= script.connected.size()) return 1;
  return script.connected[static_cast<std::size_t>(adapterIndex)];
}

TAVICLIENT_API int TVDoWork(TVWork* work, void** cancelHandle) {
  HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  uint32_t code = 0;
  int result = 1;
  DWORD delay = 0;
  std::vector<std::vector<uint8_t>> discovered;
  {
    std::lock_guard<std::mutex> guard(lock);
    LoadScript();
    liveCancels.insert(cancel);
    if (cancelHandle) *cancelHandle = cancel;
    const uint8_t* request = work->request;
    code = LoadU32(request + FrameOffset::RequestCode);
    uint32_t adapter = LoadU32(request + FrameOffset::AdapterIndex);
    Log("TVDoWork code=" + std::to_string(code) + " adapter=" + std::to_string(adapter) +
        " bytes=" + Hex(request, LoggedRequestLength(request)));
    auto scripted = script.workResult.find(code);
    if (scripted != script.workResult.end()) result = scripted->second;
    if (code == Request::Discover) {
      auto perAdapter = script.adapterWorkResult.find(adapter);
      if (perAdapter != script.adapterWorkResult.end()) result = perAdapter->second;
    }
    auto pause = script.delayMs.find(code);
    if (pause != script.delayMs.end()) delay = pause->second;

    if (result != 0 && code == Request::Discover) {
      for (const FakeHost& host : script.hosts) {
        if (host.adapter == adapter) discovered.push_back(BuildReply(host, request, code));
      }
    } else if (result != 0 && work->reply) {
      std::size_t capacity = ConsoleReplyBufferLength(code);
      uint8_t* reply = static_cast<uint8_t*>(work->reply);
      const FakeHost* host = HostByMac(request);
      const uint16_t refusal = host ? TrustRefusal(*host, code) : 0;
      auto statusOf = script.status.find(code);
      const uint16_t status = statusOf == script.status.end() ? 0 : statusOf->second;
      if (refusal != 0 && capacity >= kReplyBaseLength) {
        Log("TVDoWork refused code=" + std::to_string(code) + " status=" + std::to_string(refusal));
        StoreU16(reply + FrameOffset::Status, refusal);
      } else if (host && (status == Status::ResponseTimeout || status == Status::OutOfMemory)) {
        StoreU16(reply + FrameOffset::Status, status);  // no reply came: only the status
      } else if (host) {
        std::vector<uint8_t> bytes = BuildReply(*host, request, code);
        std::memcpy(reply, bytes.data(), std::min(capacity, bytes.size()));
      } else if (capacity >= kReplyBaseLength) {
        StoreU16(reply + FrameOffset::Status, Status::ResponseTimeout);
      }
    }
  }
  if (code == Request::Discover && result != 0) {
    TVPacketList* list = static_cast<TVPacketList*>(work->reply);
    for (const std::vector<uint8_t>& bytes : discovered) {
      if (WaitForSingleObject(cancel, 0) == WAIT_OBJECT_0) break;
      uint8_t* kept = static_cast<uint8_t*>(std::malloc(bytes.size()));
      if (!kept) break;
      std::memcpy(kept, bytes.data(), bytes.size());
      {
        std::lock_guard<std::mutex> guard(lock);
        if (!*list) *list = new PacketList;
        static_cast<PacketList*>(*list)->replies.push_back(kept);
      }
      if (work->hook) work->hook(kept);
    }
  }
  Pause(cancel, delay);
  {
    std::lock_guard<std::mutex> guard(lock);
    liveCancels.erase(cancel);
    Log("TVDoWork done code=" + std::to_string(code) + " result=" + std::to_string(result) +
        (WaitForSingleObject(cancel, 0) == WAIT_OBJECT_0 ? " cancelled" : ""));
  }
  CloseHandle(cancel);
  return result;
}

TAVICLIENT_API int TVDoPolling(TVWork* work) {
  int result;
  DWORD delay;
  {
    std::lock_guard<std::mutex> guard(lock);
    LoadScript();
    Log("TVDoPolling bytes=" + Hex(work->request, kShortRequestLength));
    result = script.pollResult;
    delay = script.pollDelayMs;
  }
  if (delay) Sleep(delay);
  if (work->reply && result) {
    uint8_t* reply = static_cast<uint8_t*>(work->reply);
    std::memcpy(reply, work->request, kHeaderLength);
    StoreU16(reply + FrameOffset::FrameKind, kReplyFrameKind);
  }
  return result;
}

TAVICLIENT_API void TVCancel(void* cancelHandle) {
  std::lock_guard<std::mutex> guard(lock);
  Log(std::string("TVCancel") + (cancelHandle ? "" : " null"));
  HANDLE handle = static_cast<HANDLE>(cancelHandle);
  if (handle && liveCancels.count(handle)) SetEvent(handle);
}

TAVICLIENT_API void TVFreePackets(TVPacketList* packetList) {
  std::lock_guard<std::mutex> guard(lock);
  Log("TVFreePackets");
  if (!packetList || !*packetList) return;
  PacketList* list = static_cast<PacketList*>(*packetList);
  for (uint8_t* reply : list->replies) std::free(reply);
  delete list;
  *packetList = nullptr;
}

TAVICLIENT_API const unsigned char* TVGetMACData(const unsigned char* reply, void*) {
  static const unsigned char none[kNicEntryLength] = {};
  if (!reply) return none;
  std::size_t count = std::min<std::size_t>(reply[FrameOffset::Host + 124], kConsoleNicCapacity);
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char* entry = reply + FrameOffset::Host + kHostRecordBaseLength + kNicEntryLength * i;
    if (std::memcmp(entry, reply + FrameOffset::AgentMac, 6) == 0) return entry;
  }
  return none;
}

TAVICLIENT_API void TVSetDiscoverTimeout(int seconds) {
  std::lock_guard<std::mutex> guard(lock);
  discoverTimeout = seconds;
  Log("TVSetDiscoverTimeout " + std::to_string(seconds));
}
TAVICLIENT_API int TVGetDiscoverTimeout(void) { return discoverTimeout; }
TAVICLIENT_API void TVSetSetTimeout(int seconds) {
  std::lock_guard<std::mutex> guard(lock);
  setTimeoutSeconds = seconds;
  Log("TVSetSetTimeout " + std::to_string(seconds));
}
TAVICLIENT_API int TVGetSetTimeout(void) { return setTimeoutSeconds; }
TAVICLIENT_API void TVSetRetryCount(int count) {
  std::lock_guard<std::mutex> guard(lock);
  retryCount = count;
  Log("TVSetRetryCount " + std::to_string(count));
}
TAVICLIENT_API int TVGetRetryCount(void) { return retryCount; }

TAVICLIENT_API unsigned long TVGetUncheckedReplies(void) { return script.unchecked; }

TAVICLIENT_API void TVSetTrustPrompting(int enabled) {
  std::lock_guard<std::mutex> guard(lock);
  trustPrompting = enabled;
  Log("TVSetTrustPrompting " + std::to_string(enabled));
}

TAVICLIENT_API int TVGetHostKey(const unsigned char agentMac[6], const char* hostName,
                                char* fingerprint, char* pinnedFingerprint) {
  std::lock_guard<std::mutex> guard(lock);
  LoadScript();
  CopyFingerprint(fingerprint, "");
  CopyFingerprint(pinnedFingerprint, "");
  const FakeHost* host = agentMac ? HostByAgentMac(agentMac) : nullptr;
  Log("TVGetHostKey " + (agentMac ? MacText(agentMac) : std::string("null")) + " " +
      (hostName ? hostName : "(null)"));
  if (!host) return TV_KEY_NONE;
  if (host->keyState != TV_KEY_NONE) CopyFingerprint(fingerprint, host->fingerprint);
  if (host->keyState == TV_KEY_TRUSTED || host->keyState == TV_KEY_CHANGED) {
    CopyFingerprint(pinnedFingerprint, host->keyState == TV_KEY_TRUSTED ? host->fingerprint
                                                                        : host->pinned);
  }
  return host->keyState;
}

TAVICLIENT_API int TVTrustHostKey(const unsigned char agentMac[6], const char* hostName) {
  std::lock_guard<std::mutex> guard(lock);
  LoadScript();
  FakeHost* host = agentMac ? HostByAgentMac(agentMac) : nullptr;
  Log("TVTrustHostKey " + (agentMac ? MacText(agentMac) : std::string("null")) + " " +
      (hostName ? hostName : "(null)"));
  if (!host || host->keyState == TV_KEY_NONE) return 0;
  host->keyState = TV_KEY_TRUSTED;
  host->pinned = host->fingerprint;
  return 1;
}

TAVICLIENT_API int TVTrustHostKeyEx(const unsigned char agentMac[6], const char* hostName,
                                    const char* shownFingerprint) {
  std::lock_guard<std::mutex> guard(lock);
  LoadScript();
  FakeHost* host = agentMac ? HostByAgentMac(agentMac) : nullptr;
  Log("TVTrustHostKeyEx " + (agentMac ? MacText(agentMac) : std::string("null")) + " " +
      (hostName ? hostName : "(null)") + " " + (shownFingerprint ? shownFingerprint : "(null)"));
  if (!agentMac || !shownFingerprint) return 0;
  if (!host || host->keyState == TV_KEY_NONE) return Status::HostKeyNotTrusted;
  if (host->keyState == TV_KEY_STORE_UNREADABLE) return TV_STATUS_TRUST_STORE_UNREADABLE;
  const std::string seen = host->seen.empty() ? host->fingerprint : host->seen;
  if (seen != shownFingerprint) return TV_STATUS_KEY_CHANGED_SINCE_SHOWN;
  if (host->storeUnwritable) return TV_STATUS_TRUST_STORE_NOT_WRITTEN;
  host->keyState = TV_KEY_TRUSTED;
  host->pinned = host->fingerprint;
  return 1;
}

TAVICLIENT_API int TVGetTrustStoreProblem(char* text, int chars) {
  std::lock_guard<std::mutex> guard(lock);
  LoadScript();
  Log("TVGetTrustStoreProblem");
  if (!text || chars <= 0) return 0;
  std::string problem;
  for (const auto& host : script.hosts)
    if (host.keyState == TV_KEY_STORE_UNREADABLE) problem = host.storeProblem;
  const std::size_t n = std::min<std::size_t>(problem.size(), static_cast<std::size_t>(chars) - 1);
  std::copy_n(problem.data(), n, text);
  text[n] = '\0';
  return problem.empty() ? 0 : 1;
}

}  // extern "C"
