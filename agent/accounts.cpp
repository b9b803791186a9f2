#include "agent/accounts.h"

#include <cstring>
#include <cwchar>

#include "agent/system_calls.h"

namespace {

const wchar_t kAdministratorsGroup[] = L"Administrators";
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

}  // namespace

void RevertToAgentContext() { SetThreadToken(nullptr, nullptr); }

uint16_t CheckCredentials(const char* userName, const uint8_t* password) {
  uint16_t status = Status::NotAdministrator;

  char passwordText[kPasswordLength + 1];
  std::memset(passwordText, 0, sizeof passwordText);
  std::memcpy(passwordText, password, kPasswordLength);
  wchar_t widePassword[kPasswordLength + 1];
  ToWide(passwordText, kPasswordLength, widePassword, kPasswordLength + 1);
  wchar_t wideName[kUserNameLength + 1];
  ToWide(userName, kUserNameLength, wideName, kUserNameLength + 1);

  HANDLE token = nullptr;
  if (!agentSystem.logonUserW(wideName, nullptr, widePassword, LOGON32_LOGON_NETWORK,
                              LOGON32_PROVIDER_DEFAULT, &token)) {
    SecureZeroMemory(widePassword, sizeof widePassword);
    SecureZeroMemory(passwordText, sizeof passwordText);
    return GetLastError() == ERROR_LOGON_FAILURE ? Status::BadLogon : Status::NotAdministrator;
  }
  SecureZeroMemory(widePassword, sizeof widePassword);
  SecureZeroMemory(passwordText, sizeof passwordText);

  SetThreadToken(nullptr, token);
  CloseHandle(token);

  LPBYTE groups = nullptr;
  DWORD read = 0;
  DWORD total = 0;
  if (agentSystem.netUserGetLocalGroups(nullptr, wideName, 0, LG_INCLUDE_INDIRECT, &groups,
                                        MAX_PREFERRED_LENGTH, &read,
                                        &total) != NERR_Success) {
    if (groups != nullptr) NetApiBufferFree(groups);
    return Status::NotAdministrator;
  }
  const LOCALGROUP_USERS_INFO_0* entries = reinterpret_cast<LOCALGROUP_USERS_INFO_0*>(groups);
  for (DWORD i = 0; entries != nullptr && i < read; ++i) {
    if (entries[i].lgrui0_name != nullptr &&
        std::wcscmp(entries[i].lgrui0_name, kAdministratorsGroup) == 0) {
      status = Status::Ok;
      break;
    }
  }
  if (groups != nullptr) NetApiBufferFree(groups);
  return status;
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
