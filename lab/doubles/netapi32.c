/* Lab double of the account functions. Wine's NetUserSetInfo crashes and its group query
 * calls everybody an administrator; this one reads the host's accounts from
 * C:\nvlab\accounts.txt ("NAME:GROUP,GROUP" per line), so a test can use a
 * non-administrator, and appends every password change to C:\nvlab\passwords.log.
 * A password shorter than the number in C:\nvlab\password-minlen breaks the policy. */
#include <windows.h>
#include <lm.h>
#include <stdio.h>
#include <string.h>

#define ACCOUNTS "C:\\nvlab\\accounts.txt"

/* Finds the account's line; fills groups (comma separated) and returns 1 when present. */
static int FindAccount(LPCWSTR user, char* groups, size_t groupsSize)
{
  char line[512], wanted[256];
  FILE* f = fopen(ACCOUNTS, "r");
  int found = 0;
  if (!f || !user) {
    if (f) fclose(f);
    return 0;
  }
  WideCharToMultiByte(CP_ACP, 0, user, -1, wanted, sizeof wanted - 1, NULL, NULL);
  wanted[sizeof wanted - 1] = 0;
  while (!found && fgets(line, sizeof line, f)) {
    char* colon = strchr(line, ':');
    if (!colon) continue;
    *colon = 0;
    if (_stricmp(line, wanted) != 0) continue;
    colon[strcspn(colon + 1, "\r\n") + 1] = 0;
    snprintf(groups, groupsSize, "%s", colon + 1);
    found = 1;
  }
  fclose(f);
  return found;
}

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
  char groups[400];
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
  if (!FindAccount(user, groups, sizeof groups)) return NERR_UserNotFound;
  for (char* g = strtok(groups, ","); g && count < 32; g = strtok(NULL, ",")) {
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

static DWORD MinimumLength(void)
{
  DWORD n = 0;
  FILE* f = fopen("C:\\nvlab\\password-minlen", "r");
  if (f) {
    if (fscanf(f, "%lu", &n) != 1) n = 0;
    fclose(f);
  }
  return n;
}

NET_API_STATUS WINAPI NetUserSetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE buffer,
                                     LPDWORD errorParameter)
{
  char groups[400], name[256] = "", password[256] = "";
  const USER_INFO_1003* info = (const USER_INFO_1003*)buffer;
  NET_API_STATUS status = NERR_Success;
  FILE* f;
  (void)server;
  if (errorParameter) *errorParameter = 0;
  if (level != 1003 || !info || !info->usri1003_password) return ERROR_INVALID_PARAMETER;
  if (!FindAccount(user, groups, sizeof groups)) return NERR_UserNotFound;
  if (wcslen(info->usri1003_password) < MinimumLength()) status = NERR_PasswordTooShort;
  WideCharToMultiByte(CP_UTF8, 0, user, -1, name, sizeof name - 1, NULL, NULL);
  WideCharToMultiByte(CP_UTF8, 0, info->usri1003_password, -1, password, sizeof password - 1,
                      NULL, NULL);
  f = fopen("C:\\nvlab\\passwords.log", "ab");
  if (f) {
    fprintf(f, "%s\t%s\t%s\n", status == NERR_Success ? "changed" : "refused", name, password);
    fclose(f);
  }
  return status;
}
