// The OsInfo of the host record from the version the system reports. Free of Windows
// headers, so the rules are tested natively as well.
#pragma once

#include <cstdint>

#include "protocol/frames.h"

// What RtlGetVersion (or GetVersionExA) reports, with the values of the Windows constants.
struct ReportedVersion {
  uint32_t platformId = 0;  // 1 VER_PLATFORM_WIN32_WINDOWS, 2 VER_PLATFORM_WIN32_NT
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  uint16_t servicePackMajor = 0;
  uint16_t suiteMask = 0;
  uint8_t productType = 0;  // 1 workstation, 2 domain controller, 3 server
};

namespace WindowsVersion {
constexpr uint8_t kWorkstation = 1;
constexpr uint8_t kDomainController = 2;
constexpr uint8_t kServer = 3;
constexpr uint16_t kSuiteEnterprise = 0x0002;
constexpr uint16_t kSuiteDatacenter = 0x0080;
constexpr uint16_t kSuitePersonal = 0x0200;
constexpr uint16_t kArchitectureAmd64 = 9;
}  // namespace WindowsVersion

// serverR2: GetSystemMetrics(SM_SERVERR2) was nonzero; both it and the native processor
// architecture matter for version 5.2 only.
void FillOsInfo(OsInfo& osInfo, const ReportedVersion& version, int serverR2,
                uint16_t nativeArchitecture);
