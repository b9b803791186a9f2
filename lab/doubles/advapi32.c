/* Lab double of the logon. Wine's LogonUserW accepts any name and password; this one decides
 * from the simulated host's accounts (lab_accounts.h) as Windows' local account database
 * would, with Windows' error codes. Every other export of advapi32 is forwarded to Wine's own
 * advapi32, kept as advapi32-wine.dll beside it in the prefix's system32: the export list is
 * generated from Wine's when the lab is built. As every double, only the agent loads it (a
 * per-program DllOverrides key), so nothing else in the prefix sees it.
 *
 * A granted logon hands out a primary token of the caller's own (Wine's tokens are all
 * the prefix user's): as is for a member of Administrators, with Administrators disabled
 * (deny only) for anybody else. Wine gives no linked token the agent could act as, so the
 * lab plays a full-token logon, as of an administrator UAC does not split. */
#define WINADVAPI /* this DLL defines LogonUserW: no import declaration for it */
#include <windows.h>
#include <stdio.h>

#include "lab_accounts.h"

static BOOL Refuse(DWORD error)
{
  SetLastError(error);
  return FALSE;
}

/* The local account database is "." or this computer's name. */
static int IsLocalDomain(LPCWSTR domain)
{
  WCHAR computer[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (domain && lstrcmpW(domain, L".") == 0) return 1;
  return domain && GetComputerNameW(computer, &length) && lstrcmpiW(domain, computer) == 0;
}

static BOOL HandOutToken(int administrator, PHANDLE token)
{
  HANDLE own = NULL, result = NULL;
  BOOL ok;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &own)) return FALSE;
  if (administrator) {
    ok = DuplicateTokenEx(own, TOKEN_ALL_ACCESS, NULL, SecurityImpersonation, TokenPrimary,
                          &result);
  } else {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    SID_AND_ATTRIBUTES disabled;
    ok = CreateWellKnownSid(WinBuiltinAdministratorsSid, NULL, sid, &size);
    disabled.Sid = sid;
    disabled.Attributes = 0;
    if (ok) ok = CreateRestrictedToken(own, 0, 1, &disabled, 0, NULL, 0, NULL, &result);
  }
  CloseHandle(own);
  if (!ok) return Refuse(ERROR_NOT_ENOUGH_MEMORY);
  *token = result;
  return TRUE;
}

BOOL WINAPI LogonUserW(LPCWSTR user, LPCWSTR domain, LPCWSTR password, DWORD type,
                       DWORD provider, PHANDLE token)
{
  struct LabAccount account;
  (void)provider;
  if (!token) return Refuse(ERROR_INVALID_PARAMETER);
  *token = NULL;
  /* A workgroup host knows no domain, and a UPN names a domain account. */
  if (!user || !IsLocalDomain(domain) || !LabFindAccount(user, &account))
    return Refuse(ERROR_LOGON_FAILURE);
  if (LabListHas(account.state, "locked")) return Refuse(ERROR_ACCOUNT_LOCKED_OUT);
  if (!LabPasswordIs(&account, password)) return Refuse(ERROR_LOGON_FAILURE);
  /* Blank passwords are limited to console logons ("Limit local account use of blank
   * passwords to console logon only", on by default). */
  if (account.password[0] == 0 && type != LOGON32_LOGON_INTERACTIVE)
    return Refuse(ERROR_ACCOUNT_RESTRICTION);
  if (LabListHas(account.state, "disabled")) return Refuse(ERROR_ACCOUNT_DISABLED);
  if (LabListHas(account.state, "expired")) return Refuse(ERROR_PASSWORD_EXPIRED);
  if (LabListHas(account.state, "mustchange")) return Refuse(ERROR_PASSWORD_MUST_CHANGE);
  if (type == LOGON32_LOGON_BATCH && LabListHas(account.state, "nobatch"))
    return Refuse(ERROR_LOGON_TYPE_NOT_GRANTED);
  return HandOutToken(LabListHas(account.groups, "Administrators"), token);
}
