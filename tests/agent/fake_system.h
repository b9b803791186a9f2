// Test doubles behind the agent's system-call table, and registry helpers for tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "agent/system_calls.h"

struct FakeAdapter {
  ULONG index = 0;
  std::string guid;  // with braces
  uint8_t mac[6] = {};
  std::string ip;    // first address text, "" for none
  std::string mask;
  std::vector<std::string> gateways;  // texts of the gateway list, in order
  bool dhcp = false;
  bool inAdapterList = true;  // false: only in the interface table
};

struct FakeNetwork {
  std::vector<FakeAdapter> adapters;  // interface table order as the system gives it
  std::string dns;
  int interfaceClaimExtra = 0;  // NumAdapters claims this many entries more than present
};

struct DhcpCall {
  std::wstring guid;
  BOOL isNewIpAddress;
  DWORD ipAddress;
  DWORD subnetMask;
  int action;
};

struct RouteCall {
  bool set;  // false: delete
  MIB_IPFORWARDROW row;
};

// The running IPv4 stack as the IP helper doubles keep it: what a create adds and a delete
// removes, refusing what Windows refuses (an address or route twice, a missing one).
struct StackAddress {
  ULONG index;
  uint32_t address;  // host byte order
  uint8_t prefix;
};
struct StackRoute {
  ULONG index;
  uint32_t gateway;  // host byte order, default routes only
};
struct FakeStack {
  std::vector<StackAddress> addresses;
  std::vector<StackRoute> routes;
  // Every call in order, e.g. "add-address 3 192.168.0.1/24", "delete-route 3 198.51.100.1",
  // "dns {GUID} 198.51.100.53,198.51.100.54", "release 3", "renew 3".
  std::vector<std::string> calls;
  std::vector<NL_DAD_STATE> dadStates;  // read in order by each poll; preferred once used up
  DWORD addAddressResult = NO_ERROR;    // forced result of the next address create
  DWORD addRouteResult = NO_ERROR;      // forced result of the next route create
  DWORD dnsResult = NO_ERROR;
  DWORD renewResult = NO_ERROR;
  int sleeps = 0;
  bool hasAddress(ULONG index, const char* address) const;
  bool hasRoute(ULONG index, const char* gateway) const;
};

// A token as the doubles hand it out: its groups (SID text, attributes) and UAC state.
struct FakeToken {
  std::vector<std::pair<std::wstring, DWORD>> groups;
  TOKEN_ELEVATION_TYPE elevation = TokenElevationTypeDefault;
};

constexpr DWORD kEnabledGroup = SE_GROUP_ENABLED | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_MANDATORY;
// A full token of a local administrator: Users and Administrators (S-1-5-32-544) enabled.
FakeToken AdministratorToken();
// A UAC-filtered one: Administrators for deny only.
FakeToken FilteredToken();

ReportedVersion ServerVersion(uint32_t major, uint32_t minor, uint32_t build);

struct FakeSystemLog {
  std::vector<DhcpCall> dhcp;
  std::vector<DWORD> dhcpResults;  // consumed in order; 0 once used up
  std::vector<RouteCall> routes;
  std::vector<DWORD> setRouteResults;  // consumed in order; NO_ERROR once used up
  BOOL logonResult = TRUE;
  DWORD logonError = 0;
  std::wstring logonName;
  std::wstring logonPassword;
  int logonCalls = 0;
  FakeToken logonToken = AdministratorToken();  // what the logon hands out
  FakeToken linkedToken = AdministratorToken();  // its linked token, for a filtered one
  bool tokenReadable = true;  // false: a token whose information cannot be read (as Wine's)
  std::string impersonated;   // "logon", "linked" or "other": the token last impersonated
  int linkedDuplicates = 0;
  std::wstring acceptedPassword;  // not empty: the only password the logon accepts (else 1326)
  ULONGLONG nowMs = 1000000;  // the clock seam's time
  ULONGLONG tickStepMs = 0;   // added after every reading of the clock
  NET_API_STATUS groupsResult = NERR_Success;
  std::vector<std::wstring> groups = {L"Users", L"Administrators"};
  NET_API_STATUS setInfoResult = NERR_Success;
  std::wstring setInfoAccount;
  std::wstring setInfoPassword;
  DWORD setInfoLevel = 0;
  int setInfoCalls = 0;
  ReportedVersion version = ServerVersion(5, 2, 3790);  // which path the settings take
  FakeStack stack;

  // Accounts, host name and restart.
  std::wstring logonDomain = L"<none>";  // "<null>" when the logon was given no domain
  DWORD logonType = 0;
  bool hasLinkedToken = true;           // false: a filtered token without its linked one
  bool linkedIdentificationOnly = false;  // the linked token as a caller without SeTcb gets it
  int membershipChecks = 0;
  NET_API_STATUS changeResult = NERR_Success;
  int changeCalls = 0;
  std::wstring changeDomain;  // "<null>" for none
  std::wstring changeUser;
  std::wstring changeOld;
  std::wstring changeNew;
  DWORD roleResult = ERROR_SUCCESS;  // ERROR_PROC_NOT_FOUND: a system before Vista
  DSROLE_MACHINE_ROLE role = DsRole_RoleStandaloneWorkstation;
  int roleQueries = 0;
  int roleBuffersLeft = 0;  // handed out and not yet freed
  NET_API_STATUS joinResult = NERR_Success;  // the join state, asked where the role is missing
  NETSETUP_JOIN_STATUS join = NetSetupWorkgroupName;
  int joinQueries = 0;
  bool privilegeHeld = true;  // false: AdjustTokenPrivileges leaves ERROR_NOT_ALL_ASSIGNED
  BOOL shutdownResult = TRUE;
  DWORD shutdownError = ERROR_SUCCESS;
  int shutdownCalls = 0;
  std::wstring shutdownMessage;
  DWORD shutdownTimeout = 0;
  BOOL shutdownForce = FALSE;
  BOOL shutdownReboot = FALSE;
  DWORD shutdownReason = 0;
};

extern FakeSystemLog fakeLog;

// Replaces the calls a test must never make for real (password change, DHCP client
// notification, route and address changes, restart, domain role) and the logon checks; keeps
// the real IP helper queries.
void InstallSafeFakes();
// Replaces the IP helper queries by the given network as well.
void InstallFakeNetwork(const FakeNetwork& network);

// Saves the call table and installs the safe fakes; restores the table afterwards.
class AgentTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  AgentSystemCalls saved_;
};

// Registry helpers (HKEY_LOCAL_MACHINE paths).
std::string InterfaceKeyPath(const std::string& guid);
void CreateKey(const std::string& path);
void DeleteKeyTree(const std::string& path);
void SetStringValue(const std::string& path, const char* name, DWORD type, const std::string& text);
void SetDwordValue(const std::string& path, const char* name, DWORD value);
void DeleteValue(const std::string& path, const char* name);
// Raw bytes and type of a value; false when it does not exist.
bool GetRawValue(const std::string& path, const char* name, std::vector<uint8_t>& data,
                 DWORD* type = nullptr);
std::string GetStringValue(const std::string& path, const char* name);  // up to the first NUL
std::wstring WideAdapterName(const std::string& guid);
