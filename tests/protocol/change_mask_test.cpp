#include <gtest/gtest.h>

#include "protocol/frames.h"
#include "sample_records.h"

namespace {

const NicEntry kStatic = SampleNic(0, false, 0x0A000005, 0xFF000000, 0x0A000001);
const NicEntry kDhcp = SampleNic(0, true, 0x0A000005, 0xFF000000, 0x0A000001);

TEST(ChangeMask, StaticAdapterGetsOneBitPerChangedField) {
  NicEntry n = kStatic;
  EXPECT_EQ(ComputeChangeMask(kStatic, 1, n, 1), 0u);
  n.subnetMask = 0xFFFF0000;
  EXPECT_EQ(ComputeChangeMask(kStatic, 1, n, 1), 4u);
  n.ipAddress = 0x0A000006;
  n.gateway = 0x0A0000FE;
  EXPECT_EQ(ComputeChangeMask(kStatic, 1, n, 1), 14u);
  // DNS mode alone does not concern a static adapter.
  EXPECT_EQ(ComputeChangeMask(kStatic, 0, kStatic, 1), 0u);
}

TEST(ChangeMask, LeavingDhcpOrChangingDnsModeOfADhcpAdapterIsAFullChange) {
  EXPECT_EQ(ComputeChangeMask(kDhcp, 0, kStatic, 0), 15u);
  EXPECT_EQ(ComputeChangeMask(kDhcp, 0, kDhcp, 1), 15u);
  EXPECT_EQ(ComputeChangeMask(kDhcp, 1, kDhcp, 0), 15u);
  // Static to DHCP: the mode bit, address fields as last received.
  EXPECT_EQ(ComputeChangeMask(kStatic, 0, kDhcp, 0), 1u);
  EXPECT_EQ(ComputeChangeMask(kStatic, 1, kDhcp, 0), 15u);
  EXPECT_EQ(ComputeChangeMask(kDhcp, 0, kDhcp, 0), 0u);
}

TEST(ChangeMask, DnsStaticCountsAsSetWhenNonZeroOnBothSides) {
  // A stored byte of 2 means "set by hand" as 1 does; it is no DNS-mode change.
  EXPECT_EQ(ComputeChangeMask(kDhcp, 2, kDhcp, 1), 0u);
}

TEST(SettingsBodyBuild, PerAdapterBitsNameAndDnsMode) {
  HostRecord stored = SampleRecord(3);
  stored.nics[0].dhcpEnabled = 1;
  stored.nics[2].dhcpEnabled = 1;
  stored.dnsStatic = 0;
  HostRecord edited = stored;
  edited.hostName.assign("srv-alpha");  // case differs: a new name
  edited.nics[0].dhcpEnabled = 0;       // DHCP to static
  edited.nics[1].subnetMask = 0xFFFF0000;
  edited.dnsStatic = 5;  // sent as 1; every DHCP adapter must rewrite its DNS
  SettingsBody body;
  BuildSettingsBody(stored, edited, body);
  EXPECT_EQ(body.newHostName.str(), "srv-alpha");
  EXPECT_EQ(body.dnsStatic, 1);
  ASSERT_EQ(body.nics.size(), 3u);
  EXPECT_EQ(body.nics[0].changeMask, 15u);
  EXPECT_EQ(body.nics[1].changeMask, 4u);
  EXPECT_EQ(body.nics[2].changeMask, 15u);
}

TEST(SettingsBodyBuild, NameComparedAsTextAndAlwaysTerminated) {
  HostRecord stored = SampleRecord(0);
  HostRecord edited = stored;
  stored.hostName.bytes[30] = 'z';  // junk after the terminator
  SettingsBody body;
  BuildSettingsBody(stored, edited, body);
  EXPECT_TRUE(body.newHostName.empty());

  edited.hostName.bytes.fill('Q');  // 36 characters, no terminator
  BuildSettingsBody(stored, edited, body);
  EXPECT_EQ(body.newHostName.str(), std::string(35, 'Q'));
  EXPECT_EQ(body.newHostName.bytes[35], '\0');
}

TEST(SettingsBodyBuild, CountFollowsTheEntriesReallyCarried) {
  const HostRecord stored = SampleRecord(2);
  HostRecord edited = SampleRecord(4);
  // Entries without a stored counterpart are sent whole.
  SettingsBody body;
  BuildSettingsBody(stored, edited, body);
  ASSERT_EQ(body.nicCount, 4);
  EXPECT_EQ(body.nics[1].changeMask, 0u);
  EXPECT_EQ(body.nics[2].changeMask, 15u);
  EXPECT_EQ(body.nics[3].changeMask, 15u);

  // A record decoded from a full 596-byte buffer that claims 12 adapters carries 10.
  edited.nicCount = 12;
  BuildSettingsBody(stored, edited, body);
  EXPECT_EQ(body.nicCount, 4);
  EXPECT_EQ(body.nics.size(), 4u);
  edited.nicCount = 1;
  BuildSettingsBody(stored, edited, body);
  EXPECT_EQ(body.nicCount, 1);
  EXPECT_EQ(body.nics.size(), 1u);
}

}  // namespace
