#include "protocol/frames.h"

#include <gtest/gtest.h>

namespace {

NicEntry Card(uint8_t dhcp, uint32_t ip, uint32_t mask, uint32_t gateway) {
  NicEntry nic;
  nic.dhcpEnabled = dhcp;
  nic.ipAddress = ip;
  nic.subnetMask = mask;
  nic.gateway = gateway;
  return nic;
}

HostRecord Host(std::vector<NicEntry> nics, uint8_t dnsStatic = 1) {
  HostRecord record;
  record.hostName.assign("SERVER1");
  record.dnsServer = 0xC0A80001;
  record.dnsStatic = dnsStatic;
  record.nicCount = static_cast<uint8_t>(nics.size());
  record.nics = std::move(nics);
  return record;
}

TEST(BuildSettingsBody, UneditedRecordSendsNoNameAndNoChanges) {
  const HostRecord stored = Host({Card(0, 0x0A000002, 0xFFFFFF00, 0x0A000001), Card(1, 0, 0, 0)},
                                 /*dnsStatic=*/0);
  SettingsBody body;
  BuildSettingsBody(stored, stored, body);
  EXPECT_TRUE(body.newHostName.empty());
  ASSERT_EQ(body.nics.size(), 2u);
  EXPECT_EQ(body.nicCount, 2);
  EXPECT_EQ(body.nics[0].changeMask, 0u);
  EXPECT_EQ(body.nics[1].changeMask, 0u);
  EXPECT_EQ(body.dnsServer, 0xC0A80001u);
}

TEST(BuildSettingsBody, DhcpToStaticSendsEverythingWithTypedValues) {
  const HostRecord stored = Host({Card(1, 0x0A000002, 0xFFFFFF00, 0x0A000001)}, 0);
  HostRecord edited = stored;
  edited.nics[0] = Card(0, 0xC6336407, 0xFFFF0000, 0xC6336401);
  edited.dnsStatic = 1;
  SettingsBody body;
  BuildSettingsBody(stored, edited, body);
  EXPECT_EQ(body.nics[0].changeMask, kChangeAll);
  EXPECT_EQ(body.nics[0].ipAddress, 0xC6336407u);
  EXPECT_EQ(body.nics[0].subnetMask, 0xFFFF0000u);
  EXPECT_EQ(body.nics[0].gateway, 0xC6336401u);
  EXPECT_EQ(body.dnsStatic, 1);
}

TEST(BuildSettingsBody, StaticToDhcpMarksModeOrEverythingWhenDnsModeChangesToo) {
  const HostRecord stored = Host({Card(0, 0x0A000002, 0xFFFFFF00, 0x0A000001)}, 1);
  HostRecord edited = stored;
  edited.nics[0].dhcpEnabled = 1;
  SettingsBody body;
  BuildSettingsBody(stored, edited, body);
  EXPECT_EQ(body.nics[0].changeMask, kChangeMode);

  edited.dnsStatic = 0;
  BuildSettingsBody(stored, edited, body);
  EXPECT_EQ(body.nics[0].changeMask, kChangeAll);
}

TEST(BuildSettingsBody, SingleFieldChangesMarkOnlyTheirCard) {
  const HostRecord stored = Host({Card(0, 0x0A000002, 0xFFFFFF00, 0x0A000001),
                                  Card(0, 0x0A000102, 0xFFFFFF00, 0x0A000101)});
  HostRecord edited = stored;
  edited.nics[1].subnetMask = 0xFFFF0000;
  SettingsBody body;
  BuildSettingsBody(stored, edited, body);
  EXPECT_EQ(body.nics[0].changeMask, 0u);
  EXPECT_EQ(body.nics[1].changeMask, kChangeMask);

  edited.nics[1].ipAddress = 0x0A000103;
  edited.nics[1].gateway = 0;
  BuildSettingsBody(stored, edited, body);
  EXPECT_EQ(body.nics[1].changeMask, kChangeAddress | kChangeMask | kChangeGateway);
}

TEST(BuildSettingsBody, HostNameTravelsOnlyWhenItDiffersExactly) {
  const HostRecord stored = Host({Card(0, 1, 2, 3)});
  HostRecord edited = stored;
  edited.hostName.assign("server1");  // case counts
  SettingsBody body;
  BuildSettingsBody(stored, edited, body);
  EXPECT_EQ(body.newHostName.str(), "server1");
}

TEST(BuildSettingsBody, DnsStaticIsSentAsZeroOrOne) {
  const HostRecord stored = Host({Card(0, 1, 2, 3)}, 1);
  HostRecord edited = stored;
  edited.dnsStatic = 7;
  SettingsBody body;
  BuildSettingsBody(stored, edited, body);
  EXPECT_EQ(body.dnsStatic, 1);
  EXPECT_EQ(body.nics[0].changeMask, 0u);
}

TEST(BuildSettingsBody, CardUnknownToTheStoredRecordGetsEveryBit) {
  // After a refused Apply the working copy holds the agent's reply, which may list more
  // cards than the stored record.
  const HostRecord stored = Host({Card(0, 1, 2, 3)});
  HostRecord edited = Host({Card(0, 1, 2, 3), Card(1, 0, 0, 0)});
  SettingsBody body;
  BuildSettingsBody(stored, edited, body);
  ASSERT_EQ(body.nics.size(), 2u);
  EXPECT_EQ(body.nics[0].changeMask, 0u);
  EXPECT_EQ(body.nics[1].changeMask, kChangeAll);
}

}  // namespace
