// Computer name, the magic number kept in the agent's parameter key, restart privilege.
#pragma once

#include <cstdint>

constexpr int kConfiguredName = 0;
constexpr int kActiveName = 1;
constexpr unsigned kComputerNameBufferLength = 1024;

// 1 when the name was set or is empty (nothing to do), 0 on failure.
int SetHostName(const char* name);
// which: kConfiguredName or kActiveName; buffer: at least 1024 zeroed bytes.
int ReadComputerName(char* buffer, int which);

int LoadMagicNumber(uint32_t* magic);  // magic untouched on failure
int StoreMagicNumber(uint32_t magic);

// Drops the impersonation, then enables the shut-down privilege in the process token.
// 0 Ok, 2 SettingFailed.
uint16_t PrepareRestart();
int EnableShutdownPrivilege();
