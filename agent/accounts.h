// Credential checks, impersonation of the requesting administrator, password changes.
#pragma once

#include <cstdint>

#include "protocol/frames.h"

// userName: terminated ANSI text; password: the 16-byte field (may lack a terminator).
// A plain name is a local account; "DOMAIN\user" and a UPN ("user@example.org") go to that
// domain. The logon is a batch logon; for a UAC-split administrator its linked full token is
// the one checked (membership of S-1-5-32-544) and impersonated.
// 0 Ok, 1 BadLogon, 9 NotAdministrator, 18 AccountLockedOut, 19 AccountDisabled,
// 20 PasswordExpired, 21 LogonTypeNotGranted, 22 AccountRestricted. After a successful logon
// the thread impersonates the account, whatever the status.
uint16_t CheckCredentials(const char* userName, const uint8_t* password);

// body.account 1: the management product's account, reset by the administrator (its old
// password is not known). Otherwise the requesting account's own password, changed with its
// current one (`password`, the request's 16-byte field), so that Windows keeps the secrets
// it protects with it. 0 Ok, 1 BadLogon, 2 SettingFailed, 7 PasswordTooShort (an empty new
// password refused), 23 PasswordPolicyRefused, 24 AccessDenied, 25 AccountNotFound; the thread
// is back in its own context on return.
uint16_t ChangeAccountPassword(const PasswordBody& body, const char* userName,
                               const uint8_t* password);

// Drops any impersonation token of the calling thread.
void RevertToAgentContext();
