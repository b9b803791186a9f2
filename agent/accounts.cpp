#include "agent/accounts.h"

#include <cstddef>
#include <cstring>
#include <cwchar>

#include "agent/system_calls.h"
#include "transport/core/wipe.h"

namespace {

constexpr DWORD kGroupNameCapacity = 256;
const wchar_t kManagementAccount[] = L"RIDO USER";
const wchar_t kLocalDatabase[] = L".";

// ANSI to UTF-16 into a zeroed buffer of `capacity` characters; the source is read up to its
// terminator or `sourceLength` bytes, whichever comes first.
void ToWide(const char* source, std::size_t sourceLength, wchar_t* out, int capacity) {
  std::memset(out, 0, sizeof(wchar_t) * static_cast<std::size_t>(capacity));
  std::size_t length = 0;
  while (length < sourceLength && source[length] != '\0') ++length;
  if (length == 0) return;
  MultiByteToWideChar(CP_ACP, 0, source, static_cast<int>(length), out, capacity - 1);
}

// The 16-byte password field as terminated UTF-16, wiped when it goes.
struct WidePassword {
  wchar_t text[kPasswordLength + 1];
  explicit WidePassword(const uint8_t* field) {
    char bytes[kPasswordLength + 1];
    std::memset(bytes, 0, sizeof bytes);
    std::memcpy(bytes, field, kPasswordLength);
    ToWide(bytes, kPasswordLength, text, kPasswordLength + 1);
    tavi::Wipe(bytes, sizeof bytes);
  }
  ~WidePassword() { tavi::Wipe(text, sizeof text); }
  WidePassword(const WidePassword&) = delete;
  WidePassword& operator=(const WidePassword&) = delete;
};

// The request's userName as LogonUser wants it: a plain name is a local account ("." as
// domain), "DOMAIN\user" is split, a UPN goes whole with no domain. Empty parts or a second
// backslash make no account at all.
struct AccountName {
  wchar_t whole[kUserNameLength + 1];
  wchar_t user[kUserNameLength + 1];
  wchar_t domain[kUserNameLength + 1];
  bool local = false;
  bool valid = false;

  explicit AccountName(const char* userName) {
    ToWide(userName, kUserNameLength, whole, kUserNameLength + 1);
    std::memset(user, 0, sizeof user);
    std::memset(domain, 0, sizeof domain);
    const wchar_t* slash = std::wcschr(whole, L'\\');
    if (slash != nullptr) {
      const std::size_t domainLength = static_cast<std::size_t>(slash - whole);
      valid = domainLength > 0 && slash[1] != L'\0' && std::wcschr(slash + 1, L'\\') == nullptr;
      if (!valid) return;
      std::wmemcpy(domain, whole, domainLength);
      std::wcscpy(user, slash + 1);
      return;
    }
    std::wcscpy(user, whole);
    const wchar_t* at = std::wcschr(whole, L'@');
    if (at != nullptr) {
      valid = at != whole && at[1] != L'\0';
      return;
    }
    local = true;
    valid = whole[0] != L'\0';
    std::wcscpy(domain, kLocalDatabase);
  }
  bool upn() const { return !local && domain[0] == L'\0'; }
  const wchar_t* logonDomain() const { return upn() ? nullptr : domain; }
};

// The logon errors Windows tells apart; any other is reported as no administrator.
uint16_t LogonRefusal(DWORD error) {
  switch (error) {
    case ERROR_LOGON_FAILURE: return Status::BadLogon;
    case ERROR_ACCOUNT_LOCKED_OUT: return Status::AccountLockedOut;
    case ERROR_ACCOUNT_DISABLED: return Status::AccountDisabled;
    case ERROR_PASSWORD_EXPIRED:
    case ERROR_PASSWORD_MUST_CHANGE: return Status::PasswordExpired;
    case ERROR_LOGON_TYPE_NOT_GRANTED: return Status::LogonTypeNotGranted;
    case ERROR_ACCOUNT_RESTRICTION:  // a blank password is for console logons only
    case ERROR_INVALID_LOGON_HOURS:
    case ERROR_INVALID_WORKSTATION: return Status::AccountRestricted;
    default: return Status::NotAdministrator;
  }
}

// S-1-5-32-544, the built-in Administrators group, whatever the system's language calls it.
bool AdministratorsSid(BYTE (&sid)[SECURITY_MAX_SID_SIZE]) {
  DWORD size = sizeof sid;
  return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) != FALSE;
}

// The token that holds the account's rights: for a UAC-split logon (an administrator other
// than an unfiltered built-in one) the linked full token, which LocalSystem receives as a
// primary token; otherwise the logon token. Either way an impersonation copy, as
// CheckTokenMembership and SetThreadToken need; null when none can be had: `unusable` then
// tells a full token the agent may not act as (a linked token at identification level, for a
// caller without SeTcbPrivilege) from a token that cannot be read at all.
HANDLE ActingToken(HANDLE logon, bool& unusable) {
  unusable = false;
  HANDLE source = logon;
  HANDLE linkedToken = nullptr;
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  DWORD size = 0;
  // Fails before Vista (no UAC): the logon token is the full one.
  if (agentSystem.getTokenInformation(logon, TokenElevationType, &type, sizeof type, &size) &&
      type == TokenElevationTypeLimited) {
    TOKEN_LINKED_TOKEN linked = {};
    if (agentSystem.getTokenInformation(logon, TokenLinkedToken, &linked, sizeof linked, &size) &&
        linked.LinkedToken != nullptr)
      source = linkedToken = linked.LinkedToken;
  }
  HANDLE acting = nullptr;
  if (!agentSystem.duplicateTokenEx(source, TOKEN_QUERY | TOKEN_IMPERSONATE, nullptr,
                                    SecurityImpersonation, TokenImpersonation, &acting))
    acting = nullptr;
  if (linkedToken != nullptr) {
    CloseHandle(linkedToken);
    unusable = acting == nullptr;
  }
  return acting;
}

// 1 when the token has S-1-5-32-544 enabled (a filtered token holds it for deny only), 0 when
// not, -1 when the check cannot be made.
int HasAdministrators(HANDLE impersonation) {
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  BOOL member = FALSE;
  if (!AdministratorsSid(administrators) ||
      !agentSystem.checkTokenMembership(impersonation, administrators, &member))
    return -1;
  return member ? 1 : 0;
}

// For a token that cannot be checked (Wine's builtin logon hands out such a one): the
// account's local groups (nested ones count), compared with the name this system gives
// S-1-5-32-544. 1 member, 0 not.
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

uint16_t PasswordChangeStatus(NET_API_STATUS result, const wchar_t* newPassword) {
  switch (result) {
    case NERR_Success: return Status::Ok;
    case NERR_PasswordTooShort:
      return newPassword[0] == L'\0' ? Status::PasswordTooShort : Status::PasswordPolicyRefused;
    case ERROR_ACCESS_DENIED: return Status::AccessDenied;
    case NERR_UserNotFound: return Status::AccountNotFound;
    case ERROR_INVALID_PASSWORD: return Status::BadLogon;
    default: return Status::SettingFailed;
  }
}

// The requesting account's own change, with its current password. A local account is
// changed on this computer by name; a domain account in its domain (the NetBIOS name, or a
// UPN's suffix).
NET_API_STATUS ChangeOwnPassword(const AccountName& account, const wchar_t* current,
                                 const wchar_t* newPassword) {
  wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  const wchar_t* where = account.domain;
  const wchar_t* user = account.user;
  wchar_t upnUser[kUserNameLength + 1] = {};
  if (account.local) {
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(computer, &length)) computer[0] = L'\0';
    where = computer[0] != L'\0' ? computer : nullptr;
  } else if (account.upn()) {
    const wchar_t* at = std::wcschr(account.whole, L'@');
    std::wmemcpy(upnUser, account.whole, static_cast<std::size_t>(at - account.whole));
    user = upnUser;
    where = at + 1;
  }
  return agentSystem.netUserChangePassword(where, user, current, newPassword);
}

}  // namespace

void RevertToAgentContext() { SetThreadToken(nullptr, nullptr); }

uint16_t CheckCredentials(const char* userName, const uint8_t* password) {
  const AccountName account(userName);
  if (!account.valid) return Status::BadLogon;
  HANDLE token = nullptr;
  BOOL loggedOn = FALSE;
  DWORD error = 0;
  {
    const WidePassword secret(password);
    // A batch logon: an administrator gets the UAC split token (a network logon of a local
    // account gets the filtered half only), Administrators hold the right by default, and
    // no logon information is cached. The Security log shows event 4624, logon type 4.
    loggedOn = agentSystem.logonUserW(account.user, account.logonDomain(), secret.text,
                                      LOGON32_LOGON_BATCH, LOGON32_PROVIDER_DEFAULT, &token);
    error = loggedOn ? 0 : GetLastError();
  }
  if (!loggedOn) return LogonRefusal(error);

  bool unusable = false;
  HANDLE acting = ActingToken(token, unusable);
  int member = unusable ? 0 : -1;
  if (acting != nullptr) {
    agentSystem.setThreadToken(nullptr, acting);
    member = HasAdministrators(acting);
    CloseHandle(acting);
  } else {
    agentSystem.setThreadToken(nullptr, token);
  }
  CloseHandle(token);
  if (member < 0) member = LocalGroupsHaveAdministrators(account.whole);
  return member > 0 ? Status::Ok : Status::NotAdministrator;
}

uint16_t ChangeAccountPassword(const PasswordBody& body, const char* userName,
                               const uint8_t* password) {
  uint16_t status = Status::SettingFailed;

  if (std::strncmp(body.newPassword.bytes.data(), body.confirmPassword.bytes.data(),
                   kPasswordLength) == 0) {
    const WidePassword newPassword(reinterpret_cast<const uint8_t*>(body.newPassword.bytes.data()));
    NET_API_STATUS result;
    if (body.account == 1) {
      USER_INFO_1003 info;
      std::memset(&info, 0, sizeof info);
      info.usri1003_password = const_cast<wchar_t*>(newPassword.text);
      result = agentSystem.netUserSetInfo(nullptr, kManagementAccount, 1003,
                                          reinterpret_cast<LPBYTE>(&info), nullptr);
    } else {
      const AccountName account(userName);
      const WidePassword current(password);
      result = account.valid ? ChangeOwnPassword(account, current.text, newPassword.text)
                             : static_cast<NET_API_STATUS>(NERR_UserNotFound);
    }
    status = PasswordChangeStatus(result, newPassword.text);
  }

  RevertToAgentContext();
  return status;
}
