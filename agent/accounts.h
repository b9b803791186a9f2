// Credential checks, impersonation of the requesting administrator, password changes.
#pragma once

#include <cstdint>

#include "protocol/frames.h"

// userName: terminated ANSI text; password: the 16-byte field (may lack a terminator).
// 0 Ok, 1 BadLogon, 9 NotAdministrator, 18 AccountLockedOut. Membership of Administrators is
// by its well-known SID, in the linked full token when the logon token is UAC-filtered.
// After a successful logon the thread impersonates the account (its full token), whatever
// the status.
uint16_t CheckCredentials(const char* userName, const uint8_t* password);

// 0 Ok, 2 SettingFailed, 7 PasswordTooShort; the thread is back in its own context.
uint16_t ChangeAccountPassword(const PasswordBody& body, const char* userName);

// Drops any impersonation token of the calling thread.
void RevertToAgentContext();
