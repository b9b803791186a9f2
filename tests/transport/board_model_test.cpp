// Host-facing helpers of the DLLs: board model from SMBIOS, the answering adapter's entry,
// kept discovery replies and the adapter selection override.
#include <gtest/gtest.h>

#include <cstring>

#include "protocol/byte_order.h"
#include "transport/client/nic_lookup.h"
#include "transport/client/packet_list.h"
#include "transport/core/smbios.h"
#include "transport/platform/adapters.h"

namespace tavi {
namespace {

// A raw SMBIOS table: 8-byte header, then structures (type, formatted bytes, strings).
class Smbios {
 public:
  Smbios& Add(uint8_t type, std::vector<uint8_t> formatted, std::vector<std::string> strings) {
    const std::size_t start = table_.size();
    table_.push_back(type);
    table_.push_back(static_cast<uint8_t>(formatted.size() + 4));
    table_.push_back(0);
    table_.push_back(0);
    table_.insert(table_.end(), formatted.begin(), formatted.end());
    for (const auto& s : strings) {
      table_.insert(table_.end(), s.begin(), s.end());
      table_.push_back(0);
    }
    if (strings.empty()) table_.push_back(0);
    table_.push_back(0);
    (void)start;
    return *this;
  }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> raw(8, 0);
    StoreU32(raw.data() + 4, static_cast<uint32_t>(table_.size()));
    raw.insert(raw.end(), table_.begin(), table_.end());
    return raw;
  }

 private:
  std::vector<uint8_t> table_;
};

std::string Product(const std::vector<uint8_t>& raw) {
  return BaseboardProduct(raw.data(), raw.size());
}

TEST(BoardModel, BaseboardProductAfterOtherStructures) {
  const auto raw = Smbios()
                       .Add(0, {1, 2, 0, 0}, {"Vendor BIOS", "1.0"})
                       .Add(1, {1, 2, 3, 4}, {"Maker", "System"})
                       .Add(2, {1, 2, 3}, {"Orvane", "RX300 S7   ", "Rev 1"})
                       .Add(127, {}, {})
                       .Bytes();
  EXPECT_EQ(Product(raw), "RX300 S7");
}

TEST(BoardModel, NoBaseboardOrNoNameGivesNothing) {
  EXPECT_EQ(Product(Smbios().Add(1, {1, 2}, {"Maker", "System"}).Add(127, {}, {}).Bytes()), "");
  EXPECT_EQ(Product(Smbios().Add(2, {1, 0, 0}, {"Orvane"}).Bytes()), "") << "string 0";
  EXPECT_EQ(Product(Smbios().Add(2, {1, 5, 0}, {"Orvane"}).Bytes()), "") << "past the set";
  EXPECT_EQ(Product(Smbios().Add(2, {1}, {"Orvane"}).Bytes()), "") << "too short for field";
  EXPECT_EQ(Product(Smbios().Add(2, {1, 2}, {"Orvane", "   "}).Bytes()), "") << "blank";
  EXPECT_EQ(BaseboardProduct(nullptr, 100), "");
}

TEST(BoardModel, BrokenTablesNeverReadOutside) {
  auto raw = Smbios().Add(2, {1, 2}, {"Orvane", "Board"}).Bytes();
  EXPECT_EQ(Product(raw), "Board");
  // Every cut of the table, and a header that claims more than there is.
  for (std::size_t n = 0; n < raw.size(); ++n) {
    std::vector<uint8_t> cut(raw.begin(), raw.begin() + n);
    if (cut.size() >= 8) StoreU32(cut.data() + 4, 0xFFFF);
    EXPECT_EQ(Product(cut), "") << "cut at " << n;
  }
  auto bad = raw;
  bad[9] = 0xF0;  // formatted length past the end
  EXPECT_EQ(Product(bad), "");
  bad[9] = 2;  // shorter than a structure header
  EXPECT_EQ(Product(bad), "");
}

TEST(BoardModel, ModelNameIsCutToFifteenCharactersAndTerminated) {
  char out[16];
  std::memset(out, 'x', sizeof out);
  EXPECT_TRUE(CopyModelName("PRIMERGY RX2540 M5", 15, out, sizeof out));
  EXPECT_STREQ(out, "PRIMERGY RX2540");
  std::memset(out, 'x', sizeof out);
  EXPECT_FALSE(CopyModelName("", 15, out, sizeof out));
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[15], 0);
  EXPECT_FALSE(CopyModelName("A", 15, out, 1));
}

std::vector<uint8_t> ReplyWithNics(std::size_t bufferLength, uint8_t nicCount,
                                   const std::vector<uint8_t>& answeringMac) {
  std::vector<uint8_t> reply(bufferLength, 0);
  std::memcpy(reply.data() + 4, answeringMac.data(), 6);
  reply[27 + 124] = nicCount;
  for (std::size_t i = 0; i < nicCount && 155 + 44 * (i + 1) <= bufferLength; ++i) {
    uint8_t* nic = reply.data() + 155 + 44 * i;
    nic[0] = 0x02;
    nic[5] = static_cast<uint8_t>(i);
    std::snprintf(reinterpret_cast<char*>(nic + 8), 20, "NIC%zu", i + 1);
  }
  return reply;
}

TEST(AnsweringNic, FindsTheEntryWithTheReplyMac) {
  const auto reply = ReplyWithNics(596, 3, {0x02, 0, 0, 0, 0, 2});
  const uint8_t* nic = FindAnsweringNic(reply.data(), reply.size());
  ASSERT_NE(nic, nullptr);
  EXPECT_STREQ(reinterpret_cast<const char*>(nic + 8), "NIC3");
}

TEST(AnsweringNic, NoMatchZeroMacShortReplyOrCountBeyondTheBuffer) {
  EXPECT_EQ(FindAnsweringNic(ReplyWithNics(596, 3, {0x02, 0, 0, 0, 0, 7}).data(), 596), nullptr);
  EXPECT_EQ(FindAnsweringNic(ReplyWithNics(596, 3, {0, 0, 0, 0, 0, 0}).data(), 596), nullptr);
  EXPECT_EQ(FindAnsweringNic(ReplyWithNics(154, 0, {0x02, 0, 0, 0, 0, 0}).data(), 154), nullptr);
  // nicCount 255 in a 596-byte buffer: only the ten entries inside are looked at.
  auto reply = ReplyWithNics(596, 255, {0x02, 0, 0, 0, 0, 9});
  EXPECT_NE(FindAnsweringNic(reply.data(), reply.size()), nullptr);
  reply = ReplyWithNics(596, 255, {0x02, 0, 0, 0, 0, 10});
  EXPECT_EQ(FindAnsweringNic(reply.data(), reply.size()), nullptr);
  EXPECT_EQ(FindAnsweringNic(nullptr, 596), nullptr);
}

TEST(PacketList, KeepsArrivalOrderPadsToAConsoleBufferAndFreesAll) {
  void* head = nullptr;
  const std::vector<uint8_t> a(40, 1), b(700, 2);
  const uint8_t* ka = KeepPacket(&head, a.data(), a.size());
  const uint8_t* kb = KeepPacket(&head, b.data(), b.size());
  ASSERT_NE(ka, nullptr);
  ASSERT_NE(kb, nullptr);
  EXPECT_EQ(KeptPacketLength(ka), 596u);
  EXPECT_EQ(KeptPacketLength(kb), 700u);
  EXPECT_EQ(ka[39], 1);
  EXPECT_EQ(ka[595], 0);
  EXPECT_EQ(KeptPacketLength(a.data()), 0u);
  FreePackets(&head);
  EXPECT_EQ(head, nullptr);
  EXPECT_EQ(KeptPacketLength(ka), 0u);
  FreePackets(&head);  // empty list
  FreePackets(nullptr);
}

TEST(AdapterSelection, NamesMatchLabelDeviceOrGuidIgnoringCase) {
  AdapterInfo a;
  a.label = "tvt0";
  a.device = "\\Device\\NPF_{00000005-0000-0000-0000-4E6574446576}";
  a.guid = "{00000005-0000-0000-0000-4E6574446576}";
  EXPECT_TRUE(AdapterSelectedBy(a, nullptr));
  EXPECT_TRUE(AdapterSelectedBy(a, ""));
  EXPECT_TRUE(AdapterSelectedBy(a, "eth1,TVT0"));
  EXPECT_TRUE(AdapterSelectedBy(a, "{00000005-0000-0000-0000-4e6574446576}"));
  EXPECT_FALSE(AdapterSelectedBy(a, "tvt1"));
  EXPECT_FALSE(AdapterSelectedBy(a, ","));
  EXPECT_FALSE(AdapterSelectedBy(a, "tvt"));
}

}  // namespace
}  // namespace tavi
