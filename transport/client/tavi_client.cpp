// TaviClient.dll: the console's exports over ClientCore and one pcap link per adapter.
#include "TaviClient.h"

#include <algorithm>
#include <cstring>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "protocol/frames.h"
#include "protocol/reply_view.h"
#include "transport/client/nic_lookup.h"
#include "transport/client/packet_list.h"
#include "transport/client/reply_delivery.h"
#include "transport/core/client_core.h"
#include "transport/core/pcap_link.h"
#include "transport/core/secure_client.h"
#include "transport/platform/adapters.h"

// The public header spells the trust statuses for C callers; they are the protocol's.
static_assert(TV_STATUS_TRUST_STORE_UNREADABLE == Status::TrustStoreUnreadable &&
              TV_STATUS_KEY_CHANGED_SINCE_SHOWN == Status::HostKeyChangedSinceShown &&
              TV_STATUS_TRUST_STORE_NOT_WRITTEN == Status::TrustStoreNotWritten);

using namespace tavi;

namespace {

// Long enough for a server to restart, firmware self-test included.
constexpr std::chrono::minutes kPollWindow{10};
// One poll attempt: a Poll and one retransmission, then a fresh Poll.
constexpr ExchangeTiming kPollAttempt{std::chrono::milliseconds(2000), 1};

std::mutex& StateLock() {
  static auto* m = new std::mutex;
  return *m;
}
// Never destroyed: a worker may still hold it when the process unloads the library.
std::shared_ptr<ClientCore>& Core() {
  static auto* core = new std::shared_ptr<ClientCore>;
  return *core;
}
std::shared_ptr<ClientCore> CurrentCore() {
  std::lock_guard<std::mutex> lock(StateLock());
  return Core();
}

// Keys seen and the trust store live for the process, across TVCleanup/TVInitialize.
SecureClient& Channel() {
  static auto* channel =
      new SecureClient(std::make_shared<TrustStore>(DefaultTrustStorePath()));
  return *channel;
}

std::atomic<int> g_discoverSeconds{5};
std::atomic<int> g_setSeconds{30};
std::atomic<int> g_retryCount{3};
// Cancel handles stay unique across TVCleanup/TVInitialize, so a stale one cancels nothing.
std::atomic<uint64_t> g_lastWorkId{0};

ExchangeTiming Timing(int seconds) {
  return {std::chrono::milliseconds(static_cast<int64_t>(seconds) * 1000), g_retryCount.load()};
}

void WriteStatus(void* reply, std::size_t capacity, uint16_t status) {
  WriteReplyStatus(static_cast<uint8_t*>(reply), capacity, status);
}

static_assert(TV_MAX_HOSTS == kMaxKeptPackets && TV_MAX_HOSTS == ClientCore::kMaxDiscoveredHosts,
              "one bound for the console's list");

int Discover(ClientCore& core, TVWork& work, uint64_t workId) {
  auto* list = static_cast<TVPacketList*>(work.reply);
  const uint32_t adapter = LoadU32(work.request + FrameOffset::AdapterIndex);
  // The list spans the discovery's adapters: each gets the room the earlier ones left.
  const std::size_t room = kMaxKeptPackets - std::min(KeptPacketCount(list), kMaxKeptPackets);
  const Outcome outcome = Channel().Discover(
      core, adapter, work.request, kShortRequestLength, Timing(g_discoverSeconds),
      [&](const Message& m) {
        // The console addresses later requests with bytes 0..3 (its adapter) and 4..9 (the
        // agent's): make them the adapter this discovery ran on and the adapter that
        // answered, whatever the agent wrote.
        std::vector<uint8_t> bytes = m.bytes;
        if (bytes.size() >= FrameOffset::FrameKind) {
          StoreU32(bytes.data() + FrameOffset::AdapterIndex, adapter);
          std::copy(m.source.begin(), m.source.end(), bytes.begin() + FrameOffset::AgentMac);
        }
        const uint8_t* kept = KeepPacket(list, bytes.data(), bytes.size());
        if (kept != nullptr && work.hook != nullptr) work.hook(kept);
      },
      workId, room);
  if (outcome == Outcome::AdapterUnusable) return 0;
  return outcome == Outcome::HostLimit ? TV_HOST_LIMIT : 1;
}

int Transact(ClientCore& core, TVWork& work, uint64_t workId) {
  const uint32_t code = LoadU32(work.request + FrameOffset::RequestCode);
  const std::size_t requestLength = BuiltRequestLength(work.request);
  const std::size_t capacity = ConsoleReplyBufferLength(code);
  if (requestLength == 0 || capacity == 0 || work.reply == nullptr) return 0;
  if (requestLength > kMaxMessageLength) {
    // An agent receives at most 2048 bytes: this request could never be answered.
    WriteStatus(work.reply, capacity, Status::ResponseTimeout);
    return 1;
  }
  std::vector<uint8_t> reply;
  const uint32_t adapter = LoadU32(work.request + FrameOffset::AdapterIndex);
  const Mac agent = MacAt(work.request + FrameOffset::AgentMac);
  const SecureClient::Result result = Channel().Exchange(
      core, adapter, agent, work.request, requestLength, Timing(g_setSeconds), reply, workId);
  // As for discovery: bytes 0..3 and 4..9 name where the exchange ran, not what came back.
  if (result.outcome == Outcome::Replied && result.refusal == 0 &&
      reply.size() >= FrameOffset::FrameKind) {
    StoreU32(reply.data() + FrameOffset::AdapterIndex, adapter);
    std::copy(agent.begin(), agent.end(), reply.begin() + FrameOffset::AgentMac);
  }
  const Outcome outcome = result.outcome;
  if (outcome == Outcome::AdapterUnusable) return 0;
  if (result.refusal != 0) {
    WriteStatus(work.reply, capacity, result.refusal);  // nothing secret left the console
  } else if (outcome == Outcome::Replied) {
    // Cut at the console's buffer: a host with more than ten adapters does not fit.
    DeliverReply(reply, static_cast<uint8_t*>(work.reply), capacity);
  } else {
    WriteStatus(work.reply, capacity, Status::ResponseTimeout);
  }
  return 1;
}

}  // namespace

extern "C" {

int TVInitialize(void) {
  std::lock_guard<std::mutex> lock(StateLock());
  if (Core()) return 0;
  const PcapApi* api = LoadPcap();
  if (api == nullptr) return Status::DriverLoadFailed;
  std::vector<std::unique_ptr<Link>> links;
  std::size_t opened = 0;
  for (const AdapterInfo& info : ListConsoleAdapters()) {
    if (!AdapterSelected(info)) continue;
    PcapLinkOptions options;
    options.linkUp = [info] { return AdapterLinkUp(info); };
    auto link = PcapLink::Open(*api, info.device, info.mac, options);
    if (link) ++opened;
    links.push_back(std::move(link));
  }
  if (!links.empty() && opened == 0) return Status::DriverLoadFailed;
  try {
    Core() = std::make_shared<ClientCore>(std::move(links));
  } catch (const std::exception&) {
    return Status::DriverLoadFailed;
  }
  return 0;
}

void TVCleanup(void) {
  std::shared_ptr<ClientCore> core;
  {
    std::lock_guard<std::mutex> lock(StateLock());
    core.swap(Core());
  }
  if (core) core->Shutdown();
}

int TVGetAdpaterCount(void) {
  auto core = CurrentCore();
  return core ? static_cast<int>(core->AdapterCount()) : 0;
}

int TVIsAdapterConnected(int adapterIndex) {
  auto core = CurrentCore();
  return core && adapterIndex >= 0 && core->AdapterUsable(static_cast<std::size_t>(adapterIndex))
             ? 1
             : 0;
}

int TVDoWork(TVWork* work, void** cancelHandle) {
  if (work == nullptr || work->request == nullptr) return 0;
  auto core = CurrentCore();
  if (!core) return 0;
  const uint64_t workId = ++g_lastWorkId;
  if (cancelHandle != nullptr) *cancelHandle = reinterpret_cast<void*>(static_cast<uintptr_t>(workId));
  const uint32_t code = LoadU32(work->request + FrameOffset::RequestCode);
  try {
    if (code == Request::Discover) return work->reply ? Discover(*core, *work, workId) : 0;
    return Transact(*core, *work, workId);
  } catch (const std::bad_alloc&) {
    if (code != Request::Discover)
      WriteStatus(work->reply, ConsoleReplyBufferLength(code), Status::OutOfMemory);
    return 1;
  }
}

int TVDoPolling(TVWork* work) {
  if (work == nullptr || work->request == nullptr || work->reply == nullptr) return 0;
  const auto end = Clock::now() + kPollWindow;
  const uint32_t adapter = LoadU32(work->request + FrameOffset::AdapterIndex);
  try {
    while (Clock::now() < end) {
      auto core = CurrentCore();
      if (!core || adapter >= core->AdapterCount()) return 0;
      std::vector<uint8_t> reply;
      // Every attempt is a new request, so the agent answers each one.
      const Outcome outcome =
          Channel()
              .Exchange(*core, adapter, MacAt(work->request + FrameOffset::AgentMac),
                        work->request, kShortRequestLength, kPollAttempt, reply)
              .outcome;
      if (outcome == Outcome::Replied) {
        DeliverReply(reply, static_cast<uint8_t*>(work->reply), kConsoleShortReplyLength);
        return 1;
      }
      if (outcome == Outcome::Cancelled) return 0;  // the library is shutting down
      // The console's own link is down: it may come back within the window.
      if (outcome == Outcome::AdapterUnusable) std::this_thread::sleep_for(std::chrono::seconds(1));
    }
  } catch (const std::bad_alloc&) {
  }
  return 0;
}

void TVCancel(void* cancelHandle) {
  if (cancelHandle == nullptr) return;
  auto core = CurrentCore();
  if (core) core->Cancel(reinterpret_cast<uintptr_t>(cancelHandle));
}

void TVFreePackets(TVPacketList* packetList) { FreePackets(packetList); }

const unsigned char* TVGetMACData(const unsigned char* reply, void* reserved) {
  (void)reserved;
  static const unsigned char kNoEntry[kNicEntryLength] = {};
  // A buffer of ours is as long as we made it; any other is a console reply buffer.
  std::size_t length = KeptPacketLength(reply);
  if (length == 0) length = kConsoleReplyBufferLength;
  const uint8_t* nic = FindAnsweringNic(reply, length);
  return nic ? nic : kNoEntry;
}

void TVSetDiscoverTimeout(int seconds) { g_discoverSeconds = std::clamp(seconds, 0, 600); }
int TVGetDiscoverTimeout(void) { return g_discoverSeconds; }
void TVSetSetTimeout(int seconds) { g_setSeconds = std::clamp(seconds, 0, 600); }
int TVGetSetTimeout(void) { return g_setSeconds; }
void TVSetRetryCount(int count) { g_retryCount = std::clamp(count, 0, 10); }
int TVGetRetryCount(void) { return g_retryCount; }

void TVSetTrustPrompting(int enabled) { Channel().SetPrompting(enabled != 0); }

unsigned long TVGetUncheckedReplies(void) {
  return static_cast<unsigned long>(Channel().LastUnchecked());
}

namespace {
void CopyText(const std::string& text, char* out) {
  if (out == nullptr) return;
  const std::size_t n = std::min<std::size_t>(text.size(), TV_FINGERPRINT_CHARS - 1);
  std::copy_n(text.data(), n, out);
  out[n] = '\0';
}
}  // namespace

int TVGetHostKey(const unsigned char agentMac[6], const char* hostName, char* fingerprint,
                 char* pinnedFingerprint) {
  (void)hostName;
  CopyText(std::string(), fingerprint);
  CopyText(std::string(), pinnedFingerprint);
  if (agentMac == nullptr) return TV_KEY_NONE;
  try {
    std::string seen, pinned;
    const KeyState state = Channel().HostKey(MacAt(agentMac), &seen, &pinned);
    CopyText(seen, fingerprint);
    CopyText(pinned, pinnedFingerprint);
    return static_cast<int>(state);
  } catch (const std::exception&) {
    return TV_KEY_NONE;
  }
}

int TVTrustHostKey(const unsigned char agentMac[6], const char* hostName) {
  if (agentMac == nullptr) return 0;
  try {
    return Channel().Trust(MacAt(agentMac), hostName ? std::string(hostName, strnlen(hostName, 64)) : std::string()) ? 1 : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

int TVTrustHostKeyEx(const unsigned char agentMac[6], const char* hostName,
                     const char* shownFingerprint) {
  if (agentMac == nullptr || shownFingerprint == nullptr) return 0;
  try {
    const std::string shown(shownFingerprint, strnlen(shownFingerprint, TV_FINGERPRINT_CHARS));
    const std::string name = hostName ? std::string(hostName, strnlen(hostName, 64)) : std::string();
    switch (Channel().Trust(MacAt(agentMac), name, shown)) {
      case TrustResult::Pinned: return 1;
      case TrustResult::NoKeySeen: return Status::HostKeyNotTrusted;
      case TrustResult::ChangedSinceShown: return Status::HostKeyChangedSinceShown;
      case TrustResult::StoreUnreadable: return Status::TrustStoreUnreadable;
      case TrustResult::NotWritten: break;
    }
    return Status::TrustStoreNotWritten;
  } catch (const std::exception&) {
    return Status::TrustStoreNotWritten;
  }
}

int TVGetTrustStoreProblem(char* text, int chars) {
  if (text == nullptr || chars <= 0) return 0;
  text[0] = '\0';
  try {
    const std::string problem = Channel().TrustStoreProblem();
    const std::size_t n = std::min<std::size_t>(problem.size(), static_cast<std::size_t>(chars) - 1);
    std::copy_n(problem.data(), n, text);
    text[n] = '\0';
    return problem.empty() ? 0 : 1;
  } catch (const std::exception&) {
    return 0;
  }
}

}  // extern "C"
