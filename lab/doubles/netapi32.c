/* Lab double of the account functions. Wine's NetUserSetInfo crashes, its group query calls
 * everybody an administrator and its password change knows no account; this one reads the
 * simulated host's accounts (lab_accounts.h), so a test can use a non-administrator, and
 * appends every password change or reset to C:\nvlab\passwords.log (the account list itself
 * is the test's fixture and keeps its passwords). A password shorter than the number in
 * C:\nvlab\password-minlen breaks the policy. The domain role is the number in
 * C:\nvlab\domain-role (DSROLE_MACHINE_ROLE; a stand-alone workstation without it). */
#include <windows.h>
#include <lm.h>
#include <dsrole.h>
#include <stdio.h>
#include <string.h>

#include "lab_accounts.h"

NET_API_STATUS WINAPI NetApiBufferFree(LPVOID buffer)
{
  if (buffer) HeapFree(GetProcessHeap(), 0, buffer);
  return NERR_Success;
}

NET_API_STATUS WINAPI NetApiBufferAllocate(DWORD size, LPVOID* buffer)
{
  if (!buffer) return ERROR_INVALID_PARAMETER;
  *buffer = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
  return *buffer ? NERR_Success : ERROR_NOT_ENOUGH_MEMORY;
}

NET_API_STATUS WINAPI NetUserGetLocalGroups(LPCWSTR server, LPCWSTR user, DWORD level,
                                            DWORD flags, LPBYTE* result, DWORD preferred,
                                            LPDWORD read, LPDWORD total)
{
  struct LabAccount account;
  char* names[32];
  int count = 0, i;
  size_t textChars = 0;
  LOCALGROUP_USERS_INFO_0* entries;
  WCHAR* text;
  (void)server; (void)flags; (void)preferred;
  if (!result || !read || !total) return ERROR_INVALID_PARAMETER;
  *result = NULL;
  *read = *total = 0;
  if (level != 0) return ERROR_INVALID_LEVEL;
  if (!LabFindAccount(user, &account)) return NERR_UserNotFound;
  for (char* g = strtok(account.groups, ","); g && count < 32; g = strtok(NULL, ",")) {
    names[count++] = g;
    textChars += strlen(g) + 1;
  }
  entries = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                      count * sizeof *entries + textChars * sizeof(WCHAR) + sizeof(WCHAR));
  if (!entries) return ERROR_NOT_ENOUGH_MEMORY;
  text = (WCHAR*)(entries + count);
  for (i = 0; i < count; i++) {
    int n = MultiByteToWideChar(CP_ACP, 0, names[i], -1, text, (int)strlen(names[i]) + 1);
    entries[i].lgrui0_name = text;
    text += n;
  }
  *result = (LPBYTE)entries;
  *read = *total = count;
  return NERR_Success;
}

static DWORD NumberInFile(const char* path, DWORD otherwise)
{
  DWORD n = otherwise;
  FILE* f = fopen(path, "r");
  if (f) {
    if (fscanf(f, "%lu", &n) != 1) n = otherwise;
    fclose(f);
  }
  return n;
}

/* The length policy, and the log line of the outcome ("changed" or "refused"). */
static NET_API_STATUS Record(const char* how, LPCWSTR user, LPCWSTR password)
{
  char name[256] = "", text[256] = "";
  NET_API_STATUS status = NERR_Success;
  FILE* f;
  if (wcslen(password) < NumberInFile("C:\\nvlab\\password-minlen", 0))
    status = NERR_PasswordTooShort;
  WideCharToMultiByte(CP_UTF8, 0, user, -1, name, sizeof name - 1, NULL, NULL);
  WideCharToMultiByte(CP_UTF8, 0, password, -1, text, sizeof text - 1, NULL, NULL);
  f = fopen("C:\\nvlab\\passwords.log", "ab");
  if (f) {
    fprintf(f, "%s\t%s\t%s\t%s\n", status == NERR_Success ? "changed" : "refused", name, text,
            how);
    fclose(f);
  }
  return status;
}

/* An administrator's reset: only the length policy applies. */
NET_API_STATUS WINAPI NetUserSetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE buffer,
                                     LPDWORD errorParameter)
{
  struct LabAccount account;
  const USER_INFO_1003* info = (const USER_INFO_1003*)buffer;
  (void)server;
  if (errorParameter) *errorParameter = 0;
  if (level != 1003 || !info || !info->usri1003_password) return ERROR_INVALID_PARAMETER;
  if (!LabFindAccount(user, &account)) return NERR_UserNotFound;
  return Record("reset", user, info->usri1003_password);
}

/* The account's own change: its current password must match. `domain` is this computer
 * (or null for the caller's logon domain); a workgroup host has no other. */
NET_API_STATUS WINAPI NetUserChangePassword(LPCWSTR domain, LPCWSTR user, LPCWSTR oldPassword,
                                            LPCWSTR newPassword)
{
  struct LabAccount account;
  WCHAR computer[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (!user || !oldPassword || !newPassword) return ERROR_INVALID_PARAMETER;
  if (domain && !(GetComputerNameW(computer, &length) && lstrcmpiW(domain, computer) == 0))
    return NERR_InvalidComputer;
  if (!LabFindAccount(user, &account)) return NERR_UserNotFound;
  if (!LabPasswordIs(&account, oldPassword)) return ERROR_INVALID_PASSWORD;
  return Record("change", user, newPassword);
}

DWORD WINAPI DsRoleGetPrimaryDomainInformation(LPCWSTR server,
                                               DSROLE_PRIMARY_DOMAIN_INFO_LEVEL level,
                                               PBYTE* buffer)
{
  static const WCHAR workgroup[] = L"WORKGROUP";
  DSROLE_PRIMARY_DOMAIN_INFO_BASIC* info;
  (void)server;
  if (!buffer) return ERROR_INVALID_PARAMETER;
  *buffer = NULL;
  if (level != DsRolePrimaryDomainInfoBasic) return ERROR_INVALID_PARAMETER;
  info = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *info + sizeof workgroup);
  if (!info) return ERROR_NOT_ENOUGH_MEMORY;
  info->MachineRole = (DSROLE_MACHINE_ROLE)NumberInFile("C:\\nvlab\\domain-role", 0);
  info->DomainNameFlat = (LPWSTR)(info + 1);
  memcpy(info->DomainNameFlat, workgroup, sizeof workgroup);
  *buffer = (PBYTE)info;
  return ERROR_SUCCESS;
}

/* The join state that goes with the role: a member or a controller is in a domain. */
NET_API_STATUS WINAPI NetGetJoinInformation(LPCWSTR server, LPWSTR* name,
                                            PNETSETUP_JOIN_STATUS join)
{
  static const WCHAR workgroup[] = L"WORKGROUP";
  const DWORD role = NumberInFile("C:\\nvlab\\domain-role", 0);
  (void)server;
  if (!name || !join) return ERROR_INVALID_PARAMETER;
  *name = HeapAlloc(GetProcessHeap(), 0, sizeof workgroup);
  if (!*name) return ERROR_NOT_ENOUGH_MEMORY;
  memcpy(*name, workgroup, sizeof workgroup);
  *join = (role == 0 || role == 2) ? NetSetupWorkgroupName : NetSetupDomainName;
  return NERR_Success;
}

VOID WINAPI DsRoleFreeMemory(PVOID buffer)
{
  if (buffer) HeapFree(GetProcessHeap(), 0, buffer);
}
