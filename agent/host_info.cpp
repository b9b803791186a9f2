#include "agent/host_info.h"

#include <cstring>
#include <ctime>

#include "TaviServer.h"
#include "agent/accounts.h"
#include "agent/host_name.h"
#include "agent/nic_info.h"
#include "agent/registry.h"

namespace {

const char kManagementKey[] = "SOFTWARE\\Orvane\\Management";
const char kRidoKey[] = "SOFTWARE\\Orvane\\RIDO";
const char kRidoLaunchString[] = "http://%A:%P/";
constexpr uint16_t kRidoDefaultPort = 2623;

// The factory-default password of the built-in administrator account.
const char kDefaultAdministrator[] = "Administrator";
const char kDefaultPassword[] = "7395";

typedef void(WINAPI* GetNativeSystemInfoFn)(LPSYSTEM_INFO);

}  // namespace

uint16_t QueryRidoPort() {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return 0;
  SC_HANDLE service = OpenServiceA(manager, "rdsvc", SERVICE_ALL_ACCESS);
  if (service == nullptr) {
    CloseServiceHandle(manager);
    return 0;
  }
  uint16_t port = 0;
  SERVICE_STATUS status;
  std::memset(&status, 0, sizeof status);
  if (QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRidoKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
      uint8_t value[4];
      std::memset(value, 0, sizeof value);
      ReadRegValue(key, "Port", value, sizeof value);
      port = LoadU16(value);
      RegCloseKey(key);
    }
    if (port == 0) port = kRidoDefaultPort;
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return port;
}

void CollectManagementInfo(HostRecord& host) {
  host.mgmtAgentType = 0;
  host.mgmtLaunchString.assign("");
  host.mgmtPort = QueryRidoPort();
  if (host.mgmtPort != 0) {
    host.mgmtAgentType = 1;
    host.mgmtLaunchString.assign(kRidoLaunchString);
    return;
  }
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kManagementKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return;
  // Raw data, whatever the type: a REG_DWORD contributes its low-order bytes.
  uint8_t value[kRegBufferLength];
  std::memset(value, 0, sizeof value);
  if (ReadRegValue(key, "MgmtAgentType", value, sizeof value)) host.mgmtAgentType = value[0];
  std::memset(value, 0, sizeof value);
  if (ReadRegValue(key, "MgmtPort", value, sizeof value)) host.mgmtPort = LoadU16(value);
  std::memset(value, 0, sizeof value);
  // A longer launch string is cut to the 35 characters that fit with the terminator.
  if (ReadRegValue(key, "MgmtLaunchString", value, sizeof value - 1))
    host.mgmtLaunchString.assign(reinterpret_cast<const char*>(value),
                                 host.mgmtLaunchString.size() - 1);
  host.mgmtLaunchString.bytes[host.mgmtLaunchString.size() - 1] = '\0';
  RegCloseKey(key);
}

void CollectModelName(HostRecord& host) {
  host.modelName.assign("");
  unsigned char scratch[16];
  std::memset(scratch, 0, sizeof scratch);
  if (TVGetOrvaneInfo(scratch, sizeof scratch, host.modelName.bytes.data(),
                      static_cast<int>(host.modelName.size())) == 0)
    host.modelName.assign("Unknown");
}

void FillOsInfo(OsInfo& osInfo, const OSVERSIONINFOEXA& version, int serverR2,
                WORD nativeArchitecture) {
  osInfo = OsInfo();
  osInfo.osValid = 1;
  osInfo.osFamily = 1;
  if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) osInfo.osPlatform = 1;
  else if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) osInfo.osPlatform = 2;

  if (version.wProductType == VER_NT_SERVER) {
    osInfo.osEdition = 1;
    if (version.wSuiteMask & VER_SUITE_PERSONAL) osInfo.osEdition = 16;
    if (version.wSuiteMask & VER_SUITE_ENTERPRISE) osInfo.osEdition = 2;
    if (version.wSuiteMask & VER_SUITE_DATACENTER) osInfo.osEdition = 3;
  }
  osInfo.osMajor = static_cast<uint8_t>(version.dwMajorVersion);
  osInfo.osMinor = static_cast<uint8_t>(version.dwMinorVersion);
  osInfo.osBuild = version.dwBuildNumber;
  osInfo.servicePack = static_cast<uint8_t>(version.wServicePackMajor);

  if (version.dwMajorVersion == 5 && version.dwMinorVersion == 2) {
    if (serverR2) osInfo.osVariant = 1;
    else if (version.wProductType == VER_NT_WORKSTATION &&
             nativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64)
      osInfo.osVariant = 3;
    else osInfo.osVariant = 2;
  }
}

void CollectOsInfo(OsInfo& osInfo) {
  OSVERSIONINFOEXA version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version)))
    std::memset(&version, 0, sizeof version);
#pragma GCC diagnostic pop

  int serverR2 = 0;
  WORD architecture = PROCESSOR_ARCHITECTURE_UNKNOWN;
  if (version.dwMajorVersion == 5 && version.dwMinorVersion == 2) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    GetNativeSystemInfoFn getNative =
        kernel == nullptr ? nullptr
                          : reinterpret_cast<GetNativeSystemInfoFn>(reinterpret_cast<void*>(
                                GetProcAddress(kernel, "GetNativeSystemInfo")));
    if (getNative != nullptr) {
      SYSTEM_INFO info;
      std::memset(&info, 0, sizeof info);
      getNative(&info);
      architecture = info.wProcessorArchitecture;
    }
    serverR2 = GetSystemMetrics(SM_SERVERR2) != 0;
  }
  FillOsInfo(osInfo, version, serverR2, architecture);
}

void CollectHostInfo(HostRecord& host) {
  CollectManagementInfo(host);
  CollectModelName(host);

  char configured[kComputerNameBufferLength];
  std::memset(configured, 0, sizeof configured);
  ReadComputerName(configured, kConfiguredName);
  host.hostName.assign(configured, kHostNameMaxChars);

  char active[kComputerNameBufferLength];
  std::memset(active, 0, sizeof active);
  ReadComputerName(active, kActiveName);
  host.nameChangePending = lstrcmpiA(configured, active) != 0 ? 1 : 0;

  host.magicNumber = static_cast<uint32_t>(std::time(nullptr));
  CollectOsInfo(host.osInfo);
  CollectNicInfo(host);
}

uint8_t ComputeSetupState() {
  uint8_t password[kPasswordLength];
  std::memset(password, 0, sizeof password);
  std::memcpy(password, kDefaultPassword, sizeof kDefaultPassword - 1);
  const bool defaultAccepted = CheckCredentials(kDefaultAdministrator, password) == Status::Ok;
  RevertToAgentContext();

  int count = 0;
  int addressed = 0;
  IP_ADAPTER_INFO* adapters = ReadAdapterList();
  for (const IP_ADAPTER_INFO* adapter = adapters; adapter != nullptr; adapter = adapter->Next) {
    ++count;
    const IP_ADDR_STRING& first = adapter->IpAddressList;
    if (AddressFromText(first.IpAddress.String, sizeof first.IpAddress.String) != 0) ++addressed;
  }
  FreeAdapterList(adapters);

  if (defaultAccepted)
    return addressed == 0 ? SetupState::DefaultPasswordNoAddress
                          : SetupState::DefaultPasswordAddressed;
  return addressed < count ? SetupState::PartlyAddressed : SetupState::AllAddressed;
}
