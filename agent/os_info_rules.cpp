#include "agent/os_info_rules.h"

using namespace WindowsVersion;

namespace {

uint8_t EditionOf(const ReportedVersion& version) {
  // A domain controller is a server with the directory role: same editions as a server.
  if (version.productType == kServer || version.productType == kDomainController) {
    uint8_t edition = 1;
    if (version.suiteMask & kSuitePersonal) edition = 16;
    if (version.suiteMask & kSuiteEnterprise) edition = 2;
    if (version.suiteMask & kSuiteDatacenter) edition = 3;
    return edition;
  }
  // Windows XP Home and the later home editions carry the personal suite bit.
  if (version.productType == kWorkstation && (version.suiteMask & kSuitePersonal)) return 16;
  return 0;
}

}  // namespace

void FillOsInfo(OsInfo& osInfo, const ReportedVersion& version, int serverR2,
                uint16_t nativeArchitecture) {
  osInfo = OsInfo();
  osInfo.osValid = 1;
  osInfo.osFamily = 1;
  if (version.platformId == 1) osInfo.osPlatform = 1;
  else if (version.platformId == 2) osInfo.osPlatform = 2;

  osInfo.osEdition = EditionOf(version);
  osInfo.osMajor = static_cast<uint8_t>(version.major);
  osInfo.osMinor = static_cast<uint8_t>(version.minor);
  osInfo.osBuild = version.build;
  osInfo.servicePack = static_cast<uint8_t>(version.servicePackMajor);

  if (version.major == 5 && version.minor == 2) {
    if (serverR2) osInfo.osVariant = 1;
    else if (version.productType == kWorkstation && nativeArchitecture == kArchitectureAmd64)
      osInfo.osVariant = 3;
    else osInfo.osVariant = 2;
  }
}
