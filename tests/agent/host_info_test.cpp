// Host record fields from the prefix's registry, control manager and version, and the
// setup state.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "agent/host_info.h"
#include "agent/host_name.h"
#include "fake_system.h"
#include "fake_transport.h"

namespace {

const char kConfiguredKey[] = "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
const char kActiveKey[] = "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName";
const char kTcpipKey[] = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";
const char kManagementKey[] = "SOFTWARE\\Orvane\\Management";

class HostInfoTest : public AgentTest {
 protected:
  void SetUp() override {
    AgentTest::SetUp();
    FakeTransportReset();
    GetRawValue(kConfiguredKey, "ComputerName", configured_);
    GetRawValue(kActiveKey, "ComputerName", active_);
    hadHostname_ = GetRawValue(kTcpipKey, "Hostname", hostname_);
    DeleteKeyTree("SOFTWARE\\Orvane");
  }
  void TearDown() override {
    Restore(kConfiguredKey, "ComputerName", configured_);
    Restore(kActiveKey, "ComputerName", active_);
    if (hadHostname_) Restore(kTcpipKey, "Hostname", hostname_);
    DeleteKeyTree("SOFTWARE\\Orvane");
    AgentTest::TearDown();
  }
  static void Restore(const char* path, const char* name, const std::vector<uint8_t>& data) {
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, path, name, REG_SZ, data.data(),
                    static_cast<DWORD>(data.size()));
  }
  std::vector<uint8_t> configured_, active_, hostname_;
  bool hadHostname_ = false;
};

TEST_F(HostInfoTest, NameChangePendingComparesWithoutCase) {
  SetStringValue(kConfiguredKey, "ComputerName", REG_SZ, "SERVER1");
  SetStringValue(kActiveKey, "ComputerName", REG_SZ, "server1");
  HostRecord host;
  CollectHostInfo(host);
  EXPECT_EQ(host.hostName.str(), "SERVER1");
  EXPECT_EQ(host.nameChangePending, 0);

  SetStringValue(kConfiguredKey, "ComputerName", REG_SZ, "NEWNAME");
  SetStringValue(kActiveKey, "ComputerName", REG_SZ, "OLDNAME");
  CollectHostInfo(host);
  EXPECT_EQ(host.hostName.str(), "NEWNAME");
  EXPECT_EQ(host.nameChangePending, 1);
}

TEST_F(HostInfoTest, LongConfiguredNameFillsAtMost32Bytes) {
  SetStringValue(kConfiguredKey, "ComputerName", REG_SZ, std::string(40, 'N'));
  HostRecord host;
  CollectHostInfo(host);
  EXPECT_EQ(host.hostName.str(), std::string(32, 'N'));
  EXPECT_EQ(host.hostName.bytes[32], '\0');
  EXPECT_EQ(host.hostName.bytes[35], '\0');
}

TEST_F(HostInfoTest, SetHostNameChangesTheConfiguredNameOnly) {
  SetStringValue(kActiveKey, "ComputerName", REG_SZ, "OLDNAME");
  ASSERT_EQ(SetHostName("NEWNAME"), Status::Ok);
  HostRecord host;
  CollectHostInfo(host);
  EXPECT_EQ(host.hostName.str(), "NEWNAME");
  EXPECT_EQ(host.nameChangePending, 1);
  // An empty name is left alone and counts as success.
  EXPECT_EQ(SetHostName(""), Status::Ok);
  EXPECT_EQ(GetStringValue(kConfiguredKey, "ComputerName"), "NEWNAME");
}

TEST_F(HostInfoTest, ManagementFieldsAreZeroWithoutServiceOrSettings) {
  HostRecord host;
  host.mgmtAgentType = 9;
  host.mgmtPort = 9;
  host.mgmtLaunchString.assign("stale");
  CollectManagementInfo(host);
  EXPECT_EQ(host.mgmtAgentType, 0);
  EXPECT_EQ(host.mgmtPort, 0);
  EXPECT_TRUE(host.mgmtLaunchString.empty());
  EXPECT_EQ(QueryRidoPort(), 0);
}

TEST_F(HostInfoTest, ManagementSettingsComeFromTheRegistryRaw) {
  CreateKey(kManagementKey);
  SetDwordValue(kManagementKey, "MgmtAgentType", 0x0302);  // only the low byte counts
  SetDwordValue(kManagementKey, "MgmtPort", 0x12345678);   // low 16 bits
  SetStringValue(kManagementKey, "MgmtLaunchString", REG_SZ, "https://%A:%P/console");
  HostRecord host;
  CollectManagementInfo(host);
  EXPECT_EQ(host.mgmtAgentType, 2);
  EXPECT_EQ(host.mgmtPort, 0x5678);
  EXPECT_EQ(host.mgmtLaunchString.str(), "https://%A:%P/console");

  // Too long for the field: cut to 35 characters and the terminator.
  SetStringValue(kManagementKey, "MgmtLaunchString", REG_SZ, "http://%A:%P/" + std::string(60, 'x'));
  DeleteValue(kManagementKey, "MgmtPort");
  CollectManagementInfo(host);
  EXPECT_EQ(host.mgmtLaunchString.str(), ("http://%A:%P/" + std::string(60, 'x')).substr(0, 35));
  EXPECT_EQ(host.mgmtLaunchString.bytes[35], '\0');
  EXPECT_EQ(host.mgmtPort, 0);
}

TEST_F(HostInfoTest, ModelNameFromTheTransportOrUnknown) {
  HostRecord host;
  FakeTransportSetModel("R5 Board");
  CollectModelName(host);
  EXPECT_EQ(host.modelName.str(), "R5 Board");
  FakeTransportSetModel(nullptr);
  CollectModelName(host);
  const char expected[16] = "Unknown";
  EXPECT_EQ(std::memcmp(host.modelName.bytes.data(), expected, 16), 0);
}

TEST(OsVersion, WineDefaultVersionIsSevenSp1Workstation) {
  OsInfo os;
  CollectOsInfo(os);
  EXPECT_EQ(os.osPlatform, 2);
  EXPECT_EQ(os.osMajor, 6);
  EXPECT_EQ(os.osMinor, 1);
  EXPECT_EQ(os.osBuild, 7601u);
  EXPECT_EQ(os.servicePack, 1);
  EXPECT_EQ(os.osEdition, 0);
  EXPECT_EQ(os.osVariant, 0);
}

// Runs in a child of this program that Wine tells it is Windows 10 (1903): the test program
// has no compatibility manifest, so GetVersionExA says 6.2.9200 as on real Windows.
TEST(OsVersion, ChildOnWindows10) {
  if (GetEnvironmentVariableA("NETVANE_VERSION_PROBE", nullptr, 0) == 0) GTEST_SKIP();
  OSVERSIONINFOEXA legacy;
  std::memset(&legacy, 0, sizeof legacy);
  legacy.dwOSVersionInfoSize = sizeof legacy;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&legacy)));
#pragma GCC diagnostic pop
  EXPECT_EQ(legacy.dwMajorVersion, 6u);
  EXPECT_EQ(legacy.dwMinorVersion, 2u);
  EXPECT_EQ(legacy.dwBuildNumber, 9200u);
  OsInfo os;
  CollectOsInfo(os);
  EXPECT_EQ(os.osMajor, 10);
  EXPECT_EQ(os.osMinor, 0);
  EXPECT_EQ(os.osBuild, 18362u);
  EXPECT_EQ(os.osEdition, 0);
}

TEST(OsVersion, TrueVersionBeyondTheCompatibilityLie) {
  char self[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, self, sizeof self), 0u);
  const char* name = std::strrchr(self, '\\') ? std::strrchr(self, '\\') + 1 : self;
  const std::string key = std::string("Software\\Wine\\AppDefaults\\") + name;
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "Version", REG_SZ, "win10", 6), 0);
  SetEnvironmentVariableA("NETVANE_VERSION_PROBE", "1");
  std::string command = std::string("\"") + self + "\" --gtest_filter=OsVersion.ChildOnWindows10";
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  std::memset(&process, 0, sizeof process);
  const BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &process);
  SetEnvironmentVariableA("NETVANE_VERSION_PROBE", nullptr);
  DWORD exitCode = 1;
  if (started) {
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
  ASSERT_TRUE(started);
  EXPECT_EQ(exitCode, 0u);
}

FakeAdapter Addressed(ULONG index, const char* ip) {
  FakeAdapter a;
  a.index = index;
  a.guid = "{6E657476-616E-6500-0000-00000000000" + std::to_string(index) + "}";
  a.ip = ip;
  return a;
}

TEST_F(HostInfoTest, SetupStateFromDefaultPasswordAndAddresses) {
  FakeNetwork unaddressed;
  unaddressed.adapters = {Addressed(1, "0.0.0.0"), Addressed(2, "0.0.0.0")};
  FakeNetwork mixed;
  mixed.adapters = {Addressed(1, "198.51.100.1"), Addressed(2, "0.0.0.0")};
  FakeNetwork addressed;
  addressed.adapters = {Addressed(1, "198.51.100.1"), Addressed(2, "198.51.100.2")};
  FakeNetwork none;

  InstallFakeNetwork(unaddressed);
  EXPECT_EQ(ComputeSetupState(), 0);
  EXPECT_EQ(fakeLog.logonName, L"Administrator");
  EXPECT_EQ(fakeLog.logonPassword, L"7395");
  InstallFakeNetwork(mixed);
  EXPECT_EQ(ComputeSetupState(), 1);

  fakeLog.logonResult = FALSE;
  fakeLog.logonError = ERROR_LOGON_FAILURE;
  ForgetDefaultPasswordProbe();
  EXPECT_EQ(ComputeSetupState(), 2);
  InstallFakeNetwork(addressed);
  EXPECT_EQ(ComputeSetupState(), 4);
  InstallFakeNetwork(none);
  EXPECT_EQ(ComputeSetupState(), 4);

  // Accepted logon but not an administrator: the default password does not count.
  fakeLog.logonResult = TRUE;
  fakeLog.logonToken.groups.pop_back();  // no S-1-5-32-544
  ForgetDefaultPasswordProbe();
  InstallFakeNetwork(unaddressed);
  EXPECT_EQ(ComputeSetupState(), 2);
}

// Every discovery from anyone asks for the setup state; a network logon with the factory
// password each time would lock the built-in Administrator of current Windows.
TEST_F(HostInfoTest, DefaultPasswordProbeRunsAtMostOncePerFiveMinutes) {
  FakeNetwork addressed;
  addressed.adapters = {Addressed(1, "198.51.100.1")};
  InstallFakeNetwork(addressed);
  fakeLog.logonResult = FALSE;
  fakeLog.logonError = ERROR_LOGON_FAILURE;
  for (int i = 0; i < 50; ++i) EXPECT_EQ(ComputeSetupState(), SetupState::AllAddressed);
  EXPECT_EQ(fakeLog.logonCalls, 1);

  fakeLog.logonResult = TRUE;  // the password was reset behind the agent's back
  fakeLog.nowMs += kDefaultPasswordProbeIntervalMs - 1;
  EXPECT_EQ(ComputeSetupState(), SetupState::AllAddressed) << "result reused";
  EXPECT_EQ(fakeLog.logonCalls, 1);
  fakeLog.nowMs += 1;
  EXPECT_EQ(ComputeSetupState(), SetupState::DefaultPasswordAddressed);
  EXPECT_EQ(fakeLog.logonCalls, 2);

  // Locked out: not "accepted", and the lockout is not prolonged by further probes.
  fakeLog.logonResult = FALSE;
  fakeLog.logonError = ERROR_ACCOUNT_LOCKED_OUT;
  ForgetDefaultPasswordProbe();  // as after a password change
  EXPECT_EQ(ComputeSetupState(), SetupState::AllAddressed);
  EXPECT_EQ(ComputeSetupState(), SetupState::AllAddressed);
  EXPECT_EQ(fakeLog.logonCalls, 3);
}

}  // namespace
