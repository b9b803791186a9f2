#include "agent/host_info.h"

#include <cstring>
#include <ctime>

#include "TaviServer.h"
#include "agent/accounts.h"
#include "agent/host_name.h"
#include "agent/nic_info.h"
#include "agent/registry.h"
#include "agent/system_calls.h"

namespace {

const char kManagementKey[] = "SOFTWARE\\Orvane\\Management";
const char kRidoKey[] = "SOFTWARE\\Orvane\\RIDO";
const char kRidoLaunchString[] = "http://%A:%P/";
constexpr uint16_t kRidoDefaultPort = 2623;

// The factory-default password of the built-in administrator account.
const char kDefaultAdministrator[] = "Administrator";
const char kDefaultPassword[] = "7395";

typedef void(WINAPI* GetNativeSystemInfoFn)(LPSYSTEM_INFO);
typedef LONG(WINAPI* RtlGetVersionFn)(OSVERSIONINFOEXW*);

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

namespace {

template <typename Info>
ReportedVersion FromVersionInfo(const Info& version) {
  ReportedVersion reported;
  reported.platformId = version.dwPlatformId;
  reported.major = version.dwMajorVersion;
  reported.minor = version.dwMinorVersion;
  reported.build = version.dwBuildNumber;
  reported.servicePackMajor = version.wServicePackMajor;
  reported.suiteMask = version.wSuiteMask;
  reported.productType = version.wProductType;
  return reported;
}

}  // namespace

ReportedVersion ReadReportedVersion() {
  // GetVersionExA tells a program 6.2 build 9200 on Windows 8.1 and later unless its
  // manifest names the newer systems; RtlGetVersion reports the true version regardless.
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  RtlGetVersionFn rtlGetVersion =
      ntdll == nullptr ? nullptr
                       : reinterpret_cast<RtlGetVersionFn>(
                             reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
  OSVERSIONINFOEXW trueVersion;
  std::memset(&trueVersion, 0, sizeof trueVersion);
  trueVersion.dwOSVersionInfoSize = sizeof trueVersion;
  if (rtlGetVersion != nullptr && rtlGetVersion(&trueVersion) == 0)
    return FromVersionInfo(trueVersion);

  OSVERSIONINFOEXA version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version)))
    std::memset(&version, 0, sizeof version);
#pragma GCC diagnostic pop
  return FromVersionInfo(version);
}

void CollectOsInfo(OsInfo& osInfo) {
  const ReportedVersion version = ReadReportedVersion();
  int serverR2 = 0;
  WORD architecture = PROCESSOR_ARCHITECTURE_UNKNOWN;
  if (version.major == 5 && version.minor == 2) {
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

namespace {

// The default-password probe is a network logon of the built-in Administrator; current
// Windows locks that account after a few failed network logons, and every discovery from
// anyone asks for the setup state. So the probe runs at most once per interval per agent.
bool probeKnown = false;
bool probeAccepted = false;
ULONGLONG probeTimeMs = 0;

bool DefaultPasswordAccepted() {
  const ULONGLONG now = agentSystem.getTickCount64();
  if (probeKnown && now - probeTimeMs < kDefaultPasswordProbeIntervalMs) return probeAccepted;
  uint8_t password[kPasswordLength];
  std::memset(password, 0, sizeof password);
  std::memcpy(password, kDefaultPassword, sizeof kDefaultPassword - 1);
  probeAccepted = CheckCredentials(kDefaultAdministrator, password) == Status::Ok;
  RevertToAgentContext();
  probeKnown = true;
  probeTimeMs = now;
  return probeAccepted;
}

}  // namespace

void ForgetDefaultPasswordProbe() { probeKnown = false; }

uint8_t ComputeSetupState() {
  const bool defaultAccepted = DefaultPasswordAccepted();

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
