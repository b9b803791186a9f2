/* The simulated host's accounts, shared by the account doubles (netapi32, advapi32's logon).
 * C:\nvlab\accounts.txt holds one account a line:
 *   NAME:GROUP,GROUP[:PASSWORD[:STATE,STATE]]
 * No password field is a blank password. STATE: disabled, locked, expired, mustchange,
 * nobatch (no "log on as a batch job" right). Names compare without case, as Windows does. */
#ifndef NVLAB_ACCOUNTS_H
#define NVLAB_ACCOUNTS_H

#include <windows.h>
#include <stdio.h>
#include <string.h>

#define NVLAB_ACCOUNTS "C:\\nvlab\\accounts.txt"

struct LabAccount {
  char groups[400];
  char password[256];
  char state[128];
};

/* 1 when the account is listed (fills `account`), 0 otherwise or on a name too long. */
static inline int LabFindAccount(LPCWSTR user, struct LabAccount* account)
{
  char line[1024], wanted[256];
  FILE* f;
  int found = 0;
  if (!user || !account) return 0;
  if (!WideCharToMultiByte(CP_ACP, 0, user, -1, wanted, sizeof wanted, NULL, NULL)) return 0;
  f = fopen(NVLAB_ACCOUNTS, "r");
  if (!f) return 0;
  while (!found && fgets(line, sizeof line, f)) {
    char* field[4] = {line, "", "", ""};
    int n = 1;
    char* p;
    line[strcspn(line, "\r\n")] = 0;
    for (p = line; *p && n < 4; p++)
      if (*p == ':') {
        *p = 0;
        field[n++] = p + 1;
      }
    if (n < 2 || _stricmp(field[0], wanted) != 0) continue;
    snprintf(account->groups, sizeof account->groups, "%s", field[1]);
    snprintf(account->password, sizeof account->password, "%s", field[2]);
    snprintf(account->state, sizeof account->state, "%s", field[3]);
    found = 1;
  }
  fclose(f);
  return found;
}

/* Whether the comma-separated `list` holds `item` (case-insensitive). */
static inline int LabListHas(const char* list, const char* item)
{
  size_t length = strlen(item);
  const char* p = list;
  while (*p) {
    size_t n = strcspn(p, ",");
    if (n == length && _strnicmp(p, item, n) == 0) return 1;
    p += n;
    if (*p == ',') p++;
  }
  return 0;
}

/* The account's password equals `password` (wide, from the caller). */
static inline int LabPasswordIs(const struct LabAccount* account, LPCWSTR password)
{
  char given[256];
  if (!password) return account->password[0] == 0;
  if (!WideCharToMultiByte(CP_ACP, 0, password, -1, given, sizeof given, NULL, NULL)) return 0;
  return strcmp(given, account->password) == 0;
}

#endif
