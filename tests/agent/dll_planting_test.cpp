// System DLLs come from System32 only: dhcpcsvc.dll, iphlpapi.dll and netapi32.dll planted
// beside the program are not loaded, neither by the agent's run-time loads nor through its
// delay imports (this program is linked as TaviAgent.exe is). The program's DLL overrides
// tell Wine to prefer native DLLs for these names, as it would have to if it searched the
// program's folder; Wine reads them only when their key existed at the process's start, so
// a first run creates the key and runs the tests in a child.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
#include <lm.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "agent/system_calls.h"
#include "override_key.h"
#include "transport/platform/system_dlls.h"

namespace {

const char kOverrideKey[] = "Software\\Wine\\AppDefaults\\agent_dll_planting_test.exe\\DllOverrides";
const char* const kPlanted[] = {"dhcpcsvc", "iphlpapi", "netapi32"};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p = Lower(path);
  return p.substr(0, p.find_last_of('\\') + 1);
}

std::string PathOf(HMODULE module) {
  char path[MAX_PATH] = {};
  if (module == nullptr || GetModuleFileNameA(module, path, MAX_PATH) == 0) return {};
  return Lower(path);
}

std::string SystemFolder() {
  char dir[MAX_PATH] = {};
  GetSystemDirectoryA(dir, MAX_PATH);
  return Lower(dir) + "\\";
}

void ExpectFromSystem32(const char* name) {
  const std::string path = PathOf(GetModuleHandleA((std::string(name) + ".dll").c_str()));
  EXPECT_EQ(path.rfind(SystemFolder(), 0), 0u) << name << ": " << path;
  EXPECT_EQ(path.rfind(ProgramFolder(), 0), std::string::npos) << name << ": " << path;
}

TEST(DllPlanting, ThePlantedDllsAreBesideTheProgramAndLoadable) {
  // Guards the other cases: without loadable planted DLLs they would prove nothing.
  for (const char* name : kPlanted) {
    const std::string path = ProgramFolder() + name + ".dll";
    ASSERT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path;
    HMODULE data = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(data, nullptr) << path;
    if (data != nullptr) FreeLibrary(data);
  }
}

TEST(DllPlanting, RunTimeLoadsTakeSystem32) {
  ASSERT_TRUE(tavi::RestrictDllSearchToSystem32());
  HMODULE dhcp = tavi::LoadSystemLibrary(L"dhcpcsvc.dll");
  ASSERT_NE(dhcp, nullptr) << GetLastError();
  EXPECT_EQ(GetProcAddress(dhcp, "planted_marker"), nullptr);
  ExpectFromSystem32("dhcpcsvc");
  // A plain load by name, once the process is restricted, does not look beside it either.
  HMODULE again = LoadLibraryA("dhcpcsvc.dll");
  EXPECT_EQ(again, dhcp);
  FreeLibrary(again);
  FreeLibrary(dhcp);
}

TEST(DllPlanting, DelayImportsResolveFromSystem32) {
  // Not loaded before the first call: the imports are delayed, not resolved at start.
  EXPECT_EQ(GetModuleHandleA("netapi32.dll"), nullptr);
  ULONG size = 0;
  EXPECT_NE(GetNetworkParams(nullptr, &size), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  ExpectFromSystem32("iphlpapi");
  EXPECT_EQ(NetApiBufferFree(nullptr), static_cast<NET_API_STATUS>(NERR_Success));
  ExpectFromSystem32("netapi32");
}

TEST(DllPlanting, TheAgentsDhcpCallTakesSystem32) {
  // Wine's DhcpNotifyConfigChange crashes when called: only the lookup is exercised, through
  // the same loader call the agent's entry makes.
  HMODULE dhcp = tavi::LoadSystemLibrary(L"dhcpcsvc.dll");
  ASSERT_NE(dhcp, nullptr);
  EXPECT_NE(GetProcAddress(dhcp, "DhcpNotifyConfigChange"), nullptr);
  FreeLibrary(dhcp);
}

// Native before builtin for the planted names, so that only the search path decides.
void PreferNative() {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kOverrideKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return;
  for (const char* name : kPlanted)
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("native,builtin"), 15);
  RegCloseKey(key);
}

}  // namespace

int main(int argc, char** argv) {
  const int rerun = RerunWithOverrideKey(kOverrideKey);
  if (rerun >= 0) return rerun;
  PreferNative();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
