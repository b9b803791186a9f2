// One agent, installed as a service in its own prefix and namespace, answering a client
// built on TaviClient from another namespace. Every reply is compared byte for byte with
// the record the driver script derived from that host's registry and interfaces.
// Environment: NVLAB_EXPECT (expectation file), NVLAB_RESULT (file for values the script
// checks afterwards, such as the magic number).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "TaviClient.h"
#include "expectation.h"

namespace {

constexpr size_t kRecord = 27;  // host record offset in a reply

std::mutex repliesLock;
std::vector<std::vector<uint8_t>> discovered;

void CollectReply(const unsigned char* reply) {
  uint8_t nics = reply[kRecord + 124];
  std::lock_guard<std::mutex> hold(repliesLock);
  discovered.emplace_back(reply, reply + kRecord + 128 + 44 * nics);
}

uint32_t U32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

std::string Hex(const uint8_t* p, size_t n) {
  std::string s;
  char b[4];
  for (size_t i = 0; i < n; i++) snprintf(b, sizeof b, "%02x", p[i]), s += b;
  return s;
}

// Compares a reply's host record with the expected bytes, the magic number aside, and
// names the first differing offset so a failure says which field is wrong.
::testing::AssertionResult RecordMatches(const uint8_t* record, const std::vector<uint8_t>& want) {
  for (size_t i = 0; i < want.size(); i++) {
    if (i >= 104 && i < 108) continue;
    if (record[i] != want[i])
      return ::testing::AssertionFailure()
             << "host record differs at offset " << i << ": got " << Hex(record + (i & ~15u), 16)
             << ", want " << Hex(want.data() + (i & ~15u), std::min<size_t>(16, want.size() - (i & ~15u)));
  }
  return ::testing::AssertionSuccess();
}

class AgentEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* path = getenv("NVLAB_EXPECT");
    std::string error;
    loaded = path && LoadExpectation(path, expect, error);
    if (!loaded) loadError = path ? error : "NVLAB_EXPECT is not set";
    initialized = TVInitialize() == 0;
    TVSetDiscoverTimeout(3);
    TVSetSetTimeout(5);
    TVSetRetryCount(2);
  }
  static void TearDownTestSuite() {
    if (initialized) TVCleanup();
  }
  void SetUp() override {
    ASSERT_TRUE(loaded) << loadError;
    ASSERT_TRUE(initialized) << "TVInitialize failed";
  }

  // Discovers on every connected adapter and returns the reply of the expected host.
  static const std::vector<uint8_t>* Discover() {
    if (!target.empty()) return &target;
    int adapters = TVGetAdpaterCount();
    discoverStart = static_cast<uint32_t>(time(nullptr));
    for (int a = 0; a < adapters; a++) {
      if (!TVIsAdapterConnected(a)) continue;
      std::vector<uint8_t> request(84, 0);
      request[0] = static_cast<uint8_t>(a);
      memset(&request[4], 0xFF, 6);
      request[12] = 1;
      TVPacketList list = nullptr;
      TVWork work{};
      work.request = request.data();
      work.reply = &list;
      work.hook = CollectReply;
      void* cancel = nullptr;
      TVDoWork(&work, &cancel);
    }
    discoverEnd = static_cast<uint32_t>(time(nullptr));
    std::lock_guard<std::mutex> hold(repliesLock);
    for (auto& reply : discovered)
      if (strncmp(reinterpret_cast<const char*>(&reply[kRecord]), expect.hostName.c_str(), 36) == 0)
        target = reply;
    if (target.empty()) return nullptr;
    if (const char* out = getenv("NVLAB_RESULT")) {
      if (FILE* f = fopen(out, "w")) {
        fprintf(f, "magic %u\nreplies %zu\n", U32(&target[kRecord + 104]), discovered.size());
        fclose(f);
      }
    }
    return &target;
  }

  // A request to the discovered host: header copied from its stored reply.
  static std::vector<uint8_t> Request(uint32_t code, size_t size) {
    std::vector<uint8_t> r(size, 0);
    memcpy(&r[0], &target[0], 10);
    r[12] = static_cast<uint8_t>(code);
    return r;
  }

  static std::vector<uint8_t> Exchange(std::vector<uint8_t>& request, size_t replySize,
                                       int& result) {
    std::vector<uint8_t> reply(replySize, 0);
    // Refresh: the stored magic number is preset in the reply, where the host record keeps it.
    constexpr size_t kMagic = kRecord + 104;
    if (request[12] == 9 && reply.size() >= kMagic + 4 && target.size() >= kMagic + 4)
      std::copy_n(target.begin() + kMagic, 4, reply.begin() + kMagic);
    TVWork work{};
    work.request = request.data();
    work.reply = reply.data();
    void* cancel = nullptr;
    result = TVDoWork(&work, &cancel);
    return reply;
  }

  static void ExpectReplyHeader(const std::vector<uint8_t>& reply, uint32_t code) {
    EXPECT_EQ(U32(&reply[0]), U32(&target[0])) << "adapterIndex";
    EXPECT_EQ(Hex(&reply[4], 6), Hex(&target[4], 6)) << "agentMac";
    EXPECT_EQ(U16(&reply[10]), 2) << "frameKind";
    EXPECT_EQ(U32(&reply[12]), code) << "requestCode";
  }

  // An ApplySettings that moves every adapter to another fixed address and renames the host.
  static std::vector<uint8_t> IntrusiveSettings(const char* user, const char* password) {
    uint8_t n = target[kRecord + 124];
    std::vector<uint8_t> r = Request(2, 128 + 44 * n);
    strncpy(reinterpret_cast<char*>(&r[24]), user, 35);
    strncpy(reinterpret_cast<char*>(&r[60]), password, 16);
    memcpy(&r[76], &target[kRecord + 104], 4);
    strncpy(reinterpret_cast<char*>(&r[80]), "INTRUDER", 35);
    memcpy(&r[116], &target[kRecord + 96], 4);
    r[120] = 1;
    r[124] = n;
    for (int i = 0; i < n; i++) {
      uint8_t* nic = &r[128 + 44 * i];
      memcpy(nic, &target[kRecord + 128 + 44 * i], 44);
      nic[7] = 0;
      nic[28] = 15;
      nic[32] = static_cast<uint8_t>(nic[32] + 50);  // lowest octet of the address
    }
    return r;
  }

  static inline Expectation expect;
  static inline bool loaded = false, initialized = false;
  static inline std::string loadError;
  static inline std::vector<uint8_t> target;
  static inline uint32_t discoverStart = 0, discoverEnd = 0;
};

TEST_F(AgentEndToEnd, DiscoverReplyDescribesTheHost) {
  const std::vector<uint8_t>* reply = Discover();
  ASSERT_NE(reply, nullptr) << "no reply from " << expect.hostName << " among "
                            << discovered.size() << " replies";
  const uint8_t* r = reply->data();
  EXPECT_EQ(U16(r + 10), 2) << "frameKind";
  EXPECT_EQ(U32(r + 12), 1u) << "requestCode";
  ASSERT_FALSE(expect.nics.empty());
  EXPECT_EQ(Hex(r + 4, 6), Hex(expect.nics[0].mac, 6)) << "answering adapter's address";
  EXPECT_EQ(U16(r + 24), 0) << "status";
  EXPECT_EQ(r[26], expect.setupState) << "setupState";
  EXPECT_TRUE(RecordMatches(r + kRecord, ExpectedRecord(expect)));
  uint32_t magic = U32(r + kRecord + 104);
  EXPECT_GE(magic, discoverStart - 2);
  EXPECT_LE(magic, discoverEnd + 2);
}

TEST_F(AgentEndToEnd, RefreshCarriesTheSameRecordAndItsOwnTime) {
  ASSERT_NE(Discover(), nullptr);
  std::vector<uint8_t> request = Request(9, 84);
  int result = 0;
  std::vector<uint8_t> reply = Exchange(request, 596, result);
  ASSERT_NE(result, 0) << "TVDoWork found no usable adapter";
  ASSERT_EQ(U16(&reply[24]), 0) << "status";
  ExpectReplyHeader(reply, 9);
  EXPECT_EQ(reply[26], expect.setupState) << "setupState";
  EXPECT_TRUE(RecordMatches(&reply[kRecord], ExpectedRecord(expect)));
  EXPECT_GE(U32(&reply[kRecord + 104]), U32(&target[kRecord + 104]));
}

TEST_F(AgentEndToEnd, PollAnswersWithStatusOnly) {
  ASSERT_NE(Discover(), nullptr);
  std::vector<uint8_t> request = Request(6, 84);
  int result = 0;
  std::vector<uint8_t> reply = Exchange(request, 32, result);
  ASSERT_NE(result, 0);
  ASSERT_EQ(U16(&reply[24]), 0) << "status";
  ExpectReplyHeader(reply, 6);
  EXPECT_EQ(reply[26], 0) << "setupState of a Poll reply";
  EXPECT_EQ(Hex(&reply[27], 5), "0000000000") << "a Poll reply carries no host record";
}

TEST_F(AgentEndToEnd, ApplySettingsFromANonAdministratorIsRefusedWithAFullRecord) {
  ASSERT_NE(Discover(), nullptr);
  // The lab's operator, with its right password: a logon that is no administrator's.
  std::vector<uint8_t> request = IntrusiveSettings("operator", "lab");
  int result = 0;
  std::vector<uint8_t> reply = Exchange(request, 596, result);
  ASSERT_NE(result, 0);
  EXPECT_EQ(U16(&reply[24]), 9) << "status NotAdministrator";
  ExpectReplyHeader(reply, 2);
  EXPECT_EQ(reply[26], expect.setupState) << "setupState";
  EXPECT_TRUE(RecordMatches(&reply[kRecord], ExpectedRecord(expect)))
      << "a refused request must leave name and addresses as they were";
}

TEST_F(AgentEndToEnd, ApplySettingsFromAnUnknownAccountIsRefused) {
  ASSERT_NE(Discover(), nullptr);
  std::vector<uint8_t> request = IntrusiveSettings("nobody-here", "anything");
  int result = 0;
  std::vector<uint8_t> reply = Exchange(request, 596, result);
  ASSERT_NE(result, 0);
  EXPECT_EQ(U16(&reply[24]), 1) << "the host's logon knows no such account: BadLogon";
  EXPECT_TRUE(RecordMatches(&reply[kRecord], ExpectedRecord(expect)));
}

}  // namespace
