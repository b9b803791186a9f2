#include "console/nvctl/transport_session.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "TaviClient.h"
#include "console/core/config_store.h"
#include "console/core/host_reply.h"
#include "console/core/message_table.h"
#include "protocol/reply_view.h"

namespace {

// The hook has no context argument: the running discovery's collector.
struct Collector {
  std::mutex mutex;
  std::vector<HostView>* hosts = nullptr;
  const std::function<void(const HostView&)>* onHost = nullptr;
  bool progressShown = false;
};
Collector g_collector;

bool StderrIsConsole() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void ClearProgress() {
  if (g_collector.progressShown) {
    std::fprintf(stderr, "\r%60s\r", "");
    std::fflush(stderr);
  }
}

void HostAnswered(const unsigned char* frame) {
  if (frame == nullptr) return;
  // The library keeps the whole reply its nicCount announces (up to ten entries).
  const ReplyView delivered = ReplyView::Delivered(frame);
  std::optional<HostView> host = MakeHostView(delivered.data(), delivered.length());
  if (!host) return;
  std::lock_guard<std::mutex> lock(g_collector.mutex);
  if (!g_collector.hosts) return;
  // A host that answers on two console adapters is listed once per agent adapter.
  for (const HostView& known : *g_collector.hosts)
    if (known.agentMac == host->agentMac && known.consoleAdapter == host->consoleAdapter) return;
  g_collector.hosts->push_back(*host);
  ClearProgress();
  if (g_collector.onHost) (*g_collector.onHost)(*host);
}

}  // namespace

TransportSession::~TransportSession() {
  if (!started_) return;
  TVFreePackets(&packetList_);
  TVCleanup();
}

int TransportSession::Start() {
  const int result = TVInitialize();
  started_ = result == 0;
  return result;
}

TransportSession::Discovery TransportSession::Discover(
    std::optional<int> adapter, const std::function<void(const HostView&)>& onHost) {
  Discovery discovery;
  TVFreePackets(&packetList_);
  {
    std::lock_guard<std::mutex> lock(g_collector.mutex);
    g_collector.hosts = &discovery.hosts;
    g_collector.onHost = &onHost;
    g_collector.progressShown = false;
  }

  // The progress line: rewritten in place on a console, one line otherwise.
  std::atomic<bool> done{false};
  std::mutex waitMutex;
  std::condition_variable wake;
  const int timeout = TVGetDiscoverTimeout();
  std::thread progress([&] {
    const bool console = StderrIsConsole();
    const auto start = std::chrono::steady_clock::now();
    if (!console) std::fprintf(stderr, "nvctl: discovering (up to %d s per adapter)\n", timeout);
    std::unique_lock<std::mutex> waitLock(waitMutex);
    while (!done) {
      if (console) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::steady_clock::now() - start).count();
        std::lock_guard<std::mutex> lock(g_collector.mutex);
        std::fprintf(stderr, "\rdiscovering: %u host(s), %lld s of %d", 
                     static_cast<unsigned>(discovery.hosts.size()),
                     static_cast<long long>(elapsed), timeout);
        std::fflush(stderr);
        g_collector.progressShown = true;
      }
      wake.wait_for(waitLock, std::chrono::milliseconds(500));
    }
  });

  const int count = TVGetAdpaterCount();
  discovery.adapterCount = count;
  for (int i = 0; i < count; ++i) {
    if (adapter && *adapter != i) continue;
    if (!TVIsAdapterConnected(i)) continue;
    std::vector<uint8_t> request = BuildDiscoverRequest(static_cast<uint32_t>(i));
    TVWork work{};
    work.request = request.data();
    work.reply = &packetList_;
    work.hook = &HostAnswered;
    void* cancel = nullptr;
    discovery.workResult = TVDoWork(&work, &cancel);
    discovery.unchecked += TVGetUncheckedReplies();
  }

  {
    std::lock_guard<std::mutex> waitLock(waitMutex);
    done = true;
  }
  wake.notify_all();
  progress.join();
  std::lock_guard<std::mutex> lock(g_collector.mutex);
  ClearProgress();
  std::fprintf(stderr, "nvctl: %u host(s) answered\n",
               static_cast<unsigned>(discovery.hosts.size()));
  // Real hosts may be missing from the answers: say why, as the dialog console does.
  if (discovery.unchecked > 0)
    std::fprintf(stderr, "nvctl: %s\n", FloodedText(discovery.unchecked).c_str());
  g_collector.hosts = nullptr;
  g_collector.onHost = nullptr;
  return discovery;
}

int TransportSession::Exchange(std::vector<uint8_t>& request, std::vector<uint8_t>& reply) {
  TVWork work{};
  work.request = request.data();
  work.reply = reply.data();
  void* cancel = nullptr;
  return TVDoWork(&work, &cancel);
}

bool TransportSession::PollAndRefresh(HostView& host) {
  std::vector<uint8_t> poll = BuildTargetedRequest(Request::Poll, host.reply.data(), host.reply.size());
  std::vector<uint8_t> pollReply(kConsoleShortReplyLength, 0);
  if (poll.empty()) return false;
  TVWork work{};
  work.request = poll.data();
  work.reply = pollReply.data();
  if (TVDoPolling(&work) == 0) return false;

  std::vector<uint8_t> refresh =
      BuildTargetedRequest(Request::Refresh, host.reply.data(), host.reply.size());
  std::vector<uint8_t> reply(kConsoleReplyBufferLength, 0);
  if (refresh.empty()) return false;
  PresetRefreshReply(reply.data(), reply.size(), host.record.magicNumber);
  if (Exchange(refresh, reply) == 0 || !ReplyView(reply).HoldsAgentRecord()) return false;
  // The answering adapter's entry as the fresh record reports it (its address may have
  // changed with the request).
  std::optional<HostView> fresh = MakeHostView(reply.data(), reply.size());
  if (!fresh) return false;
  // The reply's header is the request's: the exchange's adapters stay those of discovery.
  host = *fresh;
  return true;
}

void LoadTransportOptions() {
  ConsoleConfig config;
  if (ReadConsoleConfig(config)) ApplyTransportOptions(config);
}
