#include "fake_system.h"

#include <sddl.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "agent/host_info.h"
#include "protocol/ipv4.h"
#include "fake_transport.h"

FakeSystemLog fakeLog;

namespace {

FakeNetwork network;

enum class TokenKind { Primary, Impersonation, Identification };

struct HandedToken {
  std::string role;  // "logon" or "linked"
  FakeToken token;
  TokenKind kind;
};

// The handles the doubles handed out, with the token each stands for.
std::map<HANDLE, HandedToken> tokens;

HANDLE NewTokenHandle(const std::string& role, const FakeToken& token,
                      TokenKind kind = TokenKind::Primary) {
  // Any handle the agent may close: a duplicate of the process token.
  HANDLE handle = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &handle);
  tokens[handle] = {role, token, kind};
  return handle;
}

BOOL WINAPI FakeGetTokenInformation(HANDLE handle, TOKEN_INFORMATION_CLASS kind, LPVOID out,
                                    DWORD length, PDWORD needed) {
  auto found = tokens.find(handle);
  if (!fakeLog.tokenReadable || found == tokens.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const FakeToken& token = found->second.token;
  if (kind == TokenElevationType) {
    *needed = sizeof(TOKEN_ELEVATION_TYPE);
    if (length < *needed) return SetLastError(ERROR_INSUFFICIENT_BUFFER), FALSE;
    *static_cast<TOKEN_ELEVATION_TYPE*>(out) = token.elevation;
    return TRUE;
  }
  if (kind == TokenLinkedToken) {
    *needed = sizeof(TOKEN_LINKED_TOKEN);
    if (length < *needed) return SetLastError(ERROR_INSUFFICIENT_BUFFER), FALSE;
    if (!fakeLog.hasLinkedToken) return SetLastError(ERROR_NO_SUCH_LOGON_SESSION), FALSE;
    static_cast<TOKEN_LINKED_TOKEN*>(out)->LinkedToken =
        NewTokenHandle("linked", fakeLog.linkedToken,
                       fakeLog.linkedIdentificationOnly ? TokenKind::Identification
                                                        : TokenKind::Primary);
    return TRUE;
  }
  if (kind != TokenGroups) return SetLastError(ERROR_INVALID_PARAMETER), FALSE;
  std::vector<PSID> sids;
  DWORD size = static_cast<DWORD>(offsetof(TOKEN_GROUPS, Groups) +
                                  token.groups.size() * sizeof(SID_AND_ATTRIBUTES));
  for (const auto& group : token.groups) {
    PSID sid = nullptr;
    ConvertStringSidToSidW(group.first.c_str(), &sid);
    sids.push_back(sid);
    size += GetLengthSid(sid);
  }
  *needed = size;
  BOOL result = FALSE;
  if (length < size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
  } else {
    auto* groups = static_cast<TOKEN_GROUPS*>(out);
    groups->GroupCount = static_cast<DWORD>(sids.size());
    auto* place = reinterpret_cast<BYTE*>(&groups->Groups[sids.size()]);
    for (std::size_t i = 0; i < sids.size(); ++i) {
      const DWORD sidLength = GetLengthSid(sids[i]);
      CopySid(sidLength, place, sids[i]);
      groups->Groups[i].Sid = place;
      groups->Groups[i].Attributes = token.groups[i].second;
      place += sidLength;
    }
    result = TRUE;
  }
  for (PSID sid : sids) LocalFree(sid);
  return result;
}

BOOL WINAPI FakeDuplicateTokenEx(HANDLE source, DWORD, LPSECURITY_ATTRIBUTES,
                                 SECURITY_IMPERSONATION_LEVEL level, TOKEN_TYPE type,
                                 PHANDLE copy) {
  auto found = tokens.find(source);
  if (found == tokens.end()) return SetLastError(ERROR_INVALID_HANDLE), FALSE;
  // An identification token cannot be raised to one that acts as the account.
  if (found->second.kind == TokenKind::Identification && level > SecurityIdentification)
    return SetLastError(ERROR_BAD_IMPERSONATION_LEVEL), FALSE;
  if (found->second.role == "linked") ++fakeLog.linkedDuplicates;
  *copy = NewTokenHandle(found->second.role, found->second.token,
                         type == TokenPrimary ? TokenKind::Primary : TokenKind::Impersonation);
  return TRUE;
}

BOOL WINAPI FakeSetThreadToken(PHANDLE, HANDLE token) {
  auto found = tokens.find(token);
  fakeLog.impersonated = found == tokens.end() ? "other" : found->second.role;
  return TRUE;
}

// As documented: an impersonation token only; the SID counts when enabled and not deny-only.
BOOL WINAPI FakeCheckTokenMembership(HANDLE handle, PSID sid, PBOOL member) {
  ++fakeLog.membershipChecks;
  auto found = tokens.find(handle);
  if (!fakeLog.tokenReadable || found == tokens.end())
    return SetLastError(ERROR_INVALID_HANDLE), FALSE;
  if (found->second.kind == TokenKind::Primary)
    return SetLastError(ERROR_NO_IMPERSONATION_TOKEN), FALSE;
  *member = FALSE;
  for (const auto& group : found->second.token.groups) {
    PSID groupSid = nullptr;
    ConvertStringSidToSidW(group.first.c_str(), &groupSid);
    if (groupSid != nullptr && EqualSid(groupSid, sid) && (group.second & SE_GROUP_ENABLED) &&
        !(group.second & SE_GROUP_USE_FOR_DENY_ONLY))
      *member = TRUE;
    LocalFree(groupSid);
  }
  return TRUE;
}

std::wstring TextOrNull(LPCWSTR text) { return text ? text : L"<null>"; }

NET_API_STATUS WINAPI FakeNetUserChangePassword(LPCWSTR domain, LPCWSTR user, LPCWSTR old,
                                                LPCWSTR password) {
  ++fakeLog.changeCalls;
  fakeLog.changeDomain = TextOrNull(domain);
  fakeLog.changeUser = TextOrNull(user);
  fakeLog.changeOld = TextOrNull(old);
  fakeLog.changeNew = TextOrNull(password);
  return fakeLog.changeResult;
}

DWORD FakeDsRoleGetPrimaryDomainInformation(DSROLE_PRIMARY_DOMAIN_INFO_LEVEL level,
                                            PBYTE* buffer) {
  ++fakeLog.roleQueries;
  *buffer = nullptr;
  if (level != DsRolePrimaryDomainInfoBasic) return ERROR_INVALID_PARAMETER;
  if (fakeLog.roleResult != ERROR_SUCCESS) return fakeLog.roleResult;
  auto* info = new DSROLE_PRIMARY_DOMAIN_INFO_BASIC();
  info->MachineRole = fakeLog.role;
  ++fakeLog.roleBuffersLeft;
  *buffer = reinterpret_cast<PBYTE>(info);
  return ERROR_SUCCESS;
}

void FakeDsRoleFreeMemory(PVOID buffer) {
  if (buffer == nullptr) return;
  --fakeLog.roleBuffersLeft;
  delete static_cast<DSROLE_PRIMARY_DOMAIN_INFO_BASIC*>(buffer);
}

NET_API_STATUS WINAPI FakeNetGetJoinInformation(LPCWSTR, LPWSTR* name,
                                                PNETSETUP_JOIN_STATUS join) {
  ++fakeLog.joinQueries;
  *name = nullptr;
  if (fakeLog.joinResult != NERR_Success) return fakeLog.joinResult;
  LPVOID buffer = nullptr;
  NetApiBufferAllocate(sizeof L"WORKGROUP", &buffer);
  std::memcpy(buffer, L"WORKGROUP", sizeof L"WORKGROUP");
  *name = static_cast<LPWSTR>(buffer);
  *join = fakeLog.join;
  return NERR_Success;
}

BOOL WINAPI FakeAdjustTokenPrivileges(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES,
                                      PDWORD) {
  SetLastError(fakeLog.privilegeHeld ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
  return TRUE;
}

BOOL WINAPI FakeInitiateSystemShutdownExW(LPWSTR machine, LPWSTR message, DWORD timeout,
                                          BOOL force, BOOL reboot, DWORD reason) {
  ++fakeLog.shutdownCalls;
  fakeLog.shutdownMessage = TextOrNull(message);
  fakeLog.shutdownTimeout = timeout;
  fakeLog.shutdownForce = force;
  fakeLog.shutdownReboot = reboot;
  fakeLog.shutdownReason = reason;
  FakeTransportNote(machine == nullptr ? "shutdown" : "shutdown-remote");
  if (!fakeLog.shutdownResult) SetLastError(fakeLog.shutdownError);
  return fakeLog.shutdownResult;
}

ULONGLONG WINAPI FakeGetTickCount64() {
  const ULONGLONG now = fakeLog.nowMs;
  fakeLog.nowMs += fakeLog.tickStepMs;
  return now;
}

BOOL WINAPI FakeLogonUserW(LPCWSTR name, LPCWSTR domain, LPCWSTR password, DWORD type, DWORD,
                           PHANDLE token) {
  ++fakeLog.logonCalls;
  fakeLog.logonName = name ? name : L"";
  fakeLog.logonDomain = TextOrNull(domain);
  fakeLog.logonType = type;
  fakeLog.logonPassword = password ? password : L"";
  if (!fakeLog.logonResult) {
    SetLastError(fakeLog.logonError);
    return FALSE;
  }
  if (!fakeLog.acceptedPassword.empty() && fakeLog.logonPassword != fakeLog.acceptedPassword) {
    SetLastError(ERROR_LOGON_FAILURE);
    return FALSE;
  }
  *token = NewTokenHandle("logon", fakeLog.logonToken);
  return TRUE;
}

NET_API_STATUS WINAPI FakeNetUserGetLocalGroups(LPCWSTR, LPCWSTR, DWORD, DWORD, LPBYTE* buffer,
                                                DWORD, LPDWORD read, LPDWORD total) {
  *buffer = nullptr;
  if (fakeLog.groupsResult != NERR_Success) return fakeLog.groupsResult;
  // One block as the system allocates it: the entries, then the names.
  std::size_t size = fakeLog.groups.size() * sizeof(LOCALGROUP_USERS_INFO_0);
  for (const std::wstring& g : fakeLog.groups) size += (g.size() + 1) * sizeof(wchar_t);
  LPVOID block = nullptr;
  NetApiBufferAllocate(static_cast<DWORD>(size ? size : 1), &block);
  auto* entries = static_cast<LOCALGROUP_USERS_INFO_0*>(block);
  wchar_t* text = reinterpret_cast<wchar_t*>(entries + fakeLog.groups.size());
  for (std::size_t i = 0; i < fakeLog.groups.size(); ++i) {
    std::wcscpy(text, fakeLog.groups[i].c_str());
    entries[i].lgrui0_name = text;
    text += fakeLog.groups[i].size() + 1;
  }
  *buffer = static_cast<LPBYTE>(block);
  *read = *total = static_cast<DWORD>(fakeLog.groups.size());
  return NERR_Success;
}

NET_API_STATUS WINAPI FakeNetUserSetInfo(LPCWSTR, LPCWSTR account, DWORD level, LPBYTE buffer,
                                         LPDWORD) {
  ++fakeLog.setInfoCalls;
  fakeLog.setInfoAccount = account ? account : L"";
  fakeLog.setInfoLevel = level;
  if (level == 1003 && buffer != nullptr) {
    const auto* info = reinterpret_cast<const USER_INFO_1003*>(buffer);
    fakeLog.setInfoPassword = info->usri1003_password ? info->usri1003_password : L"";
  }
  return fakeLog.setInfoResult;
}

DWORD FakeDhcpNotify(LPWSTR guid, BOOL isNew, DWORD address, DWORD mask, int action) {
  fakeLog.dhcp.push_back({guid ? guid : L"", isNew, address, mask, action});
  if (fakeLog.dhcpResults.empty()) return 0;
  const DWORD result = fakeLog.dhcpResults.front();
  fakeLog.dhcpResults.erase(fakeLog.dhcpResults.begin());
  return result;
}

FakeStack& stack() { return fakeLog.stack; }

std::vector<StackRoute>::iterator FindRoute(ULONG index, uint32_t gateway) {
  auto& routes = stack().routes;
  for (auto it = routes.begin(); it != routes.end(); ++it)
    if (it->index == index && it->gateway == gateway) return it;
  return routes.end();
}

std::vector<StackAddress>::iterator FindAddress(ULONG index, uint32_t address) {
  auto& addresses = stack().addresses;
  for (auto it = addresses.begin(); it != addresses.end(); ++it)
    if (it->index == index && it->address == address) return it;
  return addresses.end();
}

uint32_t HostOrder(const SOCKADDR_INET& address) { return ntohl(address.Ipv4.sin_addr.s_addr); }

void Note(const std::string& call) { stack().calls.push_back(call); }

DWORD WINAPI FakeDeleteRoute(PMIB_IPFORWARDROW row) {
  fakeLog.routes.push_back({false, *row});
  auto found = FindRoute(row->dwForwardIfIndex, ntohl(row->dwForwardNextHop));
  if (found == stack().routes.end()) return ERROR_NOT_FOUND;
  stack().routes.erase(found);
  return NO_ERROR;
}

// SetIpForwardEntry modifies an existing route; on Vista and later a route that is not
// there (deleted just before, say) is ERROR_NOT_FOUND.
DWORD WINAPI FakeSetRoute(PMIB_IPFORWARDROW row) {
  fakeLog.routes.push_back({true, *row});
  DWORD result = NO_ERROR;
  if (!fakeLog.setRouteResults.empty()) {
    result = fakeLog.setRouteResults.front();
    fakeLog.setRouteResults.erase(fakeLog.setRouteResults.begin());
    return result;
  }
  const uint32_t gateway = ntohl(row->dwForwardNextHop);
  if (FindRoute(row->dwForwardIfIndex, gateway) != stack().routes.end()) return NO_ERROR;
  if (fakeLog.version.major >= 6) return ERROR_NOT_FOUND;
  stack().routes.push_back({row->dwForwardIfIndex, gateway});
  return NO_ERROR;
}

DWORD WINAPI FakeCreateAddress(const MIB_UNICASTIPADDRESS_ROW* row) {
  const uint32_t address = HostOrder(row->Address);
  Note("add-address " + std::to_string(row->InterfaceIndex) + " " + FormatIpv4(address) + "/" +
       std::to_string(row->OnLinkPrefixLength));
  if (stack().addAddressResult != NO_ERROR) return std::exchange(stack().addAddressResult, 0);
  if (row->Address.Ipv4.sin_family != AF_INET || row->InterfaceIndex == 0 ||
      row->OnLinkPrefixLength > 32)
    return ERROR_INVALID_PARAMETER;
  if (FindAddress(row->InterfaceIndex, address) != stack().addresses.end())
    return ERROR_OBJECT_ALREADY_EXISTS;
  stack().addresses.push_back({row->InterfaceIndex, address, row->OnLinkPrefixLength});
  return NO_ERROR;
}

DWORD WINAPI FakeDeleteAddress(const MIB_UNICASTIPADDRESS_ROW* row) {
  const uint32_t address = HostOrder(row->Address);
  Note("delete-address " + std::to_string(row->InterfaceIndex) + " " + FormatIpv4(address));
  auto found = FindAddress(row->InterfaceIndex, address);
  if (found == stack().addresses.end()) return ERROR_NOT_FOUND;
  stack().addresses.erase(found);
  return NO_ERROR;
}

DWORD WINAPI FakeGetAddress(MIB_UNICASTIPADDRESS_ROW* row) {
  if (FindAddress(row->InterfaceIndex, HostOrder(row->Address)) == stack().addresses.end())
    return ERROR_NOT_FOUND;
  row->DadState = IpDadStatePreferred;
  if (!stack().dadStates.empty()) {
    row->DadState = stack().dadStates.front();
    stack().dadStates.erase(stack().dadStates.begin());
  }
  return NO_ERROR;
}

DWORD WINAPI FakeCreateRoute2(const MIB_IPFORWARD_ROW2* row) {
  const uint32_t gateway = HostOrder(row->NextHop);
  Note("add-route " + std::to_string(row->InterfaceIndex) + " " + FormatIpv4(gateway) +
       " metric " + std::to_string(row->Metric));
  if (stack().addRouteResult != NO_ERROR) return std::exchange(stack().addRouteResult, 0);
  if (row->DestinationPrefix.PrefixLength != 0 || row->InterfaceIndex == 0 ||
      row->NextHop.Ipv4.sin_family != AF_INET)
    return ERROR_INVALID_PARAMETER;
  if (FindRoute(row->InterfaceIndex, gateway) != stack().routes.end())
    return ERROR_OBJECT_ALREADY_EXISTS;
  stack().routes.push_back({row->InterfaceIndex, gateway});
  return NO_ERROR;
}

DWORD WINAPI FakeDeleteRoute2(const MIB_IPFORWARD_ROW2* row) {
  const uint32_t gateway = HostOrder(row->NextHop);
  Note("delete-route " + std::to_string(row->InterfaceIndex) + " " + FormatIpv4(gateway));
  auto found = FindRoute(row->InterfaceIndex, gateway);
  if (found == stack().routes.end()) return ERROR_NOT_FOUND;
  stack().routes.erase(found);
  return NO_ERROR;
}

DWORD WINAPI FakeSetInterfaceDns(GUID guid, const DnsInterfaceSettings* settings) {
  wchar_t text[64];
  StringFromGUID2(guid, text, 64);
  std::string servers;
  if (settings->NameServer != nullptr)
    for (const wchar_t* c = settings->NameServer; *c; ++c) servers.push_back(static_cast<char>(*c));
  std::string name;
  for (const wchar_t* c = text; *c; ++c) name.push_back(static_cast<char>(*c));
  Note("dns " + name + " " + servers);
  if (settings->Version != kDnsInterfaceSettingsVersion1 || settings->Flags != kDnsSettingNameServer)
    return ERROR_INVALID_PARAMETER;
  return stack().dnsResult;
}

DWORD WINAPI FakeRelease(PIP_ADAPTER_INDEX_MAP entry) {
  Note("release " + std::to_string(entry->Index));
  return NO_ERROR;
}

DWORD WINAPI FakeRenew(PIP_ADAPTER_INDEX_MAP entry) {
  Note("renew " + std::to_string(entry->Index));
  return stack().renewResult;
}

ReportedVersion FakeReadVersion() { return fakeLog.version; }

void WINAPI FakeSleep(DWORD) { ++stack().sleeps; }

void CopyText(char* out, std::size_t width, const std::string& text) {
  std::memset(out, 0, width);
  std::strncpy(out, text.c_str(), width - 1);
}

DWORD WINAPI FakeGetInterfaceInfo(PIP_INTERFACE_INFO table, PULONG size) {
  const std::size_t needed = offsetof(IP_INTERFACE_INFO, Adapter) +
                             network.adapters.size() * sizeof(IP_ADAPTER_INDEX_MAP);
  if (table == nullptr || *size < needed) {
    *size = static_cast<ULONG>(needed < sizeof(IP_INTERFACE_INFO) ? sizeof(IP_INTERFACE_INFO)
                                                                  : needed);
    return ERROR_INSUFFICIENT_BUFFER;
  }
  table->NumAdapters = static_cast<LONG>(network.adapters.size()) + network.interfaceClaimExtra;
  for (std::size_t i = 0; i < network.adapters.size(); ++i) {
    table->Adapter[i].Index = network.adapters[i].index;
    const std::wstring name = WideAdapterName(network.adapters[i].guid);
    std::wcsncpy(table->Adapter[i].Name, name.c_str(), MAX_ADAPTER_NAME - 1);
  }
  return NO_ERROR;
}

ULONG WINAPI FakeGetAdaptersInfo(PIP_ADAPTER_INFO list, PULONG size) {
  std::size_t count = 0;
  std::size_t extraGateways = 0;
  for (const FakeAdapter& a : network.adapters) {
    if (!a.inAdapterList) continue;
    ++count;
    if (a.gateways.size() > 1) extraGateways += a.gateways.size() - 1;
  }
  if (count == 0) return ERROR_NO_DATA;
  const std::size_t needed = count * sizeof(IP_ADAPTER_INFO) + extraGateways * sizeof(IP_ADDR_STRING);
  if (list == nullptr || *size < needed) {
    *size = static_cast<ULONG>(needed);
    return ERROR_BUFFER_OVERFLOW;
  }
  std::memset(list, 0, needed);
  IP_ADDR_STRING* spare = reinterpret_cast<IP_ADDR_STRING*>(list + count);
  // The list runs in reverse order of the interface table, as an adapter list may.
  std::size_t k = 0;
  for (std::size_t n = network.adapters.size(); n-- > 0;) {
    const FakeAdapter& a = network.adapters[n];
    if (!a.inAdapterList) continue;
    IP_ADAPTER_INFO& info = list[k];
    info.Next = k + 1 < count ? &list[k + 1] : nullptr;
    info.Index = a.index;
    info.ComboIndex = a.index;
    CopyText(info.AdapterName, sizeof info.AdapterName, a.guid);
    info.AddressLength = 6;
    std::memcpy(info.Address, a.mac, 6);
    info.DhcpEnabled = a.dhcp ? 1 : 0;
    CopyText(info.IpAddressList.IpAddress.String, 16, a.ip);
    CopyText(info.IpAddressList.IpMask.String, 16, a.mask);
    IP_ADDR_STRING* gateway = &info.GatewayList;
    for (std::size_t g = 0; g < a.gateways.size(); ++g) {
      if (g > 0) {
        gateway->Next = spare;
        gateway = spare++;
      }
      CopyText(gateway->IpAddress.String, 16, a.gateways[g]);
    }
    ++k;
  }
  return NO_ERROR;
}

DWORD WINAPI FakeGetNetworkParams(PFIXED_INFO info, PULONG size) {
  if (info == nullptr || *size < sizeof(FIXED_INFO)) {
    *size = sizeof(FIXED_INFO);
    return ERROR_BUFFER_OVERFLOW;
  }
  std::memset(info, 0, sizeof(FIXED_INFO));
  CopyText(info->HostName, sizeof info->HostName, "testhost");
  CopyText(info->DnsServerList.IpAddress.String, 16, network.dns);
  return NO_ERROR;
}

}  // namespace

ReportedVersion ServerVersion(uint32_t major, uint32_t minor, uint32_t build) {
  ReportedVersion version;
  version.platformId = VER_PLATFORM_WIN32_NT;
  version.major = major;
  version.minor = minor;
  version.build = build;
  version.productType = VER_NT_SERVER;
  return version;
}

bool FakeStack::hasAddress(ULONG index, const char* address) const {
  for (const StackAddress& a : addresses)
    if (a.index == index && a.address == ParseIpv4(address)) return true;
  return false;
}

bool FakeStack::hasRoute(ULONG index, const char* gateway) const {
  for (const StackRoute& r : routes)
    if (r.index == index && r.gateway == ParseIpv4(gateway)) return true;
  return false;
}

FakeToken AdministratorToken() {
  FakeToken token;
  token.groups = {{L"S-1-1-0", kEnabledGroup},
                  {L"S-1-5-32-545", kEnabledGroup},
                  {L"S-1-5-32-544", kEnabledGroup | SE_GROUP_OWNER}};
  return token;
}

FakeToken FilteredToken() {
  FakeToken token = AdministratorToken();
  token.groups[2].second = SE_GROUP_USE_FOR_DENY_ONLY;
  token.elevation = TokenElevationTypeLimited;
  return token;
}

void InstallSafeFakes() {
  fakeLog = FakeSystemLog();
  tokens.clear();
  ForgetDefaultPasswordProbe();
  agentSystem.getTokenInformation = FakeGetTokenInformation;
  agentSystem.duplicateTokenEx = FakeDuplicateTokenEx;
  agentSystem.setThreadToken = FakeSetThreadToken;
  agentSystem.getTickCount64 = FakeGetTickCount64;
  agentSystem.logonUserW = FakeLogonUserW;
  agentSystem.netUserGetLocalGroups = FakeNetUserGetLocalGroups;
  agentSystem.netUserSetInfo = FakeNetUserSetInfo;
  agentSystem.dhcpNotifyConfigChange = FakeDhcpNotify;
  agentSystem.deleteIpForwardEntry = FakeDeleteRoute;
  agentSystem.setIpForwardEntry = FakeSetRoute;
  agentSystem.createUnicastIpAddressEntry = FakeCreateAddress;
  agentSystem.deleteUnicastIpAddressEntry = FakeDeleteAddress;
  agentSystem.getUnicastIpAddressEntry = FakeGetAddress;
  agentSystem.createIpForwardEntry2 = FakeCreateRoute2;
  agentSystem.deleteIpForwardEntry2 = FakeDeleteRoute2;
  agentSystem.setInterfaceDnsSettings = FakeSetInterfaceDns;
  agentSystem.ipReleaseAddress = FakeRelease;
  agentSystem.ipRenewAddress = FakeRenew;
  agentSystem.readVersion = FakeReadVersion;
  agentSystem.sleep = FakeSleep;
  agentSystem.checkTokenMembership = FakeCheckTokenMembership;
  agentSystem.netUserChangePassword = FakeNetUserChangePassword;
  agentSystem.dsRoleGetPrimaryDomainInformation = FakeDsRoleGetPrimaryDomainInformation;
  agentSystem.dsRoleFreeMemory = FakeDsRoleFreeMemory;
  agentSystem.netGetJoinInformation = FakeNetGetJoinInformation;
  agentSystem.adjustTokenPrivileges = FakeAdjustTokenPrivileges;
  agentSystem.initiateSystemShutdownExW = FakeInitiateSystemShutdownExW;
}

void InstallFakeNetwork(const FakeNetwork& fake) {
  network = fake;
  agentSystem.getInterfaceInfo = FakeGetInterfaceInfo;
  agentSystem.getAdaptersInfo = FakeGetAdaptersInfo;
  agentSystem.getNetworkParams = FakeGetNetworkParams;
}

void AgentTest::SetUp() {
  saved_ = agentSystem;
  InstallSafeFakes();
}

void AgentTest::TearDown() { agentSystem = saved_; }

std::string InterfaceKeyPath(const std::string& guid) {
  return "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\" + guid;
}

void CreateKey(const std::string& path) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

void DeleteKeyTree(const std::string& path) { RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str()); }

void SetStringValue(const std::string& path, const char* name, DWORD type,
                    const std::string& text) {
  std::vector<char> data(text.begin(), text.end());
  data.push_back('\0');
  if (type == REG_MULTI_SZ) data.push_back('\0');
  ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, path.c_str(), name, type, data.data(),
                            static_cast<DWORD>(data.size())),
            ERROR_SUCCESS);
}

void SetDwordValue(const std::string& path, const char* name, DWORD value) {
  ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, path.c_str(), name, REG_DWORD, &value,
                            sizeof value),
            ERROR_SUCCESS);
}

void DeleteValue(const std::string& path, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
    return;
  RegDeleteValueA(key, name);
  RegCloseKey(key);
}

bool GetRawValue(const std::string& path, const char* name, std::vector<uint8_t>& data,
                 DWORD* type) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  DWORD size = 0;
  DWORD kind = 0;
  bool found = RegQueryValueExA(key, name, nullptr, &kind, nullptr, &size) == ERROR_SUCCESS;
  if (found) {
    data.assign(size, 0);
    found = RegQueryValueExA(key, name, nullptr, &kind, data.data(), &size) == ERROR_SUCCESS;
    data.resize(size);
  }
  RegCloseKey(key);
  if (found && type) *type = kind;
  return found;
}

std::string GetStringValue(const std::string& path, const char* name) {
  std::vector<uint8_t> data;
  if (!GetRawValue(path, name, data)) return "<missing>";
  std::string text(data.begin(), data.end());
  return text.substr(0, text.find('\0'));
}

std::wstring WideAdapterName(const std::string& guid) {
  return L"\\DEVICE\\TCPIP_" + std::wstring(guid.begin(), guid.end());
}
