// TCP/IP settings: registry values written per adapter, DHCP client notifications and
// route calls through the doubles, and the roll-back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "protocol/ipv4.h"

#include "agent/live_config.h"
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
  // A slot as Windows keeps a fixed adapter: its registry values and the running stack.
  void Fixed(int slot, const std::string& addresses, const std::string& masks,
             const std::string& gateway, const std::string& dns) {
    SetDwordValue(Slot(slot), "EnableDHCP", 0);
    SetMulti(slot, "IPAddress", addresses);
    SetMulti(slot, "SubnetMask", masks);
    SetMulti(slot, "DefaultGateway", gateway);
    SetMulti(slot, "DefaultGatewayMetric", gateway.empty() ? "" : "1");
    SetStringValue(Slot(slot), "NameServer", REG_SZ, dns);
    const ULONG index = Index(slot);
    std::vector<std::string> list = Split(addresses), maskList = Split(masks);
    for (std::size_t i = 0; i < list.size(); ++i)
      fakeLog.stack.addresses.push_back({index, ParseIpv4(list[i]), 24});
    if (!gateway.empty()) fakeLog.stack.routes.push_back({index, ParseIpv4(gateway)});
  }
  // Space-separated texts as a REG_MULTI_SZ value.
  void SetMulti(int slot, const char* name, const std::string& texts) {
    std::vector<char> data;
    for (const std::string& t : Split(texts)) {
      data.insert(data.end(), t.begin(), t.end());
      data.push_back('\0');
    }
    if (data.empty()) data.push_back('\0');
    data.push_back('\0');
    ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, Slot(slot).c_str(), name, REG_MULTI_SZ,
                              data.data(), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  }
  static std::vector<std::string> Split(const std::string& texts) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < texts.size()) {
      std::size_t end = texts.find(' ', start);
      if (end == std::string::npos) end = texts.size();
      if (end > start) out.push_back(texts.substr(start, end - start));
      start = end + 1;
    }
    return out;
  }
  // Interface index of a slot.
  ULONG Index(int slot) {
    std::vector<ULONG> indexes;
    for (const FakeAdapter& a : network_.adapters) indexes.push_back(a.index);
    std::sort(indexes.begin(), indexes.end());
    return indexes[slot];
  }
  std::vector<std::string> List(int slot, const char* name) {
    std::vector<uint8_t> data = Raw(slot, name);
    std::vector<std::string> out;
    std::string current;
    for (std::size_t i = 0; i < data.size(); ++i) {
      if (data[i] == 0) {
        if (current.empty()) break;
        out.push_back(current);
        current.clear();
      } else {
        current.push_back(static_cast<char>(data[i]));
      }
    }
    return out;
  }
  std::vector<uint8_t> Raw(int slot, const char* name) {
    std::vector<uint8_t> data;
    if (!GetRawValue(Slot(slot), name, data)) return {0xEE};  // marks "missing"
    return data;
  }
  FakeNetwork network_;
};

const std::vector<uint8_t> kMissing = {0xEE};
using Strings = std::vector<std::string>;
const uint32_t kNewDns = 0xC6336436;  // 198.51.100.54

// NT 5.x (the fakes' default version): registry values and the DHCP client notification.

TEST_F(TcpipTest, AddressOnlyChangeWritesParallelListsAndNotifiesWithoutRoutes) {
  const SettingsBody body = Body({Nic(0, kChangeAddress, 0xC0A80001, 0xFFFF0000)});
  EXPECT_EQ(ApplyTcpipSettings(body), Status::Ok);
  EXPECT_EQ(Raw(0, "EnableDHCP"), (std::vector<uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(Raw(0, "IPAddress"), Multi("192.168.0.1"));
  EXPECT_EQ(Raw(0, "SubnetMask"), Multi("255.255.0.0"));  // never shorter than the addresses
  // The body's DNS server is the host's: no "NameServer" is written anywhere.
  EXPECT_EQ(Raw(0, "NameServer"), kMissing);
  ASSERT_EQ(fakeLog.dhcp.size(), 1u);
  EXPECT_EQ(fakeLog.dhcp[0].guid, std::wstring(L"{6E657476-616E-6500-0000-000000000003}"));
  EXPECT_TRUE(fakeLog.dhcp[0].isNewIpAddress);
  EXPECT_EQ(fakeLog.dhcp[0].ipAddress, htonl(0xC0A80001));
  EXPECT_EQ(fakeLog.dhcp[0].subnetMask, htonl(0xFFFF0000));
  EXPECT_EQ(fakeLog.dhcp[0].action, 2);
  EXPECT_TRUE(fakeLog.routes.empty());
  EXPECT_TRUE(fakeLog.stack.calls.empty());  // no IP helper call of NT 6
  EXPECT_EQ(Raw(1, "NameServer"), kMissing);
}

TEST_F(TcpipTest, NotificationOutcomesMapToStatus) {
  fakeLog.dhcpResults = {52};
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, kChangeMask, 0, 0xFFFFFF00)})), Status::IpConflict);
  fakeLog.dhcpResults = {ERROR_PROC_NOT_FOUND};
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, kChangeAddress)})), Status::SettingFailed);
}

TEST_F(TcpipTest, Nt5GatewayChangeDeletesThenSetsTheDefaultRoute) {
  Fixed(0, "198.51.100.3", "255.255.255.0", "198.51.100.1", "198.51.100.53");
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
  EXPECT_EQ(removed.dwForwardProto, static_cast<DWORD>(MIB_IPPROTO_NETMGMT));
  EXPECT_EQ(removed.dwForwardMetric1, 1u);
  EXPECT_TRUE(fakeLog.routes[1].set);
  EXPECT_EQ(fakeLog.routes[1].row.dwForwardNextHop, htonl(0xC63364FE));

  // Without a DefaultGateway the DHCP one is the route to remove; a refused route fails.
  fakeLog.routes.clear();
  SetMulti(0, "DefaultGateway", "");
  SetStringValue(Slot(0), "DhcpDefaultGateway", REG_MULTI_SZ, "198.51.100.2");
  fakeLog.setRouteResults = {ERROR_INVALID_PARAMETER};
  EXPECT_EQ(ApplyTcpipSettings(body), Status::SettingFailed);
  ASSERT_EQ(fakeLog.routes.size(), 2u);
  EXPECT_EQ(fakeLog.routes[0].row.dwForwardNextHop, htonl(0xC6336402));
}

TEST_F(TcpipTest, RenameAloneOrUnchangedAdaptersWriteNothing) {
  Fixed(0, "198.51.100.3 198.51.100.33", "255.255.255.0 255.255.255.0", "198.51.100.1",
        "198.51.100.53,198.51.100.60");
  FakeTransportSetConnected(1, 0);
  const SettingsBody body =
      Body({Nic(0, 0), Nic(0, kChangeAll, 0xC0A80001, 0xFFFFFF00, 0xC0A800FE)});
  EXPECT_EQ(ApplyTcpipSettings(body), Status::Ok);
  EXPECT_EQ(GetStringValue(Slot(0), "NameServer"), "198.51.100.53,198.51.100.60");
  EXPECT_EQ(List(0, "IPAddress"), (Strings{"198.51.100.3", "198.51.100.33"}));
  for (const char* name : {"NameServer", "EnableDHCP", "IPAddress"})
    EXPECT_EQ(Raw(1, name), kMissing) << name;  // not connected
  EXPECT_TRUE(fakeLog.dhcp.empty());
  EXPECT_TRUE(fakeLog.routes.empty());
}

TEST_F(TcpipTest, NewDnsServerReplacesTheFirstEntryOnlyWhereAdaptersHaveServers) {
  // Slot 0 has a primary and an alternate, slot 1 (a storage network) none at all.
  Fixed(0, "198.51.100.3", "255.255.255.0", "198.51.100.1", "198.51.100.53 198.51.100.60");
  Fixed(1, "203.0.113.7", "255.255.255.0", "", "");
  FakeTransportSetConnected(1, 0);  // connected or not, DNS is stored
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, 0), Nic(0, 0)}, 1, kNewDns)), Status::Ok);
  EXPECT_EQ(GetStringValue(Slot(0), "NameServer"), "198.51.100.54 198.51.100.60");
  EXPECT_EQ(Raw(1, "NameServer"), (std::vector<uint8_t>{0}));
}

TEST_F(TcpipTest, SwitchToDhcpWithAutomaticDnsSharesTheLeasedServers) {
  Fixed(0, "198.51.100.3", "255.255.255.0", "198.51.100.1", "198.51.100.53");
  Fixed(1, "203.0.113.7", "255.255.255.0", "203.0.113.1", "198.51.100.53");
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
  for (int slot = 0; slot < 20; ++slot) SetStringValue(Slot(slot), "NameServer", REG_SZ, "10.0.0.1");
  std::vector<NicEntry> nics(20, Nic(1, 0));
  EXPECT_EQ(ApplyTcpipSettings(Body(nics, 1, kNewDns)), Status::Ok);
  EXPECT_EQ(GetStringValue(Slot(15), "NameServer"), "198.51.100.54");
  EXPECT_EQ(GetStringValue(Slot(16), "NameServer"), "10.0.0.1");

  Network({{3, "198.51.100.3", ""}});
  SetStringValue(Slot(0), "NameServer", REG_SZ, "10.0.0.1");
  SettingsBody claims = Body({Nic(1, 0), Nic(1, 0), Nic(1, 0)}, 1, kNewDns);
  claims.nicCount = 200;  // more than the entries present
  EXPECT_EQ(ApplyTcpipSettings(claims), Status::Ok);
  EXPECT_EQ(GetStringValue(Slot(0), "NameServer"), "198.51.100.54");
}

TEST_F(TcpipTest, AnAdapterKeyThatCannotBeOpenedFailsItsStep) {
  DeleteKeyTree(Slot(0));
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, kChangeAddress, 0xC0A80001, 0xFFFFFF00)})),
            Status::SettingFailed);
  EXPECT_TRUE(fakeLog.dhcp.empty());  // nothing made live for values never stored
  // A DNS change alone on it fails too, instead of answering Ok with nothing stored.
  fakeLog.version = ServerVersion(10, 0, 20348);
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(1, 0)}, 1, kNewDns)), Status::SettingFailed);
  EXPECT_TRUE(fakeLog.stack.calls.empty());
}

// NT 6 and later: the same values stored, the change made live through the IP helper.
class Nt6Test : public TcpipTest {
 protected:
  void SetUp() override {
    TcpipTest::SetUp();
    fakeLog.version = ServerVersion(10, 0, 20348);  // Server 2022: SetInterfaceDnsSettings
    Fixed(0, "198.51.100.3 198.51.100.33", "255.255.255.0 255.255.0.0", "198.51.100.1",
          "198.51.100.53,198.51.100.60");
    Fixed(1, "203.0.113.7", "255.255.255.0", "203.0.113.1", "198.51.100.53");
  }
  const Strings& Calls() { return fakeLog.stack.calls; }
};

TEST_F(Nt6Test, GatewayChangeCreatesTheNewRouteBeforeDeletingTheOld) {
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, kChangeGateway, 0, 0, 0xC63364FE)})), Status::Ok);
  EXPECT_EQ(Calls(), (Strings{"add-route 3 198.51.100.254 metric 1", "delete-route 3 198.51.100.1"}));
  EXPECT_TRUE(fakeLog.stack.hasRoute(3, "198.51.100.254"));
  EXPECT_FALSE(fakeLog.stack.hasRoute(3, "198.51.100.1"));
  EXPECT_TRUE(fakeLog.routes.empty());  // SetIpForwardEntry would find no route to modify
  EXPECT_EQ(Raw(0, "DefaultGateway"), Multi("198.51.100.254"));
  EXPECT_TRUE(fakeLog.dhcp.empty());
}

TEST_F(Nt6Test, ExistingNewRouteOrMissingOldRouteIsNoFailure) {
  fakeLog.stack.routes = {{3, ParseIpv4("198.51.100.254")}};  // new there, old already gone
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, kChangeGateway, 0, 0, 0xC63364FE)})), Status::Ok);
  EXPECT_TRUE(fakeLog.stack.hasRoute(3, "198.51.100.254"));
  // The same gateway again: the route stays, nothing is deleted.
  fakeLog.stack.calls.clear();
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, kChangeGateway, 0, 0, 0xC63364FE)})), Status::Ok);
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(fakeLog.stack.hasRoute(3, "198.51.100.254"));
}

TEST_F(Nt6Test, RefusedNewRouteFailsAndKeepsTheOld) {
  fakeLog.stack.addRouteResult = ERROR_ACCESS_DENIED;
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, kChangeGateway, 0, 0, 0xC63364FE)})),
            Status::SettingFailed);
  EXPECT_EQ(Calls(), (Strings{"add-route 3 198.51.100.254 metric 1"}));
  EXPECT_TRUE(fakeLog.stack.hasRoute(3, "198.51.100.1"));
}

TEST_F(Nt6Test, NewAddressAddedWithItsPrefixThenTheOldRemoved) {
  fakeLog.stack.dadStates = {IpDadStateTentative, IpDadStateTentative, IpDadStatePreferred};
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, kChangeAddress | kChangeMask, 0xC6336409, 0xFFFFFF80)})),
            Status::Ok);
  EXPECT_EQ(Calls(), (Strings{"add-address 3 198.51.100.9/25", "delete-address 3 198.51.100.3"}));
  EXPECT_EQ(fakeLog.stack.sleeps, 2);  // watched while detection ran
  // The further address and its mask stay, the lists as long as each other.
  EXPECT_EQ(List(0, "IPAddress"), (Strings{"198.51.100.9", "198.51.100.33"}));
  EXPECT_EQ(List(0, "SubnetMask"), (Strings{"255.255.255.128", "255.255.0.0"}));
  EXPECT_TRUE(fakeLog.stack.hasAddress(3, "198.51.100.33"));
  EXPECT_TRUE(fakeLog.dhcp.empty());  // no DhcpNotifyConfigChange on NT 6
}

TEST_F(Nt6Test, MaskOnlyChangeReplacesTheSameAddress) {
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, kChangeMask, 0, 0xFFFFFF80)})), Status::Ok);
  EXPECT_EQ(Calls(), (Strings{"delete-address 3 198.51.100.3", "add-address 3 198.51.100.3/25"}));
  EXPECT_EQ(List(0, "IPAddress"), (Strings{"198.51.100.3", "198.51.100.33"}));
  EXPECT_EQ(List(0, "SubnetMask"), (Strings{"255.255.255.128", "255.255.0.0"}));
}

TEST_F(Nt6Test, DuplicateAddressIsAConflict) {
  fakeLog.stack.dadStates = {IpDadStateTentative, IpDadStateDuplicate};
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, kChangeAddress, 0xC6336409, 0xFFFFFF00)})),
            Status::IpConflict);
  EXPECT_TRUE(fakeLog.stack.hasAddress(3, "198.51.100.3"));  // the old one not yet removed
  // An address detection never settles is taken after the watch, without a conflict.
  fakeLog.stack.calls.clear();
  fakeLog.stack.dadStates.assign(100, IpDadStateTentative);
  fakeLog.stack.sleeps = 0;
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, kChangeAddress, 0xC633640A, 0xFFFFFF00)})), Status::Ok);
  EXPECT_EQ(fakeLog.stack.sleeps, kDadPolls);
}

TEST_F(Nt6Test, DnsChangeStoredAndSetAtRunTimeKeepingTheAlternate) {
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, 0), Nic(0, 0)}, 1, kNewDns)), Status::Ok);
  EXPECT_EQ(GetStringValue(Slot(0), "NameServer"), "198.51.100.54,198.51.100.60");
  EXPECT_EQ(GetStringValue(Slot(1), "NameServer"), "198.51.100.54");
  EXPECT_EQ(Calls(), (Strings{"dns {6E657476-616E-6500-0000-000000000003} 198.51.100.54,198.51.100.60",
                              "dns {6E657476-616E-6500-0000-000000000007} 198.51.100.54"}));
  fakeLog.stack.dnsResult = ERROR_ACCESS_DENIED;
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, 0), Nic(0, 0)}, 1, 0x08080808)), Status::SettingFailed);
}

TEST_F(Nt6Test, BeforeBuild19041DnsIsStoredOnly) {
  fakeLog.version = ServerVersion(10, 0, 17763);  // Server 2019
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, 0), Nic(0, 0)}, 1, kNewDns)), Status::Ok);
  EXPECT_EQ(GetStringValue(Slot(0), "NameServer"), "198.51.100.54,198.51.100.60");
  EXPECT_TRUE(Calls().empty());
  // Nor where the function is missing, whatever the build says.
  fakeLog.version = ServerVersion(10, 0, 26100);
  agentSystem.setInterfaceDnsSettings = nullptr;
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, 0), Nic(0, 0)}, 1, 0x08080808)), Status::Ok);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(Nt6Test, FixedToDhcpRemovesTheFixedAddressesAndRouteThenRenews) {
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(1, kChangeMode)}, 0)), Status::Ok);
  EXPECT_EQ(Calls(), (Strings{"dns {6E657476-616E-6500-0000-000000000003} ",
                              "delete-address 3 198.51.100.3", "delete-address 3 198.51.100.33",
                              "delete-route 3 198.51.100.1", "renew 3"}));
  EXPECT_EQ(Raw(0, "EnableDHCP"), (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(Raw(0, "IPAddress"), Multi("0.0.0.0"));
  fakeLog.stack.renewResult = ERROR_INVALID_PARAMETER;
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(1, kChangeMode)}, 0)), Status::SettingFailed);
}

TEST_F(Nt6Test, DhcpToFixedReleasesTheLeaseBeforeAddingTheAddress) {
  SetDwordValue(Slot(1), "EnableDHCP", 1);
  SetMulti(1, "IPAddress", "0.0.0.0");
  SetMulti(1, "SubnetMask", "0.0.0.0");
  SetMulti(1, "DefaultGateway", "");
  SetStringValue(Slot(1), "DhcpDefaultGateway", REG_MULTI_SZ, "203.0.113.1");
  // The fixed address is the one the lease gave: it is there until the release.
  const SettingsBody body = Body({Nic(0, 0), Nic(0, kChangeAll & ~kChangeMode, 0xCB007107,
                                                  0xFFFFFF00, 0xCB007101)});
  EXPECT_EQ(ApplyTcpipSettings(body), Status::Ok);
  fakeLog.stack.addresses.erase(fakeLog.stack.addresses.begin());  // keep the fake simple
  EXPECT_EQ(Calls(), (Strings{"release 7", "add-address 7 203.0.113.7/24", "add-route 7 203.0.113.1 metric 1"}));
  EXPECT_EQ(List(1, "IPAddress"), (Strings{"203.0.113.7"}));
  EXPECT_EQ(List(1, "DefaultGateway"), (Strings{"203.0.113.1"}));
}

TEST_F(Nt6Test, HostileRegistryListsAreHandled) {
  // An unterminated list of junk and an over-long server list: no crash, first entries
  // replaced, the value of 300 bytes read as empty (larger than its buffer).
  const std::string junk(1000, 'Z');
  ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, Slot(0).c_str(), "IPAddress", REG_MULTI_SZ,
                            junk.data(), static_cast<DWORD>(junk.size())),
            ERROR_SUCCESS);
  SetStringValue(Slot(0), "NameServer", REG_SZ, std::string(300, '9'));
  EXPECT_EQ(ApplyTcpipSettings(Body({Nic(0, kChangeAddress, 0xC6336409, 0xFFFFFF00)}, 1, kNewDns)),
            Status::Ok);
  EXPECT_EQ(List(0, "IPAddress")[0], "198.51.100.9");
  EXPECT_EQ(List(0, "IPAddress").size(), List(0, "SubnetMask").size());
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

TEST_F(HostSettingsTest, Nt5FailureOnSlotOneRollsBackEveryConnectedAdapter) {
  Fixed(0, "198.51.100.3 198.51.100.33", "255.255.255.0 255.255.0.0", "198.51.100.1",
        "198.51.100.53,198.51.100.60");
  Fixed(1, "203.0.113.7", "255.255.255.0", "203.0.113.1", "198.51.100.53");
  const std::vector<uint8_t> addresses = Raw(0, "IPAddress"), masks = Raw(0, "SubnetMask");
  fakeLog.dhcpResults = {0, 2};  // slot 0 accepted, slot 1 refused
  const SettingsBody body = Body({Nic(0, kChangeAddress, 0xC0A80003, 0xFFFFFF00),
                                  Nic(0, kChangeAddress, 0xC0A80007, 0xFFFFFF00)},
                                 1, 0x08080808);
  EXPECT_EQ(ApplyHostSettings(body), Status::SettingFailed);

  ASSERT_EQ(fakeLog.dhcp.size(), 4u);
  EXPECT_EQ(fakeLog.dhcp[2].ipAddress, htonl(0xC6336403));  // slot 0 back to its address
  EXPECT_EQ(fakeLog.dhcp[3].ipAddress, htonl(0xCB007107));
  // Every value written is back byte for byte, lists and DNS alternates included.
  EXPECT_EQ(Raw(0, "IPAddress"), addresses);
  EXPECT_EQ(Raw(0, "SubnetMask"), masks);
  EXPECT_EQ(Raw(1, "IPAddress"), Multi("203.0.113.7"));
  EXPECT_EQ(Raw(0, "DefaultGateway"), Multi("198.51.100.1"));
  EXPECT_EQ(GetStringValue(Slot(0), "NameServer"), "198.51.100.53,198.51.100.60");
  EXPECT_EQ(GetStringValue(Slot(1), "NameServer"), "198.51.100.53");
}

TEST_F(HostSettingsTest, RollBackLeavesDhcpAdaptersTheRequestDidNotSwitch) {
  Network({{3, "198.51.100.3", "198.51.100.1"}, {7, "203.0.113.7", "203.0.113.1"}}, true);
  fakeLog.dhcpResults = {52};
  const SettingsBody body = Body({Nic(1, 0), Nic(0, kChangeAll, 0xC0A80007, 0xFFFFFF00)});
  EXPECT_EQ(ApplyHostSettings(body), Status::IpConflict);
  // Snapshot: both DHCP. Only slot 1, which the request made fixed, goes back to DHCP;
  // the lease wait ends at once because the adapter reports a gateway.
  ASSERT_EQ(fakeLog.dhcp.size(), 2u);
  EXPECT_EQ(fakeLog.dhcp[1].action, 1);
  EXPECT_EQ(fakeLog.dhcp[1].guid, std::wstring(L"{6E657476-616E-6500-0000-000000000007}"));
  EXPECT_EQ(Raw(0, "EnableDHCP"), kMissing);
}

TEST_F(HostSettingsTest, Nt6RollBackPutsBackWhatChangedAndNothingElse) {
  fakeLog.version = ServerVersion(10, 0, 20348);
  Fixed(0, "198.51.100.3", "255.255.255.0", "198.51.100.1", "198.51.100.53,198.51.100.60");
  Fixed(1, "203.0.113.7", "255.255.255.0", "203.0.113.1", "198.51.100.53");
  // Slot 0 gets a new address and gateway; slot 1's new gateway is refused.
  fakeLog.stack.addRouteResult = NO_ERROR;
  const SettingsBody body = Body({Nic(0, kChangeAddress | kChangeGateway, 0xC6336409, 0xFFFFFF00, 0xC63364FE),
                                  Nic(0, kChangeGateway, 0, 0, 0xCB0071FE)},
                                 1, kNewDns);
  // The second route create (slot 1's) is refused.
  agentSystem.createIpForwardEntry2 = [](const MIB_IPFORWARD_ROW2* row) -> DWORD {
    if (row->InterfaceIndex == 7 && fakeLog.stack.routes.size() < 5) {
      fakeLog.stack.calls.push_back("refused-route 7");
      return ERROR_ACCESS_DENIED;
    }
    fakeLog.stack.calls.push_back("add-route " + std::to_string(row->InterfaceIndex));
    fakeLog.stack.routes.push_back({row->InterfaceIndex, ntohl(row->NextHop.Ipv4.sin_addr.s_addr)});
    return NO_ERROR;
  };
  EXPECT_EQ(ApplyHostSettings(body), Status::SettingFailed);
  // The stack is as before: old address and route back, new ones gone, slot 1 untouched.
  EXPECT_TRUE(fakeLog.stack.hasAddress(3, "198.51.100.3"));
  EXPECT_FALSE(fakeLog.stack.hasAddress(3, "198.51.100.9"));
  EXPECT_TRUE(fakeLog.stack.hasRoute(3, "198.51.100.1"));
  EXPECT_FALSE(fakeLog.stack.hasRoute(3, "198.51.100.254"));
  EXPECT_TRUE(fakeLog.stack.hasRoute(7, "203.0.113.1"));
  EXPECT_EQ(List(0, "IPAddress"), (Strings{"198.51.100.3"}));
  EXPECT_EQ(List(0, "DefaultGateway"), (Strings{"198.51.100.1"}));
  EXPECT_EQ(GetStringValue(Slot(0), "NameServer"), "198.51.100.53,198.51.100.60");
  // DNS went live and came back live.
  const Strings& calls = fakeLog.stack.calls;
  EXPECT_EQ(calls.back(), "dns {6E657476-616E-6500-0000-000000000003} 198.51.100.53,198.51.100.60");
  // Slot 1's address was never touched, in the request or its roll-back.
  for (const std::string& call : calls) EXPECT_EQ(call.find("address 7"), std::string::npos) << call;
}

}  // namespace
