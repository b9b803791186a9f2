#include "agent/accounts.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "agent/system_calls.h"

namespace {

constexpr DWORD kTokenInformationLimit = 64 * 1024;
constexpr DWORD kGroupNameCapacity = 256;
const wchar_t kManagementAccount[] = L"RIDO USER";

// ANSI to UTF-16 into a zeroed buffer of `capacity` characters; the source is read up to its
// terminator or `sourceLength` bytes, whichever comes first.
void ToWide(const char* source, std::size_t sourceLength, wchar_t* out, int capacity) {
  std::memset(out, 0, sizeof(wchar_t) * static_cast<std::size_t>(capacity));
  std::size_t length = 0;
  while (length < sourceLength && source[length] != '\0') ++length;
  if (length == 0) return;
  MultiByteToWideChar(CP_ACP, 0, source, static_cast<int>(length), out, capacity - 1);
}

// S-1-5-32-544, the built-in Administrators group, whatever the system's language calls it.
bool AdministratorsSid(BYTE (&sid)[SECURITY_MAX_SID_SIZE]) {
  DWORD size = sizeof sid;
  return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) != FALSE;
}

// The token's information of that class in a buffer of its own (free with std::free); null
// when it cannot be read.
void* ReadTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, DWORD& size) {
  size = 0;
  agentSystem.getTokenInformation(token, kind, nullptr, 0, &size);
  if (size == 0 || size > kTokenInformationLimit) return nullptr;
  void* buffer = std::calloc(1, size);
  if (buffer == nullptr) return nullptr;
  DWORD filled = 0;
  if (!agentSystem.getTokenInformation(token, kind, buffer, size, &filled)) {
    std::free(buffer);
    return nullptr;
  }
  return buffer;
}

// 1 when the token holds the Administrators group enabled, 0 when not (a UAC-filtered token
// keeps it for deny only), -1 when its groups cannot be read.
int TokenHasAdministrators(HANDLE token) {
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  if (!AdministratorsSid(administrators)) return -1;
  DWORD size = 0;
  auto* groups = static_cast<TOKEN_GROUPS*>(ReadTokenInformation(token, TokenGroups, size));
  if (groups == nullptr) return -1;
  int member = 0;
  const std::size_t fits = size < offsetof(TOKEN_GROUPS, Groups)
                               ? 0
                               : (size - offsetof(TOKEN_GROUPS, Groups)) / sizeof(SID_AND_ATTRIBUTES);
  const std::size_t count = groups->GroupCount < fits ? groups->GroupCount : fits;
  for (std::size_t i = 0; i < count && member == 0; ++i) {
    const SID_AND_ATTRIBUTES& group = groups->Groups[i];
    if (group.Sid == nullptr || !IsValidSid(group.Sid) || !EqualSid(group.Sid, administrators))
      continue;
    if ((group.Attributes & SE_GROUP_ENABLED) && !(group.Attributes & SE_GROUP_USE_FOR_DENY_ONLY))
      member = 1;
  }
  std::free(groups);
  return member;
}

// A local administrator other than the built-in one gets a UAC-filtered token from a network
// logon; its linked token is the full one, which the agent (LocalSystem) may impersonate.
// Returns an impersonation token of the linked token, or `token` itself when it is not
// filtered or the linked token cannot be had.
HANDLE UnfilteredToken(HANDLE token) {
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  DWORD size = 0;
  if (!agentSystem.getTokenInformation(token, TokenElevationType, &type, sizeof type, &size) ||
      type != TokenElevationTypeLimited)
    return token;
  TOKEN_LINKED_TOKEN linked = {};
  if (!agentSystem.getTokenInformation(token, TokenLinkedToken, &linked, sizeof linked, &size) ||
      linked.LinkedToken == nullptr)
    return token;
  HANDLE full = nullptr;
  if (!agentSystem.duplicateTokenEx(linked.LinkedToken, TOKEN_QUERY | TOKEN_IMPERSONATE |
                                                            TOKEN_DUPLICATE,
                                    nullptr, SecurityImpersonation, TokenImpersonation, &full))
    full = nullptr;
  CloseHandle(linked.LinkedToken);
  if (full == nullptr) return token;
  CloseHandle(token);
  return full;
}

// For a token whose groups cannot be read: the account's local groups (nested ones count),
// compared with the name this system gives S-1-5-32-544. 1 member, 0 not.
int LocalGroupsHaveAdministrators(const wchar_t* account) {
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  if (!AdministratorsSid(administrators)) return 0;
  wchar_t groupName[kGroupNameCapacity];
  wchar_t domain[kGroupNameCapacity];
  DWORD nameLength = kGroupNameCapacity;
  DWORD domainLength = kGroupNameCapacity;
  SID_NAME_USE use;
  if (!LookupAccountSidW(nullptr, administrators, groupName, &nameLength, domain, &domainLength,
                         &use))
    return 0;

  LPBYTE groups = nullptr;
  DWORD read = 0;
  DWORD total = 0;
  int member = 0;
  if (agentSystem.netUserGetLocalGroups(nullptr, account, 0, LG_INCLUDE_INDIRECT, &groups,
                                        MAX_PREFERRED_LENGTH, &read, &total) == NERR_Success) {
    const auto* entries = reinterpret_cast<const LOCALGROUP_USERS_INFO_0*>(groups);
    for (DWORD i = 0; entries != nullptr && i < read && member == 0; ++i)
      if (entries[i].lgrui0_name != nullptr && std::wcscmp(entries[i].lgrui0_name, groupName) == 0)
        member = 1;
  }
  if (groups != nullptr) NetApiBufferFree(groups);
  return member;
}

}  // namespace

void RevertToAgentContext() { SetThreadToken(nullptr, nullptr); }

uint16_t CheckCredentials(const char* userName, const uint8_t* password) {
  char passwordText[kPasswordLength + 1];
  std::memset(passwordText, 0, sizeof passwordText);
  std::memcpy(passwordText, password, kPasswordLength);
  wchar_t widePassword[kPasswordLength + 1];
  ToWide(passwordText, kPasswordLength, widePassword, kPasswordLength + 1);
  wchar_t wideName[kUserNameLength + 1];
  ToWide(userName, kUserNameLength, wideName, kUserNameLength + 1);

  HANDLE token = nullptr;
  const BOOL loggedOn = agentSystem.logonUserW(wideName, nullptr, widePassword,
                                               LOGON32_LOGON_NETWORK, LOGON32_PROVIDER_DEFAULT,
                                               &token);
  const DWORD error = loggedOn ? 0 : GetLastError();
  SecureZeroMemory(widePassword, sizeof widePassword);
  SecureZeroMemory(passwordText, sizeof passwordText);
  if (!loggedOn) {
    if (error == ERROR_LOGON_FAILURE) return Status::BadLogon;
    if (error == ERROR_ACCOUNT_LOCKED_OUT) return Status::AccountLockedOut;
    return Status::NotAdministrator;
  }

  token = UnfilteredToken(token);
  agentSystem.setThreadToken(nullptr, token);
  int member = TokenHasAdministrators(token);
  CloseHandle(token);
  if (member < 0) member = LocalGroupsHaveAdministrators(wideName);
  return member > 0 ? Status::Ok : Status::NotAdministrator;
}

uint16_t ChangeAccountPassword(const PasswordBody& body, const char* userName) {
  uint16_t status = Status::SettingFailed;

  if (std::strncmp(body.newPassword.bytes.data(), body.confirmPassword.bytes.data(),
                   kPasswordLength) == 0) {
    char passwordText[kPasswordLength + 1];
    std::memset(passwordText, 0, sizeof passwordText);
    std::memcpy(passwordText, body.newPassword.bytes.data(), kPasswordLength);
    wchar_t widePassword[kPasswordLength + 1];
    ToWide(passwordText, kPasswordLength, widePassword, kPasswordLength + 1);
    wchar_t wideName[kUserNameLength + 1];
    ToWide(userName, kUserNameLength, wideName, kUserNameLength + 1);

    USER_INFO_1003 info;
    std::memset(&info, 0, sizeof info);
    info.usri1003_password = widePassword;
    const wchar_t* account = body.account == 1 ? kManagementAccount : wideName;
    const NET_API_STATUS result = agentSystem.netUserSetInfo(
        nullptr, account, 1003, reinterpret_cast<LPBYTE>(&info), nullptr);
    if (result == NERR_Success) status = Status::Ok;
    else if (result == NERR_PasswordTooShort) status = Status::PasswordTooShort;
    SecureZeroMemory(widePassword, sizeof widePassword);
    SecureZeroMemory(passwordText, sizeof passwordText);
  }

  RevertToAgentContext();
  return status;
}
