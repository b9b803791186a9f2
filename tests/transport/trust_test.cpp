// The console's trust decisions over the in-memory segment, from the attacker's side: a key
// that arrives while the user looks at another one's fingerprint, a trust store that cannot
// be read, and a careless caller that leaves credentials in a readable request.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <mutex>

#include "transport/core/client_core.h"
#include "transport/core/secure_client.h"
#include "transport/core/secure_server.h"
#include "wire_helpers.h"

namespace tavi {
namespace {

using namespace std::chrono_literals;
using test::FakeAgent;
using test::MakeRequest;
using test::TestMac;

const Mac kConsole = TestMac(0xC0, 0x06);
const Mac kAgent = TestMac(0xA0);

bool Contains(const std::vector<uint8_t>& bytes, const char* text) {
  const std::size_t n = std::strlen(text);
  return std::search(bytes.begin(), bytes.end(), text, text + n) != bytes.end();
}

Identity NewIdentity() {
  Identity id;
  EXPECT_TRUE(GenerateIdentity(id));
  return id;
}

class Trust : public ::testing::Test {
 protected:
  void SetUp() override {
    segment.SetImpairment([this](const uint8_t* f, std::size_t n) {
      std::lock_guard<std::mutex> lock(mutex);
      frames.emplace_back(f, f + n);
      return FrameFate::Deliver;
    });
    std::vector<std::unique_ptr<Link>> links;
    links.push_back(segment.Attach(kConsole));
    client = std::make_unique<ClientCore>(std::move(links));
  }
  void TearDown() override {
    client->Shutdown();
    agents.clear();
    if (!path.empty()) {
      std::remove(path.c_str());
      std::remove((path + ".lock").c_str());
    }
  }
  void UseFile(const std::string& text) {
    path = ::testing::TempDir() + "trust_channel_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    secure = std::make_unique<SecureClient>(std::make_shared<TrustStore>(path));
  }
  FakeAgent& StartAgent(const Identity& id) {
    agents.clear();
    agents.push_back(std::make_unique<FakeAgent>(
        segment, std::vector<Mac>{kAgent}, std::make_shared<SecureServer>(id), 200));
    return *agents.back();
  }
  std::size_t Discover(std::vector<uint8_t> request = MakeRequest(1, kBroadcastMac)) {
    std::size_t found = 0;
    secure->Discover(*client, 0, request.data(), request.size(), {400ms, 0},
                     [&](const Message&) { ++found; });
    return found;
  }
  SecureClient::Result Request(uint32_t code, std::vector<uint8_t>& reply) {
    auto request = MakeRequest(code, kAgent, code == 3 ? 116 : 84);
    // What a careless or a real caller leaves in the credential fields.
    std::memcpy(request.data() + 24, "operator", 8);
    std::memcpy(request.data() + 60, "Sesame-0042", 11);
    return secure->Exchange(*client, 0, kAgent, request.data(), request.size(), {3000ms, 3}, reply);
  }
  std::vector<std::vector<uint8_t>> Frames() {
    std::lock_guard<std::mutex> lock(mutex);
    return frames;
  }

  MemorySegment segment;
  std::unique_ptr<ClientCore> client;
  std::vector<std::unique_ptr<FakeAgent>> agents;
  std::unique_ptr<SecureClient> secure =
      std::make_unique<SecureClient>(std::make_shared<TrustStore>(std::string()));
  std::string path;
  std::mutex mutex;
  std::vector<std::vector<uint8_t>> frames;
};

TEST_F(Trust, OnlyTheKeyWhoseFingerprintWasShownIsPinned) {
  secure->SetPrompting(true);
  StartAgent(NewIdentity());
  ASSERT_EQ(Discover(), 1u);
  std::string shown;
  ASSERT_EQ(secure->HostKey(kAgent, &shown, nullptr), KeyState::Unknown);

  // While the user reads that fingerprint, another station answers under the MAC with a key
  // of its own; the Yes was given for the first one.
  FakeAgent& impostor = StartAgent(NewIdentity());
  ASSERT_EQ(Discover(), 1u);
  std::string now;
  secure->HostKey(kAgent, &now, nullptr);
  ASSERT_NE(now, shown);
  EXPECT_EQ(secure->Trust(kAgent, "SERVER01", shown), TrustResult::ChangedSinceShown);
  EXPECT_EQ(secure->HostKey(kAgent, nullptr, nullptr), KeyState::Unknown) << "nothing pinned";
  const int discoveries = impostor.executed();
  std::vector<uint8_t> reply;
  EXPECT_EQ(Request(2, reply).refusal, Status::HostKeyNotTrusted);
  EXPECT_EQ(impostor.executed(), discoveries);

  // Text that is no fingerprint at all, or none: nothing pinned either.
  EXPECT_EQ(secure->Trust(kAgent, "SERVER01", ""), TrustResult::ChangedSinceShown);
  EXPECT_EQ(secure->Trust(kAgent, "SERVER01", now + " "), TrustResult::ChangedSinceShown);
  EXPECT_EQ(secure->Trust(TestMac(0xA7), "OTHER", now), TrustResult::NoKeySeen);

  // Shown and answered for: pinned, and the request goes.
  EXPECT_EQ(secure->Trust(kAgent, "SERVER01", now), TrustResult::Pinned);
  EXPECT_EQ(Request(2, reply).refusal, 0);
  EXPECT_EQ(impostor.executed(), discoveries + 1);
}

TEST_F(Trust, AnUnreadableStoreRefusesEveryAuthenticatedRequestBeforeAFrameLeaves) {
  UseFile("# pinned keys\nnot a pinned key\n");
  FakeAgent& agent = StartAgent(NewIdentity());
  ASSERT_EQ(Discover(), 1u);  // readable requests still work: nothing secret in them
  std::string seen;
  EXPECT_EQ(secure->HostKey(kAgent, &seen, nullptr), KeyState::Unreadable);
  EXPECT_FALSE(seen.empty());
  EXPECT_NE(secure->TrustStoreProblem().find("line 2 of " + path), std::string::npos)
      << secure->TrustStoreProblem();

  // Trust on first use too (the default): read as empty, the store would let any key in.
  const std::size_t before = Frames().size();
  const int discoveries = agent.executed();
  std::vector<uint8_t> reply;
  for (uint32_t code : {2u, 3u, 4u, 5u, 7u})
    EXPECT_EQ(Request(code, reply).refusal, Status::TrustStoreUnreadable) << code;
  EXPECT_EQ(Frames().size(), before);
  EXPECT_EQ(agent.executed(), discoveries);
  EXPECT_EQ(secure->Trust(kAgent, "SERVER01", seen), TrustResult::StoreUnreadable);
  EXPECT_FALSE(secure->Trust(kAgent, "SERVER01"));
  {
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
              "# pinned keys\nnot a pinned key\n");
  }

  // Mended while the console runs: the next request reads it again and goes through.
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "# pinned keys\n";
  EXPECT_EQ(Request(4, reply).refusal, 0);
  EXPECT_EQ(agent.executed(), discoveries + 1);
  EXPECT_EQ(secure->HostKey(kAgent, nullptr, nullptr), KeyState::Trusted) << "pinned on first use";
}

TEST_F(Trust, ReadableRequestsCarryNoCredentialsWhateverTheCallerLeftInThem) {
  FakeAgent& agent = StartAgent(NewIdentity());
  auto discover = MakeRequest(1, kBroadcastMac);
  std::memcpy(discover.data() + 24, "operator", 8);
  std::memcpy(discover.data() + 60, "Sesame-0042", 11);
  ASSERT_EQ(Discover(discover), 1u);
  std::vector<uint8_t> reply;
  for (uint32_t code : {6u, 9u}) EXPECT_EQ(Request(code, reply).outcome, Outcome::Replied) << code;
  ASSERT_EQ(agent.executed(), 3);
  for (const auto& frame : Frames()) {
    EXPECT_FALSE(Contains(frame, "operator"));
    EXPECT_FALSE(Contains(frame, "Sesame-0042"));
  }
  for (const auto& request : agent.executedRequests()) {
    ASSERT_GE(request.size(), 76u);
    EXPECT_TRUE(std::all_of(request.begin() + 24, request.begin() + 76, [](uint8_t b) { return b == 0; }));
  }
}

TEST(ReplySeal, AReplyKeySealsOneMessageAndIsWipedByIt) {
  SecureServer server(NewIdentity());
  std::vector<uint8_t> reply(32, 0x5A), out;
  uint8_t flags = 0;
  for (SecureKind kind : {SecureKind::Sealed, SecureKind::Signed}) {
    ReplySeal seal;
    seal.kind = kind;
    seal.key.fill(0x33);
    ASSERT_TRUE(server.Seal(seal, 7, kConsole, kAgent, reply.data(), reply.size(), out, flags));
    EXPECT_TRUE(std::all_of(seal.key.begin(), seal.key.end(), [](uint8_t b) { return b == 0; }));
    // A second reply under the same key would reuse its nonce: refused, nothing written.
    out.clear();
    EXPECT_FALSE(server.Seal(seal, 7, kConsole, kAgent, reply.data(), reply.size(), out, flags));
    EXPECT_TRUE(out.empty());
  }
  // A seal that failed (a reply too short) is spent as well.
  ReplySeal seal;
  seal.kind = SecureKind::Sealed;
  seal.key.fill(0x44);
  EXPECT_FALSE(server.Seal(seal, 7, kConsole, kAgent, reply.data(), 3, out, flags));
  EXPECT_TRUE(std::all_of(seal.key.begin(), seal.key.end(), [](uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace tavi
