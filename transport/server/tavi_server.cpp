// TaviServer.dll: the agent's exports over ServerCore and one pcap link per adapter slot.
#include "TaviServer.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "protocol/frames.h"
#include "protocol/reply_view.h"
#include "transport/core/key_store.h"
#include "transport/core/pcap_link.h"
#include "transport/core/server_core.h"
#include "transport/core/smbios.h"
#include "transport/platform/adapters.h"
#include "transport/platform/registry_key_store.h"
#include "transport/platform/board_model.h"

using namespace tavi;

namespace {

constexpr std::chrono::milliseconds kReceiveWake{500};
constexpr std::size_t kModelNameChars = 15;

// Never destroyed: the request thread may still be inside TVRecv when the process ends.
ServerCore& Core() {
  static auto* core = new ServerCore;
  return *core;
}
std::mutex& LifecycleLock() {
  static auto* m = new std::mutex;
  return *m;
}
bool g_open = false;
// Kept for the agent's sake; frames are not filtered by it (see transport/README.md).
std::atomic<uint32_t> g_magicNumber{0};

// The agent's identity, loaded (or made and kept) once per process: every request goes
// through the channel it signs for.
bool StartChannel() {
  static std::shared_ptr<SecureServer> channel;
  if (channel) return true;
  Identity identity;
#ifdef _WIN32
  RegistryKeyStore store;
#else
  MemoryKeyStore store;  // simulated hosts: a fresh key per process
#endif
  if (!crypto::Initialise() || !LoadOrCreateIdentity(store, identity)) return false;
  channel = std::make_shared<SecureServer>(identity);
  identity.Wipe();
  Core().SetChannel(channel);
  return true;
}

std::vector<std::unique_ptr<Link>> OpenSlots(const PcapApi& api) {
  std::vector<std::unique_ptr<Link>> links;
  for (const AdapterInfo& info : ListAgentSlots()) {
    std::unique_ptr<Link> link;
    if (!info.device.empty() && AdapterSelected(info)) {
      PcapLinkOptions options;
      options.linkUp = [info] { return AdapterLinkUp(info); };
      link = PcapLink::Open(api, info.device, info.mac, options);
    }
    links.push_back(std::move(link));  // a closed slot keeps its number
  }
  return links;
}

}  // namespace

extern "C" {

int TVInitialize(void) {
  std::lock_guard<std::mutex> lock(LifecycleLock());
  const PcapApi* api = LoadPcap();
  if (api == nullptr) return Status::DriverLoadFailed;
  // Without its key the agent could answer nothing the console accepts.
  if (!StartChannel()) return Status::DriverLoadFailed;
  // Adapters that do not open now are tried again on the next device change (TVRestart).
  Core().Open(OpenSlots(*api));
  g_open = true;
  return 0;
}

void TVCleanup(void) {
  std::lock_guard<std::mutex> lock(LifecycleLock());
  Core().Close();
  g_open = false;
}

void TVSetMagicNumber(uint32_t magicNumber) { g_magicNumber = magicNumber; }

int TVRecv(unsigned char* buffer, uint32_t* length) {
  if (buffer == nullptr || length == nullptr) return 0;
  const std::size_t capacity = std::min<std::size_t>(*length, kAgentBufferLength);
  std::size_t received = 0;
  try {
    if (!Core().Receive(buffer, capacity, received, kReceiveWake)) return 0;
  } catch (const std::exception&) {
    return 0;
  }
  *length = static_cast<uint32_t>(received);
  return 1;
}

int TVGetLastSender(unsigned char mac[6]) {
  if (mac == nullptr) return 0;
  Mac console{};
  if (!Core().LastSender(console)) return 0;
  std::copy(console.begin(), console.end(), mac);
  return 1;
}

void TVTrustLastSender(void) { Core().TrustLastSender(); }

int TVSend(unsigned char* buffer) {
  if (buffer == nullptr) return 0;
  const uint32_t code = LoadU32(buffer + FrameOffset::RequestCode);
  std::size_t length = ReplyLength(code, ReplyView(buffer, kAgentBufferLength).NicCount());
  if (length == 0) length = kReplyBaseLength;
  try {
    return Core().Send(buffer, std::min(length, kAgentBufferLength)) ? 1 : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

int TVIsAdapterConnected(uint8_t slot) { return Core().SlotLinkUp(slot) ? 1 : 0; }

int TVGetOrvaneInfo(unsigned char* scratch, int scratchLength, char* modelName,
                    int modelNameLength) {
  (void)scratch;
  (void)scratchLength;
  if (modelName == nullptr || modelNameLength <= 0) return 0;
  return CopyModelName(ReadBoardModel(), kModelNameChars, modelName,
                       static_cast<std::size_t>(modelNameLength))
             ? 1
             : 0;
}

void TVRestart(void) {
  std::lock_guard<std::mutex> lock(LifecycleLock());
  if (!g_open) return;
  const PcapApi* api = LoadPcap();
  if (api != nullptr) Core().Open(OpenSlots(*api));
}

}  // extern "C"
