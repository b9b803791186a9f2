#include "agent/host_name.h"

#include <cstring>
#include <cwchar>

#include "agent/system_calls.h"  // before any other Windows header: it brings winsock2.h
#include "agent/accounts.h"
#include "agent/registry.h"
#include "protocol/frames.h"

namespace {

const char kParameterKey[] = "SYSTEM\\CurrentControlSet\\Services\\TaviAgent\\Parameter";
const char kConfiguredNameKey[] = "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
const char kActiveNameKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName";

typedef BOOL(WINAPI* SetComputerNameExAFn)(COMPUTER_NAME_FORMAT, LPCSTR);

constexpr std::size_t kNetBiosNameMaxChars = 15;
// Long enough for a service's reply to leave before the shut-down starts; a signed-in user
// sees the notice with the message for that long.
constexpr DWORD kRestartNoticeSeconds = 5;
// "Operating System: Reconfiguration (Planned)": a restart that makes a new name or new
// network settings take effect.
constexpr DWORD kRestartReason =
    SHTDN_REASON_MAJOR_OPERATINGSYSTEM | SHTDN_REASON_MINOR_RECONFIG | SHTDN_REASON_FLAG_PLANNED;
const wchar_t kRestartMessagePrefix[] = L"Restart requested through Netvane by ";

HKEY CreateParameterKey(REGSAM access) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kParameterKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      access, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

}  // namespace

bool IsValidHostName(const char* name) {
  if (name == nullptr) return false;
  const std::size_t length = std::strlen(name);
  if (length == 0 || length > kNetBiosNameMaxChars) return false;
  if (name[0] == '-' || name[length - 1] == '-') return false;
  bool digitsOnly = true;
  for (std::size_t i = 0; i < length; ++i) {
    const char c = name[i];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !digit && c != '-') return false;
    if (!digit) digitsOnly = false;
  }
  return !digitsOnly;
}

namespace {

// Before Vista: the join state only, which does not tell a controller from a member; either
// is refused.
uint16_t RenameRefusalOfJoin() {
  LPWSTR name = nullptr;
  NETSETUP_JOIN_STATUS join = NetSetupUnknownStatus;
  const NET_API_STATUS result = agentSystem.netGetJoinInformation(nullptr, &name, &join);
  if (name != nullptr) NetApiBufferFree(name);
  if (result != NERR_Success) return Status::SettingFailed;
  switch (join) {
    case NetSetupUnjoined:
    case NetSetupWorkgroupName: return Status::Ok;
    case NetSetupDomainName: return Status::RenameRefusedDomainMember;
    default: return Status::SettingFailed;
  }
}

// 0 Ok for a workgroup or stand-alone host, the refusal for a domain controller or member,
// 2 when the role cannot be read (a rename is then not risked).
uint16_t RenameRefusalOfRole() {
  PBYTE buffer = nullptr;
  const DWORD result =
      agentSystem.dsRoleGetPrimaryDomainInformation(DsRolePrimaryDomainInfoBasic, &buffer);
  if (result == ERROR_PROC_NOT_FOUND) return RenameRefusalOfJoin();
  if (result != ERROR_SUCCESS || buffer == nullptr) return Status::SettingFailed;
  const DSROLE_MACHINE_ROLE role =
      reinterpret_cast<const DSROLE_PRIMARY_DOMAIN_INFO_BASIC*>(buffer)->MachineRole;
  agentSystem.dsRoleFreeMemory(buffer);
  switch (role) {
    case DsRole_RoleStandaloneWorkstation:
    case DsRole_RoleStandaloneServer: return Status::Ok;
    case DsRole_RoleMemberWorkstation:
    case DsRole_RoleMemberServer: return Status::RenameRefusedDomainMember;
    default: return Status::RenameRefusedDomainController;
  }
}

bool IsConfiguredName(const char* name) {
  char configured[kComputerNameBufferLength];
  std::memset(configured, 0, sizeof configured);
  return ReadComputerName(configured, kConfiguredName) && lstrcmpiA(configured, name) == 0;
}

}  // namespace

uint16_t SetHostName(const char* name) {
  if (name == nullptr) return Status::SettingFailed;
  if (name[0] == '\0') return Status::Ok;
  if (!IsValidHostName(name)) return Status::InvalidHostName;
  const uint16_t refusal = RenameRefusalOfRole();
  if (refusal != Status::Ok) {
    // A domain host asked for the name it has: nothing to rename.
    return (refusal != Status::SettingFailed && IsConfiguredName(name)) ? Status::Ok : refusal;
  }
  uint16_t status = Status::SettingFailed;
  HMODULE kernel = LoadLibraryA("Kernel32.dll");
  if (kernel != nullptr) {
    SetComputerNameExAFn setName = reinterpret_cast<SetComputerNameExAFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetComputerNameExA")));
    if (setName != nullptr && setName(ComputerNamePhysicalDnsHostname, name)) status = Status::Ok;
    FreeLibrary(kernel);
  }
  return status;
}

int ReadComputerName(char* buffer, int which) {
  if (buffer == nullptr) return 0;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, which == kActiveName ? kActiveNameKey : kConfiguredNameKey,
                    0, KEY_READ, &key) != ERROR_SUCCESS)
    return 0;
  // One byte short of the buffer, so the name always ends in a NUL.
  const int read = ReadRegValue(key, "ComputerName", buffer, kComputerNameBufferLength - 1);
  RegCloseKey(key);
  return read;
}

int LoadMagicNumber(uint32_t* magic) {
  if (magic == nullptr) return 0;
  HKEY key = CreateParameterKey(KEY_READ);
  if (key == nullptr) return 0;
  // Only a 4-byte REG_DWORD counts; a value of another type or size is treated as absent.
  DWORD value = 0;
  const int read = ReadRegDword(key, "MagicNumber", &value);
  RegCloseKey(key);
  if (read) *magic = value;
  return read;
}

int StoreMagicNumber(uint32_t magic) {
  HKEY key = CreateParameterKey(KEY_WRITE);
  if (key == nullptr) return 0;
  const DWORD value = magic;
  const int written = WriteRegValue(key, "MagicNumber", REG_DWORD, &value, sizeof value);
  RegCloseKey(key);
  return written;
}

int EnableShutdownPrivilege() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    return 0;
  TOKEN_PRIVILEGES privileges;
  std::memset(&privileges, 0, sizeof privileges);
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  int enabled = 0;
  if (LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) {
    SetLastError(ERROR_SUCCESS);
    // Succeeds with ERROR_NOT_ALL_ASSIGNED when the token does not hold the privilege.
    enabled = agentSystem.adjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
              GetLastError() == ERROR_SUCCESS;
  }
  CloseHandle(token);
  return enabled;
}

uint16_t RestartHost(const char* userName) {
  RevertToAgentContext();
  if (EnableShutdownPrivilege() != 1) return Status::RestartFailed;
  // "Restart requested through Netvane by NAME": control characters of the name shown as '?'.
  wchar_t message[sizeof kRestartMessagePrefix / sizeof(wchar_t) + kUserNameLength + 1];
  std::memset(message, 0, sizeof message);
  std::wcscpy(message, kRestartMessagePrefix);
  wchar_t* name = message + std::wcslen(message);
  std::size_t length = 0;
  while (userName != nullptr && length < kUserNameLength && userName[length] != '\0') ++length;
  if (length > 0)
    MultiByteToWideChar(CP_ACP, 0, userName, static_cast<int>(length), name,
                        static_cast<int>(kUserNameLength));
  for (wchar_t* c = name; *c != L'\0'; ++c)
    if (*c < L' ' || *c == 0x7F) *c = L'?';
  if (!agentSystem.initiateSystemShutdownExW(nullptr, message, kRestartNoticeSeconds, TRUE, TRUE,
                                             kRestartReason))
    return Status::RestartFailed;
  return Status::Ok;
}
