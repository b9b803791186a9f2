// The agent's events as the log receives them: identifier, level and insertion strings byte
// for byte, and the escaping of whatever an attacker puts into a request's text fields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent/audit_text.h"
#include "protocol/frames.h"

namespace {

const uint8_t kConsole[6] = {0x02, 0x00, 0x5E, 0x10, 0xA0, 0xFF};

NicEntry Nic(uint8_t last, const char* name, uint8_t dhcp, uint32_t ip, uint32_t mask,
             uint32_t gateway) {
  NicEntry nic;
  nic.mac = {0x00, 0x1B, 0x21, 0x00, 0x00, last};
  nic.nicName.assign(name);
  nic.dhcpEnabled = dhcp;
  nic.ipAddress = ip;
  nic.subnetMask = mask;
  nic.gateway = gateway;
  return nic;
}

HostRecord Host() {
  HostRecord host;
  host.hostName.assign("SRV-01");
  host.dnsServer = 0xC6336435;  // 198.51.100.53
  host.dnsStatic = 1;
  host.nics = {Nic(0x0A, "eth0", 0, 0xC633640A, 0xFFFFFF00, 0xC6336401),
               Nic(0x0B, "eth1", 1, 0, 0, 0)};
  host.nicCount = 2;
  return host;
}

std::vector<std::string> Strings(std::initializer_list<const char*> list) {
  return std::vector<std::string>(list.begin(), list.end());
}

TEST(AuditEvents, SettingsRequestNamesConsoleAccountStatusAndEveryChange) {
  HostRecord before = Host();
  HostRecord after = Host();
  after.hostName.assign("SRV-02");
  after.dnsServer = 0xCB007135;  // 203.0.113.53
  after.nics[0].ipAddress = 0xC633640B;
  after.nics[1].dhcpEnabled = 0;
  after.nics[1].ipAddress = 0xCB007114;
  after.nics[1].subnetMask = 0xFFFFFF80;
  const AgentEvent event = SettingsRequestEvent(kConsole, "Administrator", before, after, 0);
  EXPECT_EQ(event.id, 1300u);
  EXPECT_EQ(event.level, EventLevel::Information);
  EXPECT_EQ(event.strings,
            Strings({"02-00-5E-10-A0-FF", "\"Administrator\"", "0 (done)",
                     "host name \"SRV-01\" -> \"SRV-02\"\r\n"
                     "DNS server 198.51.100.53 (static) -> 203.0.113.53 (static)\r\n"
                     "adapter 00-1B-21-00-00-0A \"eth0\" 198.51.100.10 mask 255.255.255.0 gateway "
                     "198.51.100.1 -> 198.51.100.11 mask 255.255.255.0 gateway 198.51.100.1\r\n"
                     "adapter 00-1B-21-00-00-0B \"eth1\" DHCP -> 203.0.113.20 mask "
                     "255.255.255.128 gateway 0.0.0.0"}));
}

TEST(AuditEvents, AdaptersAreMatchedByMacNotBySlot) {
  HostRecord before = Host();
  HostRecord after = Host();
  std::swap(after.nics[0], after.nics[1]);  // the interface table reordered: nothing changed
  EXPECT_EQ(DescribeChanges(before, after), "no change");
  after.nics.pop_back();
  after.nics.push_back(Nic(0x0C, "eth2", 1, 0, 0, 0));
  EXPECT_EQ(DescribeChanges(before, after),
            "adapter 00-1B-21-00-00-0C \"eth2\" appeared: DHCP\r\n"
            "adapter 00-1B-21-00-00-0A \"eth0\" went away");
}

TEST(AuditEvents, RefusedAndFailedRequestsAreWarnings) {
  const HostRecord host = Host();
  EXPECT_EQ(SettingsRequestEvent(kConsole, "guest", host, host, Status::BadLogon).level,
            EventLevel::Warning);
  EXPECT_EQ(SettingsRequestEvent(kConsole, "guest", host, host, Status::BadLogon).strings[2],
            "1 (logon refused)");
  const AgentEvent restart = RestartRequestEvent(kConsole, "operator", Status::NotAdministrator);
  EXPECT_EQ(restart.id, 1302u);
  EXPECT_EQ(restart.level, EventLevel::Warning);
  EXPECT_EQ(restart.strings,
            Strings({"02-00-5E-10-A0-FF", "\"operator\"", "9 (not an administrator)"}));
  // A status this build has no text for still shows its number.
  EXPECT_EQ(RestartRequestEvent(kConsole, "x", 27).strings[2], "27");
}

TEST(AuditEvents, PasswordRequestNamesTheTargetAccountNeverAPassword) {
  EXPECT_EQ(PasswordRequestEvent(kConsole, "Administrator", 0, Status::Ok).strings,
            Strings({"02-00-5E-10-A0-FF", "\"Administrator\"", "0 (done)", "\"Administrator\""}));
  const AgentEvent management =
      PasswordRequestEvent(kConsole, "Administrator", 1, Status::PasswordTooShort);
  EXPECT_EQ(management.id, 1301u);
  EXPECT_EQ(management.strings[3], "the management account");
  EXPECT_EQ(management.strings[2], "7 (password refused by policy)");
}

TEST(AuditEvents, ServiceCaptureIdentityAndBackOffEvents) {
  EXPECT_EQ(ServiceStartedEvent().id, 1000u);
  EXPECT_TRUE(ServiceStartedEvent().strings.empty());
  EXPECT_EQ(ServiceStoppedEvent().id, 1001u);

  const AgentEvent missing = CaptureMissingEvent(
      {"C:\\Windows\\system32\\Npcap\\wpcap.dll", "C:\\Windows\\system32\\wpcap.dll"});
  EXPECT_EQ(missing.id, 1100u);
  EXPECT_EQ(missing.level, EventLevel::Error);
  EXPECT_EQ(missing.strings,
            Strings({"C:\\Windows\\system32\\Npcap\\wpcap.dll\r\nC:\\Windows\\system32\\wpcap.dll",
                     "10"}));
  EXPECT_EQ(CaptureMissingEvent({}).strings[0], "(no system directory)");
  EXPECT_EQ(CaptureLoadedEvent("C:\\Windows\\system32\\wpcap.dll").strings,
            Strings({"C:\\Windows\\system32\\wpcap.dll"}));
  EXPECT_EQ(TransportFailedEvent(10001).strings, Strings({"10001", "10"}));

  const std::string fingerprint = "9F3A 0C11";
  EXPECT_EQ(IdentityEvent(false, fingerprint).id, 1200u);
  EXPECT_EQ(IdentityEvent(true, fingerprint).id, 1201u);
  EXPECT_EQ(IdentityEvent(true, fingerprint).level, EventLevel::Warning);
  EXPECT_EQ(IdentityEvent(true, fingerprint).strings, Strings({"9F3A 0C11"}));

  const AgentEvent backOff = CredentialBackOffEvent(kConsole, 4, 1000);
  EXPECT_EQ(backOff.id, 1400u);
  EXPECT_EQ(backOff.level, EventLevel::Warning);
  EXPECT_EQ(backOff.strings, Strings({"02-00-5E-10-A0-FF", "4", "1"}));
  EXPECT_EQ(CredentialBackOffEvent(kConsole, 5, 1500).strings[2], "2");  // rounded up
}

// --- Hostile text ------------------------------------------------------------------------------

TEST(AuditEvents, AccountTextCannotForgeLinesInsertionsOrQuotes) {
  // A console controls the account field: line breaks would forge audit lines, %1 or %%1
  // would pose as insertions, a quote would end the quoted name early.
  const std::string hostile = "evil\r\nSettings request from console 00-00-00-00-00-00 %1 %%2 \"x\\";
  const AgentEvent event = RestartRequestEvent(kConsole, hostile, Status::Ok);
  EXPECT_EQ(event.strings[1],
            "\"evil\\x0D\\x0ASettings request from console 00-00-00-00-00-00 \\x251 \\x25\\x252 "
            "\\x22x\\x5C\"");
  for (char c : event.strings[1]) {
    EXPECT_GE(static_cast<unsigned char>(c), 0x20);
    EXPECT_LT(static_cast<unsigned char>(c), 0x7F);
  }
}

TEST(AuditEvents, NonAsciiAndNulBytesAreEscapedAndLongTextCut) {
  EXPECT_EQ(EscapeText(std::string("J\xE9r\xF4me\0x", 8)), "J\\xE9r\\xF4me\\x00x");
  const std::string longName(200, 'A');
  EXPECT_EQ(EscapeText(longName), std::string(64, 'A') + "...");
  EXPECT_EQ(EscapeText(longName, 3), "AAA...");
  EXPECT_EQ(EscapeText(""), "");
  // Host names and adapter names come from the host itself but are escaped the same way.
  HostRecord before = Host();
  HostRecord after = Host();
  after.hostName.assign("A\nB");
  EXPECT_EQ(DescribeChanges(before, after), "host name \"SRV-01\" -> \"A\\x0AB\"");
}

TEST(AuditEvents, EventsGoToTheSinkWhenOneIsSet) {
  static std::vector<uint32_t> seen;
  seen.clear();
  agentEventSink = nullptr;
  ReportAgentEvent(ServiceStartedEvent());  // no sink: dropped
  agentEventSink = [](const AgentEvent& event) { seen.push_back(event.id); };
  ReportAgentEvent(ServiceStoppedEvent());
  agentEventSink = nullptr;
  EXPECT_EQ(seen, std::vector<uint32_t>{1001u});
}

}  // namespace
