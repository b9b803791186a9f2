// TCP/IP settings: registry values written per adapter, DHCP client notifications and
// route calls through the doubles, and the roll-back.
#include <gtest/gtest.h>

#include <cstdio>

#include "agent/tcpip_settings.h"
#include "fake_system.h"
#include "fake_transport.h"

namespace {

const char kConfiguredKey[] = "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";

std::string Guid(int n) {
  char text[64];
  std::snprintf(text, sizeof text, "{6E657476-616E-6500-0000-%012d}", n);
  return text;
}

std::vector<uint8_t> Multi(const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

NicEntry Nic(uint8_t dhcp, uint32_t mask, uint32_t ip = 0, uint32_t subnet = 0,
             uint32_t gateway = 0) {
  NicEntry nic;
  nic.dhcpEnabled = dhcp;
  nic.changeMask = mask;
  nic.ipAddress = ip;
  nic.subnetMask = subnet;
  nic.gateway = gateway;
  return nic;
}

SettingsBody Body(std::vector<NicEntry> nics, uint8_t dnsStatic = 1,
                  uint32_t dnsServer = 0xC6336435 /* 198.51.100.53 */) {
  SettingsBody body;
  body.dnsServer = dnsServer;
  body.dnsStatic = dnsStatic;
  body.nicCount = static_cast<uint8_t>(nics.size());
  body.nics = std::move(nics);
  return body;
}

class TcpipTest : public AgentTest {
 protected:
  void SetUp() override {
    AgentTest::SetUp();
    FakeTransportReset();
    // Interface index 7 comes first in the system's table but is slot 1.
    Network({{7, "203.0.113.7", "203.0.113.1"}, {3, "198.51.100.3", "198.51.100.1"}});
  }
  void TearDown() override {
    for (const FakeAdapter& a : network_.adapters) DeleteKeyTree(InterfaceKeyPath(a.guid));
    AgentTest::TearDown();
  }

  struct Wiring {
    ULONG index;
    const char* ip;
    const char* gateway;
  };
  void Network(std::vector<Wiring> wiring, bool dhcp = false) {
    for (const FakeAdapter& a : network_.adapters) DeleteKeyTree(InterfaceKeyPath(a.guid));
    network_ = FakeNetwork();
    network_.dns = "198.51.100.53";
    for (const Wiring& s : wiring) {
      FakeAdapter a;
      a.index = s.index;
      a.guid = Guid(static_cast<int>(s.index));
      a.ip = s.ip;
      a.mask = "255.255.255.0";
      a.gateways = {s.gateway};
      a.dhcp = dhcp;
      network_.adapters.push_back(a);
      CreateKey(InterfaceKeyPath(a.guid));
    }
    InstallFakeNetwork(network_);
  }
  // Registry path of a slot: slots follow ascending interface index.
  std::string Slot(int slot) {
    std::vector<ULONG> indexes;
    for (const FakeAdapter& a : network_.adapters) indexes.push_back(a.index);
    std::sort(indexes.begin(), indexes.end());
    return InterfaceKeyPath(Guid(static_cast<int>(indexes[slot])));
  }
  std::vector<uint8_t> Raw(int slot, const char* name) {
    std::vector<uint8_t> data;
    if (!GetRawValue(Slot(slot), name, data)) return {0xEE};  // marks "missing"
    return data;
  }
  FakeNetwork network_;
};

const std::vector<uint8_t> kMissing = {0xEE};

TEST_F(TcpipTest, AddressOnlyChangeWritesAndNotifiesWithoutRoutes) {
  const SettingsBody body = Body({Nic(0, kChangeAddress, 0xC0A80001, 0xFFFF0000)});
  EXPECT_EQ(ApplyTcpipSettings(body), Status::Ok);
  EXPECT_EQ(Raw(0, "EnableDHCP"), (std::vector<uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(Raw(0, "IPAddress"), Multi("192.168.0.1"));
  EXPECT_EQ(Raw(0, "SubnetMask"), kMissing);
  EXPECT_EQ(GetStringValue(Slot(0), "NameServer"), "198.51.100.53");
  ASSERT_EQ(fakeLog.dhcp.size(), 1u);
  EXPECT_EQ(fakeLog.dhcp[0].guid, std::wstring(L"{6E657476-616E-6500-0000-000000000003}"));
  EXPECT_TRUE(fakeLog.dhcp[0].isNewIpAddress);
  EXPECT_EQ(fakeLog.dhcp[0].ipAddress, htonl(0xC0A80001));
  EXPECT_EQ(fakeLog.dhcp[0].subnetMask, htonl(0xFFFF0000));
  EXPECT_EQ(fakeLog.dhcp[0].action, 2);
  EXPECT_TRUE(fakeLog.routes.empty());
  // Slot 1 is beyond the body: untouched.
  EXPECT_EQ(Raw(1, "NameServer"), kMissing);
}

TEST_F(TcpipTest, NotificationOutcomesMapToStatus) {
  fakeLog.dhcpResults = {52};
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, kChangeMask, 0, 0xFFFFFF00)})), Status::IpConflict);
  fakeLog.dhcpResults = {ERROR_PROC_NOT_FOUND};
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, kChangeAddress)})), Status::SettingFailed);
}

TEST_F(TcpipTest, GatewayOnlyChangeReplacesTheDefaultRoute) {
  SetStringValue(Slot(0), "DefaultGateway", REG_MULTI_SZ, "198.51.100.1");
  const SettingsBody body = Body({Nic(0, kChangeGateway, 0, 0, 0xC63364FE)});
  EXPECT_EQ(ApplyTcpipSettings(body), Status::Ok);
  EXPECT_TRUE(fakeLog.dhcp.empty());
  EXPECT_EQ(Raw(0, "DefaultGateway"), Multi("198.51.100.254"));
  EXPECT_EQ(Raw(0, "DefaultGatewayMetric"), Multi("1"));
  ASSERT_EQ(fakeLog.routes.size(), 2u);
  const MIB_IPFORWARDROW& removed = fakeLog.routes[0].row;
  EXPECT_FALSE(fakeLog.routes[0].set);
  EXPECT_EQ(removed.dwForwardNextHop, htonl(0xC6336401));
  EXPECT_EQ(removed.dwForwardIfIndex, 3u);
  EXPECT_EQ(removed.dwForwardDest, 0u);
  EXPECT_EQ(removed.dwForwardMask, 0u);
  EXPECT_EQ(removed.dwForwardProto, static_cast<DWORD>(MIB_IPPROTO_NETMGMT));
  EXPECT_EQ(removed.dwForwardMetric1, 1u);
  EXPECT_EQ(removed.dwForwardMetric2, 0u);
  EXPECT_TRUE(fakeLog.routes[1].set);
  EXPECT_EQ(fakeLog.routes[1].row.dwForwardNextHop, htonl(0xC63364FE));

  // Without a DefaultGateway the DHCP one is the route to remove; a refused route fails.
  fakeLog.routes.clear();
  SetStringValue(Slot(0), "DefaultGateway", REG_MULTI_SZ, "");
  SetStringValue(Slot(0), "DhcpDefaultGateway", REG_MULTI_SZ, "198.51.100.2");
  fakeLog.setRouteResults = {ERROR_INVALID_PARAMETER};
  EXPECT_EQ(ApplyTcpipSettings(body), Status::SettingFailed);
  ASSERT_EQ(fakeLog.routes.size(), 2u);
  EXPECT_EQ(fakeLog.routes[0].row.dwForwardNextHop, htonl(0xC6336402));
}

TEST_F(TcpipTest, UnchangedDhcpAndDisconnectedAdaptersOnlyGetTheirNameServer) {
  FakeTransportSetConnected(1, 0);
  const SettingsBody body =
      Body({Nic(1, 0), Nic(0, kChangeAll, 0xC0A80001, 0xFFFFFF00, 0xC0A800FE)});
  EXPECT_EQ(ApplyTcpipSettings(body), Status::Ok);
  for (int slot : {0, 1}) {
    EXPECT_EQ(GetStringValue(Slot(slot), "NameServer"), "198.51.100.53");
    EXPECT_EQ(Raw(slot, "EnableDHCP"), kMissing);
    EXPECT_EQ(Raw(slot, "IPAddress"), kMissing);
  }
  EXPECT_TRUE(fakeLog.dhcp.empty());
  EXPECT_TRUE(fakeLog.routes.empty());
}

TEST_F(TcpipTest, SwitchToDhcpWithAutomaticDnsSharesTheLeasedServers) {
  SetStringValue(Slot(0), "DefaultGateway", REG_MULTI_SZ, "198.51.100.1");
  SetStringValue(Slot(0), "DhcpNameServer", REG_SZ, "198.51.100.60 198.51.100.61");
  const SettingsBody body =
      Body({Nic(1, kChangeAll), Nic(0, kChangeAddress, 0xCB007108, 0xFFFFFF00)}, 0);
  EXPECT_EQ(ApplyTcpipSettings(body), Status::Ok);

  EXPECT_EQ(Raw(0, "EnableDHCP"), (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(Raw(0, "IPAddress"), Multi("0.0.0.0"));
  EXPECT_EQ(Raw(0, "SubnetMask"), Multi("0.0.0.0"));
  EXPECT_EQ(Raw(0, "DefaultGateway"), (std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(Raw(0, "DefaultGatewayMetric"), (std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(Raw(0, "NameServer"), (std::vector<uint8_t>{0}));
  EXPECT_EQ(GetStringValue(Slot(1), "NameServer"), "198.51.100.60 198.51.100.61");

  ASSERT_EQ(fakeLog.dhcp.size(), 2u);
  EXPECT_FALSE(fakeLog.dhcp[0].isNewIpAddress);
  EXPECT_EQ(fakeLog.dhcp[0].action, 1);
  EXPECT_EQ(fakeLog.dhcp[0].ipAddress, 0u);
  EXPECT_EQ(fakeLog.dhcp[1].action, 2);
  ASSERT_EQ(fakeLog.routes.size(), 1u);  // the old default route of the DHCP adapter
  EXPECT_FALSE(fakeLog.routes[0].set);
  EXPECT_EQ(fakeLog.routes[0].row.dwForwardNextHop, htonl(0xC6336401));
}

TEST_F(TcpipTest, FailedDhcpNotificationFails) {
  fakeLog.dhcpResults = {ERROR_MOD_NOT_FOUND};
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(1, kChangeMode)})), Status::SettingFailed);
  EXPECT_EQ(Raw(0, "EnableDHCP"), (std::vector<uint8_t>{1, 0, 0, 0}));  // written before
}

TEST_F(TcpipTest, CountsBeyondTheTableOrSixteenApplyOnlyExistingSlots) {
  std::vector<Wiring> wiring;
  for (ULONG i = 1; i <= 20; ++i) wiring.push_back({i, "198.51.100.9", "198.51.100.1"});
  Network(wiring);
  std::vector<NicEntry> nics(20, Nic(1, 0));
  EXPECT_EQ(ApplyTcpipSettings(Body(nics)), Status::Ok);
  EXPECT_EQ(GetStringValue(Slot(15), "NameServer"), "198.51.100.53");
  EXPECT_EQ(Raw(16, "NameServer"), kMissing);

  Network({{3, "198.51.100.3", ""}});
  SettingsBody claims = Body({Nic(1, 0), Nic(1, 0), Nic(1, 0)});
  claims.nicCount = 200;  // more than the entries present
  EXPECT_EQ(ApplyTcpipSettings(claims), Status::Ok);
  EXPECT_EQ(GetStringValue(Slot(0), "NameServer"), "198.51.100.53");
}

class HostSettingsTest : public TcpipTest {
 protected:
  void SetUp() override {
    TcpipTest::SetUp();
    GetRawValue(kConfiguredKey, "ComputerName", configured_);
  }
  void TearDown() override {
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, kConfiguredKey, "ComputerName", REG_SZ, configured_.data(),
                    static_cast<DWORD>(configured_.size()));
    TcpipTest::TearDown();
  }
  std::vector<uint8_t> configured_;
};

TEST_F(HostSettingsTest, NoAdaptersChangesOnlyTheName) {
  SettingsBody body = Body({});
  body.newHostName.assign("RENAMED");
  EXPECT_EQ(ApplyHostSettings(body), Status::Ok);
  EXPECT_EQ(GetStringValue(kConfiguredKey, "ComputerName"), "RENAMED");
  EXPECT_EQ(Raw(0, "NameServer"), kMissing);
}

TEST_F(HostSettingsTest, FailureOnSlotOneRollsBackEveryConnectedAdapter) {
  SetStringValue(Slot(0), "DefaultGateway", REG_MULTI_SZ, "198.51.100.1");
  SetStringValue(Slot(1), "DefaultGateway", REG_MULTI_SZ, "203.0.113.1");
  fakeLog.dhcpResults = {0, 2};  // slot 0 accepted, slot 1 refused
  const SettingsBody body = Body({Nic(0, kChangeAddress, 0xC0A80003, 0xFFFFFF00),
                                  Nic(0, kChangeAddress, 0xC0A80007, 0xFFFFFF00)},
                                 1, 0x08080808);
  EXPECT_EQ(ApplyHostSettings(body), Status::SettingFailed);

  ASSERT_EQ(fakeLog.dhcp.size(), 4u);
  EXPECT_EQ(fakeLog.dhcp[2].ipAddress, htonl(0xC6336403));  // slot 0 back to its address
  EXPECT_EQ(fakeLog.dhcp[3].ipAddress, htonl(0xCB007107));
  EXPECT_EQ(Raw(0, "IPAddress"), Multi("198.51.100.3"));
  EXPECT_EQ(Raw(1, "IPAddress"), Multi("203.0.113.7"));
  EXPECT_EQ(Raw(0, "SubnetMask"), Multi("255.255.255.0"));
  EXPECT_EQ(Raw(0, "DefaultGateway"), Multi("198.51.100.1"));
  EXPECT_EQ(Raw(1, "DefaultGateway"), Multi("203.0.113.1"));
  for (int slot : {0, 1}) EXPECT_EQ(GetStringValue(Slot(slot), "NameServer"), "198.51.100.53");
  // The roll-back set each old default route again.
  int sets = 0;
  for (const RouteCall& call : fakeLog.routes) sets += call.set;
  EXPECT_EQ(sets, 2);
}

TEST_F(HostSettingsTest, RollBackLeavesDhcpAdaptersTheRequestDidNotSwitch) {
  Network({{3, "198.51.100.3", "198.51.100.1"}, {7, "203.0.113.7", "203.0.113.1"}}, true);
  fakeLog.dhcpResults = {52};
  const SettingsBody body = Body({Nic(1, 0), Nic(0, kChangeAll, 0xC0A80007, 0xFFFFFF00)});
  EXPECT_EQ(ApplyHostSettings(body), Status::IpConflict);
  // Snapshot: both DHCP. Slot 0 had no bit 0, slot 1 had: only slot 1 is switched back,
  // and the lease wait ends at once because the adapter reports a gateway.
  ASSERT_EQ(fakeLog.dhcp.size(), 2u);
  EXPECT_EQ(fakeLog.dhcp[1].action, 1);
  EXPECT_EQ(fakeLog.dhcp[1].guid, std::wstring(L"{6E657476-616E-6500-0000-000000000007}"));
  EXPECT_EQ(Raw(0, "EnableDHCP"), kMissing);
}

}  // namespace
