#include "agent/host_name.h"

#include <windows.h>

#include <cstring>

#include "agent/accounts.h"
#include "agent/registry.h"
#include "protocol/frames.h"

namespace {

const char kParameterKey[] = "SYSTEM\\CurrentControlSet\\Services\\TaviAgent\\Parameter";
const char kConfiguredNameKey[] = "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
const char kActiveNameKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName";

typedef BOOL(WINAPI* SetComputerNameExAFn)(COMPUTER_NAME_FORMAT, LPCSTR);

HKEY CreateParameterKey(REGSAM access) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kParameterKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      access, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

}  // namespace

int SetHostName(const char* name) {
  if (name == nullptr) return 0;
  int result = 0;
  HMODULE kernel = LoadLibraryA("Kernel32.dll");
  if (name[0] == '\0') {
    result = 1;
  } else if (kernel != nullptr) {
    SetComputerNameExAFn setName = reinterpret_cast<SetComputerNameExAFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetComputerNameExA")));
    if (setName != nullptr && setName(ComputerNamePhysicalDnsHostname, name)) result = 1;
  }
  if (kernel != nullptr) FreeLibrary(kernel);
  return result;
}

int ReadComputerName(char* buffer, int which) {
  if (buffer == nullptr) return 0;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, which == kActiveName ? kActiveNameKey : kConfiguredNameKey,
                    0, KEY_READ, &key) != ERROR_SUCCESS)
    return 0;
  // One byte short of the buffer, so the name always ends in a NUL.
  const int read = ReadRegValue(key, "ComputerName", buffer, kComputerNameBufferLength - 1);
  RegCloseKey(key);
  return read;
}

int LoadMagicNumber(uint32_t* magic) {
  if (magic == nullptr) return 0;
  HKEY key = CreateParameterKey(KEY_READ);
  if (key == nullptr) return 0;
  // Only a 4-byte REG_DWORD counts; a value of another type or size is treated as absent.
  DWORD value = 0;
  const int read = ReadRegDword(key, "MagicNumber", &value);
  RegCloseKey(key);
  if (read) *magic = value;
  return read;
}

int StoreMagicNumber(uint32_t magic) {
  HKEY key = CreateParameterKey(KEY_WRITE);
  if (key == nullptr) return 0;
  const DWORD value = magic;
  const int written = WriteRegValue(key, "MagicNumber", REG_DWORD, &value, sizeof value);
  RegCloseKey(key);
  return written;
}

int EnableShutdownPrivilege() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    return 0;
  TOKEN_PRIVILEGES privileges;
  std::memset(&privileges, 0, sizeof privileges);
  LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  CloseHandle(token);
  return 1;
}

uint16_t PrepareRestart() {
  RevertToAgentContext();
  return EnableShutdownPrivilege() == 1 ? Status::Ok : Status::SettingFailed;
}
