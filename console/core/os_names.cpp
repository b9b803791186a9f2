#include "console/core/os_names.h"

#include <cstdio>

namespace {

constexpr uint8_t kWindows = 1;
constexpr uint8_t kLinux = 2;
constexpr uint8_t kPlatform9x = 1;
constexpr uint8_t kPlatformNt = 2;

// NT 6.0 and later, workstation and server by osEdition: the server editions are 1, 2 and
// 3 (a domain controller is reported as a server); 0 and the home edition 16 are
// workstations.
struct ModernName {
  const char* shortName;
  const char* longName;
};

bool IsServerEdition(uint8_t edition) { return edition >= 1 && edition <= 3; }

// Server releases of NT 10.0 by their first build; a host is named after the highest one
// not above its build, and builds below the first after the first.
constexpr struct {
  uint32_t firstBuild;
  ModernName name;
} kServer10[] = {
    {14393, {"Win2016", "Windows Server 2016"}},
    {17763, {"Win2019", "Windows Server 2019"}},
    {20348, {"Win2022", "Windows Server 2022"}},
    {26100, {"Win2025", "Windows Server 2025"}},
};
constexpr uint32_t kFirstWindows11Build = 22000;

// Null when the record is not NT 6.0, 6.1, 6.2, 6.3 or 10.0.
const ModernName* FindModernName(const OsInfo& info) {
  static constexpr ModernName kWorkstation6[] = {{"WinVista", "Windows Vista "},
                                                 {"Win7", "Windows 7 "},
                                                 {"Win8", "Windows 8 "},
                                                 {"Win8.1", "Windows 8.1 "}};
  static constexpr ModernName kServer6[] = {{"Win2008", "Windows Server 2008"},
                                            {"Win2008R2", "Windows Server 2008 R2"},
                                            {"Win2012", "Windows Server 2012"},
                                            {"Win2012R2", "Windows Server 2012 R2"}};
  static constexpr ModernName kWindows10 = {"Win10", "Windows 10 "};
  static constexpr ModernName kWindows11 = {"Win11", "Windows 11 "};
  if (info.osPlatform != kPlatformNt) return nullptr;
  const bool server = IsServerEdition(info.osEdition);
  if (info.osMajor == 6 && info.osMinor <= 3)
    return server ? &kServer6[info.osMinor] : &kWorkstation6[info.osMinor];
  if (info.osMajor != 10 || info.osMinor != 0) return nullptr;
  if (!server) return info.osBuild < kFirstWindows11Build ? &kWindows10 : &kWindows11;
  const ModernName* name = &kServer10[0].name;
  for (const auto& release : kServer10)
    if (info.osBuild >= release.firstBuild) name = &release.name;
  return name;
}

// Same style for every release from NT 6.0 on: the edition follows the name as a word.
const char* ModernEditionSuffix(uint8_t edition) {
  switch (edition) {
    case 1: return " Standard ";
    case 2: return " Enterprise ";
    case 3: return " Datacenter ";
    case 16: return "Home ";
    default: return "";
  }
}

const char* NtEditionSuffix(uint8_t major, uint8_t minor, uint8_t edition) {
  if ((major == 3 && minor == 51) || (major == 4 && minor == 0)) return edition == 1 ? "Server " : "";
  if (major == 5 && minor == 0) {
    switch (edition) {
      case 0: return "Professional ";
      case 1: return "Server ";
      case 2: return "Advanced Server ";
      case 3: return "Data Center ";
      default: return "";
    }
  }
  if (major == 5 && minor == 1) {
    if (edition == 0) return "Professional ";
    if (edition == 16) return "Home Edition ";
    return "";
  }
  if (major == 5 && minor == 2) {
    if (edition == 2) return ", Enterprise Edition ";
    if (edition == 3) return ", Datacenter Edition ";
    return " ";
  }
  return "";
}

const char* WindowsName(const OsInfo& info) {
  const uint8_t major = info.osMajor, minor = info.osMinor;
  if (info.osPlatform == kPlatform9x && major == 4) {
    if (minor == 0) return "Windows 95 ";
    if (minor == 10) return "Windows 98 ";
    if (minor == 90) return "Windows Me ";
    return nullptr;
  }
  if (info.osPlatform != kPlatformNt) return nullptr;
  if (const ModernName* modern = FindModernName(info)) return modern->longName;
  if (major == 3 && minor == 51) return "Windows NT 3.51 ";
  if (major == 4 && minor == 0) return "Windows NT 4.0 ";
  if (major == 5 && minor == 0) return "Windows 2000 ";
  if (major == 5 && minor == 1) return "Windows XP ";
  if (major == 5 && minor == 2) {
    switch (info.osVariant) {
      case 1: return "Windows Server 2003 \"R2\"";
      case 2: return "Windows Server 2003";
      case 3: return "Windows XP Professional x64";
      default: return "";  // no name, but the edition text still follows
    }
  }
  return nullptr;
}

const char* LinuxDistribution(uint8_t platform) {
  switch (platform) {
    case 1: return "Red Hat ";
    case 2: return "Mandrake ";
    case 3: return "Linpus ";
    default: return "";
  }
}

}  // namespace

const char* OsShortName(const OsInfo& info) {
  if (info.osValid != 1) return "???";
  if (info.osFamily == kLinux) return "Linux";
  if (info.osFamily != kWindows) return "???";
  const uint8_t major = info.osMajor, minor = info.osMinor;
  if (info.osPlatform == kPlatform9x && major == 4) {
    if (minor == 0) return "Win95";
    if (minor == 10) return "Win98";
    if (minor == 90) return "WinMe";
  }
  if (info.osPlatform == kPlatformNt) {
    if (major == 3 && (minor == 51 || minor == 0)) return "WinNT";
    if (major == 4 && minor == 0) return "WinNT";
    if (major == 5 && minor == 0) return "Win2K";
    if (major >= 3 && major <= 5 && minor == 1) return "WinXP";
    if (major >= 3 && major <= 5 && minor == 2) {
      if (info.osVariant == 1) return "Win2003 \"R2\"";
      if (info.osVariant == 2) return "Win2003";
      if (info.osVariant == 3) return "WinXP x64";
    }
  }
  if (const ModernName* modern = FindModernName(info)) return modern->shortName;
  return "Win??";
}

void FormatOsName(std::string& nameOut, std::string& versionOut, const OsInfo& info) {
  if (info.osValid != 1) return;
  char text[48];
  if (info.osFamily == kWindows) {
    if (const char* name = WindowsName(info)) {
      nameOut += name;
      if (FindModernName(info) != nullptr)
        nameOut += ModernEditionSuffix(info.osEdition);
      else if (info.osPlatform == kPlatformNt)
        nameOut += NtEditionSuffix(info.osMajor, info.osMinor, info.osEdition);
    }
    if (info.servicePack > 0) {
      std::snprintf(text, sizeof text, "SP%d", info.servicePack);
      nameOut += text;
    }
    std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(info.osBuild));
    versionOut = text;
  } else if (info.osFamily == kLinux) {
    nameOut += LinuxDistribution(info.osPlatform);
    std::snprintf(text, sizeof text, "%d.%d ", info.osMajor, info.osMinor);
    nameOut += text;
    // Kernel version, one byte each in storage order: major, minor, patch level, release.
    const uint32_t build = info.osBuild;
    std::snprintf(text, sizeof text, "%d.%d.%d-%d ", static_cast<int>(build & 0xFF),
                  static_cast<int>((build >> 8) & 0xFF), static_cast<int>((build >> 16) & 0xFF),
                  static_cast<int>(build >> 24));
    versionOut = text;
    if (info.servicePack == 2) versionOut += "SMP ";
  } else {
    return;
  }
  // The panel's fields hold no more; large kernel numbers with "SMP " would otherwise pass
  // the version field's 19 characters.
  if (nameOut.size() > kOsNameMaxChars) nameOut.resize(kOsNameMaxChars);
  if (versionOut.size() > kOsVersionMaxChars) versionOut.resize(kOsVersionMaxChars);
}
