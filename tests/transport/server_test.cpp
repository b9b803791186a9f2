// ServerCore on its own: wake-ups, release on close, restart under a waiting Receive, what
// it fills into replies, and the frames it refuses.
#include "transport/core/server_core.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>

#include "protocol/byte_order.h"
#include "wire_helpers.h"

namespace tavi {
namespace {

using namespace std::chrono_literals;
using test::MakeRequest;
using test::TestMac;

const Mac kConsole = TestMac(0xC0, 0x06);
const Mac kAgent = TestMac(0xA0);

class Server : public ::testing::Test {
 protected:
  void SetUp() override {
    console = segment.Attach(kConsole);
    console->Start([this](const uint8_t* f, std::size_t n) {
      std::lock_guard<std::mutex> lock(mutex);
      received.emplace_back(f, f + n);
    });
    std::vector<std::unique_ptr<Link>> links;
    links.push_back(segment.Attach(kAgent));
    server.Open(std::move(links));
  }
  // The segment's delivery thread may still be handing frames to the console's handler:
  // stop it before the members the handler writes to are destroyed.
  void TearDown() override {
    console->Stop();
    server.Close();
  }
  void SendRaw(std::vector<uint8_t> frame) { console->Send(frame.data(), frame.size()); }
  void SendRequest(const std::vector<uint8_t>& message, uint32_t id, const Mac& to = kAgent,
                   uint8_t flags = 0) {
    for (auto& f : BuildFrames(to, kConsole, flags, id, message.data(), message.size()))
      SendRaw(f);
  }
  bool Receive(std::vector<uint8_t>& out, std::chrono::milliseconds wait = 300ms) {
    out.assign(2048, 0);
    std::size_t n = 0;
    if (!server.Receive(out.data(), out.size(), n, wait)) return false;
    out.resize(n);
    return true;
  }
  std::vector<std::vector<uint8_t>> Replies() {
    std::lock_guard<std::mutex> lock(mutex);
    return received;
  }

  MemorySegment segment;
  std::unique_ptr<Link> console;
  ServerCore server;
  std::mutex mutex;
  std::vector<std::vector<uint8_t>> received;
};

TEST_F(Server, ReceiveWakesUpWithoutFrames) {
  std::vector<uint8_t> buffer;
  const auto t = Clock::now();
  EXPECT_FALSE(Receive(buffer, 100ms));
  EXPECT_GE(Clock::now() - t, 100ms);
}

TEST_F(Server, CloseReleasesAPendingReceiveAtOnce) {
  auto pending = std::async(std::launch::async, [&] {
    std::vector<uint8_t> buffer;
    return Receive(buffer, 600000ms);
  });
  std::this_thread::sleep_for(50ms);
  server.Close();
  // A deadline far inside the receive's ten minutes: only a Close that releases nothing misses it.
  ASSERT_EQ(pending.wait_for(60s), std::future_status::ready) << "Close left the Receive waiting";
  EXPECT_FALSE(pending.get());
  std::vector<uint8_t> buffer;
  EXPECT_FALSE(Receive(buffer, 1000ms));  // closed: no waiting either
}

TEST_F(Server, RestartUnderAWaitingReceiveKeepsServing) {
  auto pending = std::async(std::launch::async, [&] {
    std::vector<uint8_t> buffer;
    return Receive(buffer, 2000ms) ? LoadU32(buffer.data() + 12) : 0u;
  });
  std::this_thread::sleep_for(50ms);
  std::vector<std::unique_ptr<Link>> links;
  links.push_back(segment.Attach(kAgent));
  server.Open(std::move(links));
  SendRequest(MakeRequest(9, kAgent), 77);
  EXPECT_EQ(pending.get(), 9u);
  std::vector<uint8_t> reply(32, 0);
  EXPECT_TRUE(server.Send(reply.data(), reply.size()));
}

TEST_F(Server, ReplyGoesToTheConsoleWithTheAdapterMacInBytes4To9) {
  Mac sender{};
  EXPECT_FALSE(server.LastSender(sender)) << "no request handed out yet";
  SendRequest(MakeRequest(6, kBroadcastMac), 5);
  std::vector<uint8_t> request;
  ASSERT_TRUE(Receive(request));
  ASSERT_TRUE(server.LastSender(sender));
  EXPECT_EQ(sender, kConsole);
  std::vector<uint8_t> reply(request.begin(), request.begin() + 24);
  reply.resize(27, 0);
  ASSERT_TRUE(server.Send(reply.data(), reply.size()));
  EXPECT_FALSE(server.Send(reply.data(), reply.size())) << "one reply per request";
  std::this_thread::sleep_for(20ms);
  const auto replies = Replies();
  ASSERT_EQ(replies.size(), 1u);
  Fragment f;
  ASSERT_EQ(ParseFragment(replies[0].data(), replies[0].size(), f), FrameVerdict::Accepted);
  EXPECT_EQ(f.destination, kConsole);
  EXPECT_EQ(f.source, kAgent);
  EXPECT_EQ(f.transactionId, 5u);
  EXPECT_TRUE(f.flags & EnvelopeFlag::Reply);
  EXPECT_EQ(MacAt(f.payload + 4), kAgent);
  ASSERT_TRUE(server.LastSender(sender)) << "the sender outlives the answer";
  EXPECT_EQ(sender, kConsole);
}

TEST_F(Server, BadFramesAreDroppedAndCounted) {
  const auto good = BuildFrames(kAgent, kConsole, 0, 1, MakeRequest(9, kAgent).data(), 84)[0];
  auto foreign = good;
  foreign[13] = 0x00;
  auto version = good;
  version[14] = 9;
  auto count = good;
  count[21] = 7;
  SendRaw(foreign);
  SendRaw(version);
  SendRaw(count);
  SendRaw(std::vector<uint8_t>(good.begin(), good.begin() + 20));
  SendRequest(std::vector<uint8_t>(23, 1), 2);                       // shorter than a header
  SendRequest(MakeRequest(9, kAgent), 4, kAgent, EnvelopeFlag::Reply);  // another agent's reply
  std::vector<uint8_t> buffer;
  EXPECT_FALSE(Receive(buffer, 200ms));
  const auto& d = server.counters().drops;
  EXPECT_EQ(d.foreignType, 1u);
  EXPECT_EQ(d.badVersion, 1u);
  EXPECT_EQ(d.malformed, 2u);
  EXPECT_EQ(d.truncated, 1u);
  EXPECT_EQ(d.notForUs, 1u);
}

TEST_F(Server, QueueIsBoundedPerSourceAndInTotalAndOversizedRequestsAreNotCopied) {
  // A flooding console holds only its share of the queue, so other consoles still get in...
  for (uint32_t id = 1; id <= 100; ++id) SendRequest(MakeRequest(9, kAgent), id);
  const auto message = MakeRequest(9, kAgent);
  // ...until invented sources fill the rest.
  for (uint16_t s = 0; s < 100; ++s)
    for (auto& f : BuildFrames(kAgent, TestMac(0x100 + s), 0, 1, message.data(), message.size()))
      SendRaw(f);
  std::this_thread::sleep_for(100ms);
  const uint64_t others = ServerCore::kQueueCapacity - ServerCore::kQueuePerSource;
  EXPECT_EQ(server.counters().drops.overflow, (100u - ServerCore::kQueuePerSource) + (100u - others));
  // A caller's buffer too small for the requests: each is skipped, none overruns it.
  std::vector<uint8_t> small(40, 0xEE);
  std::size_t n = 0;
  EXPECT_FALSE(server.Receive(small.data(), small.size(), n, 100ms));
  EXPECT_EQ(server.counters().drops.overflow,
            (100u - ServerCore::kQueuePerSource) + (100u - others) + ServerCore::kQueueCapacity);
  EXPECT_EQ(std::count(small.begin(), small.end(), 0xEE), 40);
}

TEST_F(Server, SlotsKeepTheirNumbersAroundClosedOnes) {
  std::vector<std::unique_ptr<Link>> links;
  links.push_back(nullptr);
  links.push_back(segment.Attach(TestMac(0xA1)));
  server.Open(std::move(links));
  EXPECT_EQ(server.SlotCount(), 2u);
  EXPECT_FALSE(server.SlotLinkUp(0));
  EXPECT_TRUE(server.SlotLinkUp(1));
  EXPECT_FALSE(server.SlotLinkUp(200));
}

}  // namespace
}  // namespace tavi
