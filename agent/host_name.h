// Computer name, the magic number kept in the agent's parameter key, restart privilege.
#pragma once

#include <cstdint>

constexpr int kConfiguredName = 0;
constexpr int kActiveName = 1;
constexpr unsigned kComputerNameBufferLength = 1024;

// Whether Windows would take `name` as a computer name unchanged: 1 to 15 characters (the
// NetBIOS limit, beyond which the name is cut), letters, digits and hyphens with no hyphen at
// either end (a DNS label), not only digits.
bool IsValidHostName(const char* name);

// 0 Ok when the name was set or is empty (nothing to do); refused before anything is written:
// 28 InvalidHostName, 26 RenameRefusedDomainController, 27 RenameRefusedDomainMember (renaming
// a member renames its domain account too, which takes domain credentials), 2 SettingFailed
// when the domain role cannot be read or the name cannot be set.
uint16_t SetHostName(const char* name);
// which: kConfiguredName or kActiveName; buffer: at least 1024 zeroed bytes.
int ReadComputerName(char* buffer, int which);

int LoadMagicNumber(uint32_t* magic);  // magic untouched on failure
int StoreMagicNumber(uint32_t magic);

// Drops the impersonation, enables the shut-down privilege in the process token and
// initiates a planned restart (a few seconds' notice, applications closed) whose message
// names `userName`. 0 Ok, 29 RestartFailed (the host keeps running).
uint16_t RestartHost(const char* userName);
// 1 when SeShutdownPrivilege is enabled in the process token, else 0.
int EnableShutdownPrivilege();
