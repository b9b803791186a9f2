// Adapter slots and the network part of the host record.
#include <gtest/gtest.h>

#include <cstdio>

#include "agent/nic_info.h"
#include "fake_system.h"

namespace {

std::string Guid(int n) {
  char text[64];
  std::snprintf(text, sizeof text, "{6E657476-616E-6500-0000-%012d}", n);
  return text;
}

FakeAdapter Adapter(ULONG index, const char* ip, bool dhcp = false) {
  FakeAdapter a;
  a.index = index;
  a.guid = Guid(static_cast<int>(index));
  a.mac[5] = static_cast<uint8_t>(index);
  a.ip = ip;
  a.mask = "255.255.255.0";
  a.dhcp = dhcp;
  return a;
}

class NicInfoTest : public AgentTest {
 protected:
  void TearDown() override {
    for (const std::string& path : keys_) DeleteKeyTree(path);
    AgentTest::TearDown();
  }
  std::string Key(const FakeAdapter& a) {
    keys_.push_back(InterfaceKeyPath(a.guid));
    CreateKey(keys_.back());
    return keys_.back();
  }
  std::vector<std::string> keys_;
};

TEST_F(NicInfoTest, SlotsFollowAscendingInterfaceIndex) {
  FakeNetwork net;
  net.adapters = {Adapter(12, "198.51.100.12"), Adapter(3, "198.51.100.3"),
                  Adapter(7, "198.51.100.7")};
  net.dns = "198.51.100.53";
  InstallFakeNetwork(net);
  HostRecord record;
  CollectNicInfo(record);
  ASSERT_EQ(record.nicCount, 3);
  ASSERT_EQ(record.nics.size(), 3u);
  const char* names[] = {"NIC1", "NIC2", "NIC3"};
  const uint8_t macs[] = {3, 7, 12};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(record.nics[i].nicName.str(), names[i]);
    EXPECT_EQ(record.nics[i].mac[5], macs[i]);
    EXPECT_EQ(record.nics[i].ipAddress, 0xC6336400u + macs[i]);
  }
  EXPECT_EQ(record.dnsServer, 0xC6336435u);
  EXPECT_EQ(record.dnsStatic, 1);  // static adapters only: no NameServer is read

  IP_INTERFACE_INFO* table = ReadInterfaceTable();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(FindInterfacePosition(table, 3), 0);
  EXPECT_EQ(FindInterfacePosition(table, 12), 2);
  EXPECT_EQ(FindInterfacePosition(table, 4), kNoSlot);
  FreeInterfaceTable(table);
}

TEST_F(NicInfoTest, AddressGatewayAndMissingAdapterRules) {
  FakeNetwork net;
  FakeAdapter noAddress = Adapter(2, "0.0.0.0");
  noAddress.mask = "0.0.0.0";
  FakeAdapter gateways = Adapter(4, "198.51.100.4");
  gateways.gateways = {"", "198.51.100.254", "198.51.100.1"};
  FakeAdapter allEmpty = Adapter(5, "");
  allEmpty.gateways = {"", ""};
  FakeAdapter undescribed = Adapter(6, "198.51.100.6");
  undescribed.inAdapterList = false;
  net.adapters = {noAddress, gateways, allEmpty, undescribed};
  InstallFakeNetwork(net);
  HostRecord record;
  CollectNicInfo(record);
  ASSERT_EQ(record.nicCount, 4);
  EXPECT_EQ(record.nics[0].ipAddress, 0u);
  EXPECT_EQ(record.nics[1].gateway, 0xC63364FEu);  // first non-empty entry
  EXPECT_EQ(record.nics[2].ipAddress, 0u);          // empty text: no address
  EXPECT_EQ(record.nics[2].gateway, 0u);
  // A slot whose adapter cannot be described stays all zero.
  uint8_t encoded[44];
  EncodeNicEntry(record.nics[3], encoded);
  EXPECT_EQ(std::vector<uint8_t>(encoded, encoded + 44), std::vector<uint8_t>(44, 0));
}

TEST_F(NicInfoTest, DnsStaticOnlyWhenEveryDhcpAdapterHasItsOwnServer) {
  FakeNetwork net;
  FakeAdapter withServer = Adapter(1, "198.51.100.1", true);
  FakeAdapter without = Adapter(2, "198.51.100.2", true);
  net.adapters = {withServer, without};
  InstallFakeNetwork(net);
  SetStringValue(Key(withServer), "NameServer", REG_SZ, "198.51.100.53");
  const std::string withoutKey = Key(without);

  HostRecord record;
  CollectNicInfo(record);
  EXPECT_EQ(record.dnsStatic, 0);

  SetStringValue(withoutKey, "NameServer", REG_SZ, "198.51.100.54");
  CollectNicInfo(record);
  EXPECT_EQ(record.dnsStatic, 1);

  SetStringValue(withoutKey, "NameServer", REG_SZ, "");
  CollectNicInfo(record);
  EXPECT_EQ(record.dnsStatic, 0);
}

TEST_F(NicInfoTest, TableCountIsCheckedAgainstItsBufferAndTheReplyCapacity) {
  FakeNetwork net;
  net.adapters = {Adapter(1, "198.51.100.1")};
  net.interfaceClaimExtra = 1000;  // a table that claims more entries than it carries
  InstallFakeNetwork(net);
  IP_INTERFACE_INFO* table = ReadInterfaceTable();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(InterfaceCount(table), 1);
  FreeInterfaceTable(table);

  FakeNetwork many;
  for (ULONG i = 1; i <= 60; ++i) many.adapters.push_back(Adapter(i, "198.51.100.9"));
  InstallFakeNetwork(many);
  HostRecord record;
  CollectNicInfo(record);
  EXPECT_EQ(record.nicCount, kAgentNicCapacity);
  EXPECT_EQ(record.nics.size(), kAgentNicCapacity);
  CollectNicInfo(record, 10);
  EXPECT_EQ(record.nics.size(), 10u);
}

TEST_F(NicInfoTest, RealIpHelperGivesConsistentSlots) {
  HostRecord record;
  CollectNicInfo(record);
  IP_INTERFACE_INFO* table = ReadInterfaceTable();
  EXPECT_EQ(record.nicCount, InterfaceCount(table));
  for (LONG i = 1; table != nullptr && i < table->NumAdapters; ++i)
    EXPECT_LT(table->Adapter[i - 1].Index, table->Adapter[i].Index);
  for (std::size_t i = 0; i < record.nics.size(); ++i) {
    if (!record.nics[i].nicName.empty()) {
      EXPECT_EQ(record.nics[i].nicName.str(), "NIC" + std::to_string(i + 1));
    }
  }
  FreeInterfaceTable(table);
}

}  // namespace
