// Renames: names Windows would cut or refuse, and hosts whose domain role forbids a rename,
// are refused before anything is written (the prefix's configured name stays).
#include <gtest/gtest.h>

#include <string>

#include "agent/host_name.h"
#include "agent/tcpip_settings.h"
#include "fake_system.h"

namespace {

const char kConfiguredKey[] = "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";

class HostNameTest : public AgentTest {
 protected:
  void SetUp() override {
    AgentTest::SetUp();
    GetRawValue(kConfiguredKey, "ComputerName", configured_);
    SetStringValue(kConfiguredKey, "ComputerName", REG_SZ, "KEEPNAME");
  }
  void TearDown() override {
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, kConfiguredKey, "ComputerName", REG_SZ,
                    configured_.data(), static_cast<DWORD>(configured_.size()));
    AgentTest::TearDown();
  }
  static std::string Configured() { return GetStringValue(kConfiguredKey, "ComputerName"); }
  std::vector<uint8_t> configured_;
};

TEST(HostNameRules, NamesWindowsWouldCutOrRefuse) {
  for (const char* good : {"A", "web-01", "9lives", "FIFTEENCHARSXYZ", "a-b-c"})
    EXPECT_TRUE(IsValidHostName(good)) << good;
  const std::string sixteen(16, 'N');
  const std::string hostile(1000, 'x');
  for (const char* bad : {"", sixteen.c_str(), hostile.c_str(), "1234", "0", "-lead", "trail-",
                          "-", "two words", "under_score", "dot.ted", "tab\there", "ctl\x01",
                          "\xc4\xd6rg", "semi;colon", "back\\slash", "pct%s"})
    EXPECT_FALSE(IsValidHostName(bad)) << bad;
  EXPECT_FALSE(IsValidHostName(nullptr));
}

TEST_F(HostNameTest, InvalidNameIsRefusedBeforeTheRoleOrTheRegistry) {
  for (const char* bad : {"SIXTEENCHARSNAME", "2024", "bad_name", "-x"}) {
    EXPECT_EQ(SetHostName(bad), Status::InvalidHostName) << bad;
    EXPECT_EQ(Configured(), "KEEPNAME") << bad;
  }
  EXPECT_EQ(fakeLog.roleQueries, 0);
}

TEST_F(HostNameTest, WorkgroupAndStandAloneHostsAreRenamed) {
  EXPECT_EQ(SetHostName("WG-HOST"), Status::Ok);
  EXPECT_EQ(Configured(), "WG-HOST");
  fakeLog.role = DsRole_RoleStandaloneServer;
  EXPECT_EQ(SetHostName("SRV-2"), Status::Ok);
  EXPECT_EQ(Configured(), "SRV-2");
  EXPECT_EQ(fakeLog.roleQueries, 2);
  EXPECT_EQ(fakeLog.roleBuffersLeft, 0) << "every role buffer freed";
}

// Renaming a member without renaming its domain account breaks its trust after the restart;
// a domain controller is never renamed this way. The console carries no domain credentials.
TEST_F(HostNameTest, DomainMembersAndControllersAreNotRenamed) {
  for (DSROLE_MACHINE_ROLE role : {DsRole_RoleMemberWorkstation, DsRole_RoleMemberServer}) {
    fakeLog.role = role;
    EXPECT_EQ(SetHostName("NEWNAME"), Status::RenameRefusedDomainMember) << role;
  }
  for (DSROLE_MACHINE_ROLE role :
       {DsRole_RoleBackupDomainController, DsRole_RolePrimaryDomainController}) {
    fakeLog.role = role;
    EXPECT_EQ(SetHostName("NEWNAME"), Status::RenameRefusedDomainController) << role;
  }
  EXPECT_EQ(Configured(), "KEEPNAME");
  EXPECT_EQ(fakeLog.roleBuffersLeft, 0);

  // Its own name again is no rename: nothing to refuse.
  fakeLog.role = DsRole_RoleMemberServer;
  EXPECT_EQ(SetHostName("keepname"), Status::Ok);
  EXPECT_EQ(Configured(), "KEEPNAME");
}

TEST_F(HostNameTest, UnreadableRoleRisksNoRename) {
  fakeLog.roleResult = ERROR_ACCESS_DENIED;
  EXPECT_EQ(SetHostName("NEWNAME"), Status::SettingFailed);
  EXPECT_EQ(Configured(), "KEEPNAME");
}

// Before Vista the role function is not documented: the join state decides, and a domain
// (member or controller alike) refuses the rename.
TEST_F(HostNameTest, WithoutTheRoleFunctionTheJoinStateDecides) {
  fakeLog.roleResult = ERROR_PROC_NOT_FOUND;
  fakeLog.join = NetSetupDomainName;
  EXPECT_EQ(SetHostName("NEWNAME"), Status::RenameRefusedDomainMember);
  EXPECT_EQ(Configured(), "KEEPNAME");
  fakeLog.join = NetSetupUnknownStatus;
  EXPECT_EQ(SetHostName("NEWNAME"), Status::SettingFailed);
  fakeLog.joinResult = ERROR_NOT_ENOUGH_MEMORY;
  EXPECT_EQ(SetHostName("NEWNAME"), Status::SettingFailed);
  EXPECT_EQ(Configured(), "KEEPNAME");
  fakeLog.joinResult = NERR_Success;
  fakeLog.join = NetSetupWorkgroupName;
  EXPECT_EQ(SetHostName("XP-HOST"), Status::Ok);
  EXPECT_EQ(Configured(), "XP-HOST");
  EXPECT_EQ(fakeLog.joinQueries, 4);
}

TEST_F(HostNameTest, RefusedRenameLeavesTheNetworkSettingsAlone) {
  fakeLog.role = DsRole_RoleMemberServer;
  SettingsBody body;
  body.newHostName.assign("NEWNAME");
  body.dnsStatic = 1;
  body.dnsServer = 0xC6336435;
  EXPECT_EQ(ApplyHostSettings(body), Status::RenameRefusedDomainMember);
  EXPECT_EQ(Configured(), "KEEPNAME");
  EXPECT_TRUE(fakeLog.dhcp.empty());
  EXPECT_TRUE(fakeLog.routes.empty());
}

}  // namespace
