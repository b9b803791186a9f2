// ClientCore and ServerCore over real frames: PcapLinks on the two ends of a veth pair that
// pcap_netns_test.sh makes in a namespace of its own (TVT_PCAP_DEVICES=client,agent).
// Skipped without it.
#include "transport/core/pcap_link.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "protocol/byte_order.h"
#include "transport/core/client_core.h"
#include "transport/platform/adapters.h"
#include "wire_helpers.h"

namespace tavi {
namespace {

using namespace std::chrono_literals;

class PcapPair : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* env = std::getenv("TVT_PCAP_DEVICES");
    if (env == nullptr) GTEST_SKIP() << "needs TVT_PCAP_DEVICES (run pcap_netns_test.sh)";
    const std::string names(env);
    const auto comma = names.find(',');
    ASSERT_NE(comma, std::string::npos);
    api = LoadPcap();
    ASSERT_NE(api, nullptr);
    for (const auto& a : ListConsoleAdapters()) {
      if (a.label == names.substr(0, comma)) client = a;
      if (a.label == names.substr(comma + 1)) agent = a;
    }
    ASSERT_FALSE(client.device.empty());
    ASSERT_FALSE(agent.device.empty());
  }
  std::unique_ptr<Link> Open(const AdapterInfo& info) {
    PcapLinkOptions options;
    options.linkUp = [info] { return AdapterLinkUp(info); };
    std::string error;
    auto link = PcapLink::Open(*api, info.device, info.mac, options, &error);
    EXPECT_TRUE(link) << error;
    return link;
  }

  const PcapApi* api = nullptr;
  AdapterInfo client, agent;
};

TEST_F(PcapPair, DiscoveryAndAFragmentedReplyOverRealFrames) {
  std::vector<std::unique_ptr<Link>> agentLinks;
  agentLinks.push_back(Open(agent));
  test::FakeAgent fake(std::move(agentLinks), 2048);
  std::vector<std::unique_ptr<Link>> clientLinks;
  clientLinks.push_back(Open(client));
  ClientCore console(std::move(clientLinks));
  EXPECT_TRUE(console.AdapterUsable(0));

  auto discover = test::MakeRequest(1, kBroadcastMac);
  std::vector<Message> found;
  console.Discover(0, discover.data(), discover.size(), {500ms, 0},
                   [&](const Message& m) { found.push_back(m); });
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].source, agent.mac);
  EXPECT_EQ(MacAt(found[0].bytes.data() + 4), agent.mac);

  auto refresh = test::MakeRequest(9, agent.mac);
  std::vector<uint8_t> reply;
  ASSERT_EQ(console.Exchange(0, agent.mac, refresh.data(), refresh.size(), {2000ms, 3}, reply),
            Outcome::Replied);
  ASSERT_EQ(reply.size(), 2048u);
  for (std::size_t i = 27; i < reply.size(); ++i) ASSERT_EQ(reply[i], static_cast<uint8_t>(i));
  EXPECT_EQ(fake.executed(), 2);
}

TEST_F(PcapPair, CaptureFilterKeepsOtherEtherTypesOut) {
  std::vector<std::unique_ptr<Link>> agentLinks;
  agentLinks.push_back(Open(agent));
  test::FakeAgent fake(std::move(agentLinks), 32);
  auto sender = Open(client);
  std::vector<uint8_t> frame(60, 0);
  std::copy(agent.mac.begin(), agent.mac.end(), frame.begin());
  std::copy(client.mac.begin(), client.mac.end(), frame.begin() + 6);
  frame[12] = 0x88;
  frame[13] = 0xB6;  // the neighbouring experimental type
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(sender->Send(frame.data(), frame.size()));
  frame[13] = 0xB5;
  frame[14] = 7;  // ours, unknown version: reaches the core and is counted
  EXPECT_TRUE(sender->Send(frame.data(), frame.size()));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(fake.core().counters().drops.foreignType, 0u);
  EXPECT_EQ(fake.core().counters().drops.badVersion, 1u);
}

// The reader sits in a read with no frame to wake it: Stop must still end it.
TEST_F(PcapPair, StopOnAnIdleLinkReturns) {
  auto link = Open(agent);
  ASSERT_TRUE(link->Start([](const uint8_t*, std::size_t) {}));
  std::this_thread::sleep_for(100ms);
  link->Stop();
}

}  // namespace
}  // namespace tavi
