// wpcap.dll comes from the system directory or never: a wpcap.dll planted beside the
// program is not loaded, also when the system has none (the CTest case that disables Wine's
// builtin wpcap). Runs under Wine from a folder that holds the planted DLL.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "transport/core/pcap_api.h"

namespace tavi {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string ModulePathOf(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<const char*>(address), &module))
    return {};
  char path[MAX_PATH] = {};
  GetModuleFileNameA(module, path, MAX_PATH);
  return Lower(path);
}

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p = Lower(path);
  return p.substr(0, p.find_last_of('\\') + 1);
}

bool SystemLibraryDisabled() {
  const char* overrides = std::getenv("WINEDLLOVERRIDES");
  return overrides != nullptr && std::string(overrides).find("wpcap=") != std::string::npos &&
         std::string(overrides).find("wpcap=b") == std::string::npos;
}

TEST(PcapLoading, ThePlantedLibraryIsBesideTheProgram) {
  // Guards the other cases: without the planted DLL in place they would prove nothing.
  const DWORD attributes = GetFileAttributesA((ProgramFolder() + "wpcap.dll").c_str());
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
}

TEST(PcapLoading, ComesFromTheSystemDirectory) {
  if (SystemLibraryDisabled()) GTEST_SKIP() << "the system has no wpcap.dll in this run";
  const PcapApi* api = LoadPcap();
  ASSERT_NE(api, nullptr);
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  const std::string origin = ModulePathOf(reinterpret_cast<const void*>(api->findalldevs));
  EXPECT_EQ(origin.rfind(Lower(system) + "\\", 0), 0u) << origin;
  EXPECT_EQ(origin.rfind(ProgramFolder(), 0), std::string::npos) << origin;
}

TEST(PcapLoading, NothingWhenTheSystemHasNone) {
  if (!SystemLibraryDisabled()) GTEST_SKIP() << "the system's wpcap.dll is present in this run";
  EXPECT_EQ(LoadPcap(), nullptr);
  EXPECT_EQ(GetModuleHandleA("wpcap.dll"), nullptr) << "the planted DLL was loaded";
}

TEST(PcapLoading, NpcapBeforeSystem32AndNothingElse) {
  // A WinPcap left in System32 must not win over an installed Npcap; no other place counts.
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  const std::vector<std::string> paths = PcapLibraryPaths();
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(paths[0], std::string(system) + "\\Npcap\\wpcap.dll");
  EXPECT_EQ(paths[1], std::string(system) + "\\wpcap.dll");
}

TEST(PcapLoading, TellsWhereTheLibraryCameFrom) {
  const PcapApi* api = LoadPcap();
  if (api == nullptr) {
    EXPECT_EQ(PcapLoadedFrom(), "");
  } else {
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    EXPECT_EQ(PcapLoadedFrom(), std::string(system) + "\\wpcap.dll");  // Wine has no Npcap
  }
}

}  // namespace
}  // namespace tavi
