// nvctl's change laid over a stored record, then the request built by the code the dialog
// console uses: the change bits must be those of the panel's Apply.
#include "console/nvctl/settings_change.h"

#include <gtest/gtest.h>

#include "console/core/action_requests.h"
#include "console/nvctl/outcome.h"
#include "protocol/field_io.h"
#include "tests/protocol/sample_records.h"

namespace {

SettingsChange Change(ChangeText text) {
  SettingsChange change;
  ChangeError error;
  EXPECT_TRUE(ParseChange(text, change, error)) << error.message;
  return change;
}

// The body of the request nvctl sends for `change` on `stored`, decoded back from its bytes.
SettingsBody SentBody(const HostRecord& stored, const SettingsChange& change,
                      std::size_t answeringSlot = 0) {
  HostRecord edited;
  std::string error;
  EXPECT_TRUE(ApplyChangeToRecord(stored, stored.nics[answeringSlot], change, edited, error)) << error;
  const std::vector<uint8_t> reply = SampleReply(stored);
  const std::vector<uint8_t> request =
      BuildApplyRequest(reply.data(), reply.size(), stored, edited, {"Administrator", "pw"});
  EXPECT_EQ(request.size(), kSettingsRequestBaseLength + kNicEntryLength * stored.nics.size());
  SettingsBody body;
  EXPECT_TRUE(DecodeSettingsBody(request.data(), request.size(), body));
  return body;
}

TEST(ParseDottedQuad, OnlyPlainDecimalQuads) {
  EXPECT_EQ(ParseDottedQuad("192.168.0.1"), 0xC0A80001u);
  EXPECT_EQ(ParseDottedQuad("0.0.0.0"), 0u);
  for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "010.0.0.1", "0x1.2.3.4", "1.2.3.256",
                          "1..2.3", "1.2.3.4 ", " 1.2.3.4", "1.2.3.-4", "1.2.3.4/24"}) {
    EXPECT_FALSE(ParseDottedQuad(bad).has_value()) << bad;
  }
}

TEST(ParseMaskOrPrefix, PrefixesAndContiguousMasks) {
  EXPECT_EQ(ParseMaskOrPrefix("24"), 0xFFFFFF00u);
  EXPECT_EQ(ParseMaskOrPrefix("/1"), 0x80000000u);
  EXPECT_EQ(ParseMaskOrPrefix("32"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseMaskOrPrefix("255.255.254.0"), 0xFFFFFE00u);
  for (const char* bad : {"0", "33", "/", "255.0.255.0", "0.0.0.0", "0.255.255.255", "x"}) {
    EXPECT_FALSE(ParseMaskOrPrefix(bad).has_value()) << bad;
  }
}

TEST(SettingsRequest, FixedAddressOnADhcpAdapterMarksOnlyThatAdapter) {
  HostRecord stored = SampleRecord(3);
  stored.nics[1].dhcpEnabled = 1;
  const SettingsBody body =
      SentBody(stored, Change({"2", "", "static", "10.9.8.7/16", "", "10.9.0.1", "", ""}));
  ASSERT_EQ(body.nics.size(), 3u);
  EXPECT_EQ(body.nics[0].changeMask, 0u);
  EXPECT_EQ(body.nics[1].changeMask, kChangeAll);
  EXPECT_EQ(body.nics[2].changeMask, 0u);
  EXPECT_EQ(body.nics[1].ipAddress, 0x0A090807u);
  EXPECT_EQ(body.nics[1].subnetMask, 0xFFFF0000u);
  EXPECT_EQ(body.nics[1].gateway, 0x0A090001u);
  EXPECT_EQ(body.nics[1].dhcpEnabled, 0);
  EXPECT_TRUE(body.newHostName.empty());
}

TEST(SettingsRequest, OnlyWhatChangedIsMarked) {
  const HostRecord stored = SampleRecord(2);
  // Same address, another mask; the gateway kept as received.
  SettingsBody body = SentBody(stored, Change({"1", "", "static", "192.168.0.10/16", "", "", "", ""}));
  EXPECT_EQ(body.nics[0].changeMask, kChangeMask);
  EXPECT_EQ(body.nics[0].gateway, stored.nics[0].gateway);
  EXPECT_EQ(body.nics[1].changeMask, 0u);
  // Back to DHCP: the mode bit only, the address fields as last received.
  body = SentBody(stored, Change({"", "00:1b:21:3c:4d:51", "dhcp", "", "", "", "", ""}));
  EXPECT_EQ(body.nics[1].changeMask, kChangeMode);
  EXPECT_EQ(body.nics[1].ipAddress, stored.nics[1].ipAddress);
  // A new name alone: in the body, no adapter marked.
  body = SentBody(stored, Change({"", "", "", "", "", "", "", "SRV-BETA"}));
  EXPECT_EQ(body.newHostName.str(), "SRV-BETA");
  EXPECT_EQ(body.nics[0].changeMask | body.nics[1].changeMask, 0u);
}

TEST(SettingsRequest, DnsModeChangeRewritesEveryDhcpAdapter) {
  HostRecord stored = SampleRecord(2);
  stored.dnsStatic = 0;
  stored.nics[0].dhcpEnabled = 1;
  const SettingsBody body = SentBody(stored, Change({"", "", "", "", "", "", "10.0.0.53", ""}));
  EXPECT_EQ(body.dnsStatic, 1);
  EXPECT_EQ(body.dnsServer, 0x0A000035u);
  EXPECT_EQ(body.nics[0].changeMask, kChangeAll);
  EXPECT_EQ(body.nics[1].changeMask, 0u);
}

TEST(SettingsRequest, AdapterChoiceAndRefusals) {
  const HostRecord stored = SampleRecord(3);
  HostRecord edited;
  std::string error;
  // Several adapters and none named: the one the host answered on.
  ASSERT_TRUE(ApplyChangeToRecord(stored, stored.nics[2], Change({"", "", "dhcp", "", "", "", "", ""}),
                                  edited, error));
  EXPECT_EQ(edited.nics[2].dhcpEnabled, 1);
  EXPECT_EQ(edited.nics[0].dhcpEnabled, 0);
  // ... unless the answering adapter is not in the record.
  NicEntry stranger;
  stranger.mac = {1, 2, 3, 4, 5, 6};
  EXPECT_FALSE(ApplyChangeToRecord(stored, stranger, Change({"", "", "dhcp", "", "", "", "", ""}),
                                   edited, error));
  EXPECT_NE(error.find("--nic"), std::string::npos);
  EXPECT_FALSE(ApplyChangeToRecord(stored, stored.nics[0], Change({"4", "", "dhcp", "", "", "", "", ""}),
                                   edited, error));
  EXPECT_NE(error.find("no adapter NIC4"), std::string::npos) << error;
  EXPECT_FALSE(ApplyChangeToRecord(stored, stored.nics[0],
                                   Change({"", "aa:bb:cc:dd:ee:ff", "dhcp", "", "", "", "", ""}), edited, error));
  // Automatic DNS needs a DHCP adapter.
  EXPECT_FALSE(ApplyChangeToRecord(stored, stored.nics[0], Change({"", "", "", "", "", "", "auto", ""}),
                                   edited, error));
  EXPECT_NE(error.find("DHCP"), std::string::npos);
  // A record whose nicCount claims more entries than it holds: only those held count.
  HostRecord cut = stored;
  cut.nicCount = 9;
  EXPECT_FALSE(ApplyChangeToRecord(cut, cut.nics[0], Change({"5", "", "dhcp", "", "", "", "", ""}),
                                   edited, error));
}

TEST(SettingsRequest, LinuxHostGetsNoUserNameWindowsHostDoes) {
  HostRecord stored = SampleRecord(1);
  const std::vector<uint8_t> reply = SampleReply(stored);
  HostRecord edited = stored;
  edited.hostName.assign("OTHER");
  std::vector<uint8_t> request =
      BuildApplyRequest(reply.data(), reply.size(), stored, edited, {"Administrator", "pw"});
  EXPECT_EQ(request[FrameOffset::UserName], 'A');
  stored.osInfo.osFamily = 2;
  request = BuildApplyRequest(reply.data(), reply.size(), stored, edited, {"Administrator", "pw"});
  for (std::size_t i = 0; i < kUserNameLength; ++i) EXPECT_EQ(request[FrameOffset::UserName + i], 0);
  EXPECT_EQ(request[FrameOffset::Password], 'p');
}

TEST(DescribeSettingsBody, ChangesInWords) {
  EXPECT_EQ(ChangeMaskWords(0), "none");
  EXPECT_EQ(ChangeMaskWords(kChangeAll), "mode, address, mask, gateway");
  EXPECT_EQ(ChangeMaskWords(kChangeMask | kChangeGateway), "mask, gateway");
  const HostRecord stored = SampleRecord(2);
  HostRecord edited;
  std::string error;
  ASSERT_TRUE(ApplyChangeToRecord(stored, stored.nics[0],
                                  Change({"2", "", "static", "192.168.0.99/24", "", "", "", "SRV-B"}),
                                  edited, error));
  SettingsBody body;
  BuildSettingsBody(stored, edited, body);
  EXPECT_EQ(DescribeSettingsBody(body, stored),
            "  name: SRV-ALPHA -> SRV-B\n"
            "  dns: fixed 192.168.0.1 (unchanged)\n"
            "  NIC1 00:1B:21:3C:4D:50: none\n"
            "  NIC2 00:1B:21:3C:4D:51: address -> fixed 192.168.0.99 mask 255.255.255.0 gateway "
            "192.168.0.1\n");
}

}  // namespace
