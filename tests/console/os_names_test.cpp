#include "console/core/os_names.h"

#include <gtest/gtest.h>

namespace {

OsInfo Windows(uint8_t platform, uint8_t major, uint8_t minor, uint8_t edition = 0,
               uint8_t servicePack = 0, uint8_t variant = 0, uint32_t build = 2600) {
  OsInfo info;
  info.osValid = 1;
  info.osFamily = 1;
  info.osPlatform = platform;
  info.osMajor = major;
  info.osMinor = minor;
  info.osEdition = edition;
  info.servicePack = servicePack;
  info.osVariant = variant;
  info.osBuild = build;
  return info;
}

OsInfo Linux(uint8_t distribution, uint8_t major, uint8_t minor, uint32_t kernel, uint8_t smp) {
  OsInfo info;
  info.osValid = 1;
  info.osFamily = 2;
  info.osPlatform = distribution;
  info.osMajor = major;
  info.osMinor = minor;
  info.osBuild = kernel;
  info.servicePack = smp;
  return info;
}

struct Names {
  std::string name, version;
};
Names Format(const OsInfo& info) {
  Names names;
  FormatOsName(names.name, names.version, info);
  return names;
}

// The rows themselves are what the list shows (GUI and end-to-end tests); here the rules that
// pick a row: the platform byte, NT 3.x, 5.2 by its variant, and what has no row.
TEST(OsShortName, RowsPickedByPlatformAndVariantAndUnknownCombinations) {
  EXPECT_STREQ(OsShortName(Windows(1, 4, 10)), "Win98");
  EXPECT_STREQ(OsShortName(Windows(2, 3, 0)), "WinNT");
  EXPECT_STREQ(OsShortName(Windows(2, 3, 1)), "WinXP");
  EXPECT_STREQ(OsShortName(Windows(2, 5, 2, 1, 0, 1)), "Win2003 \"R2\"");
  EXPECT_STREQ(OsShortName(Windows(2, 5, 2, 0, 0, 3)), "WinXP x64");
  EXPECT_STREQ(OsShortName(Windows(2, 5, 2)), "Win??");  // 5.2 without a variant
  EXPECT_STREQ(OsShortName(Windows(2, 6, 4)), "Win??");
  EXPECT_STREQ(OsShortName(Windows(1, 4, 3)), "Win??");
  EXPECT_STREQ(OsShortName(Windows(0, 5, 1)), "Win??");
  EXPECT_STREQ(OsShortName(Linux(1, 9, 0, 0, 0)), "Linux");
  OsInfo invalid = Windows(2, 5, 1);
  invalid.osValid = 0;
  EXPECT_STREQ(OsShortName(invalid), "???");
  OsInfo family = Windows(2, 5, 1);
  family.osFamily = 3;
  EXPECT_STREQ(OsShortName(family), "???");
  invalid.osFamily = 2;
  EXPECT_STREQ(OsShortName(invalid), "???");  // validity is checked first
}

TEST(FormatOsName, WindowsNamesEditionsAndServicePacks) {
  Names xp = Format(Windows(2, 5, 1, 0, 2, 0, 2600));
  EXPECT_EQ(xp.name, "Windows XP Professional SP2");
  EXPECT_EQ(xp.version, "2600");
  EXPECT_EQ(Format(Windows(2, 5, 1, 16)).name, "Windows XP Home Edition ");
  EXPECT_EQ(Format(Windows(2, 5, 0, 3)).name, "Windows 2000 Data Center ");
  EXPECT_EQ(Format(Windows(1, 4, 10, 1)).name, "Windows 98 ");  // no editions on 9x
  EXPECT_EQ(Format(Windows(2, 5, 2, 2, 1, 1)).name,
            "Windows Server 2003 \"R2\", Enterprise Edition SP1");
  EXPECT_EQ(Format(Windows(2, 5, 2, 1, 0, 2)).name, "Windows Server 2003 ");
  EXPECT_EQ(Format(Windows(2, 5, 2, 3, 0, 3)).name,
            "Windows XP Professional x64, Datacenter Edition ");
  // 5.2 without a variant: only the edition text.
  EXPECT_EQ(Format(Windows(2, 5, 2, 2, 2, 0)).name, ", Enterprise Edition SP2");
  // No row matches: only the service pack; the build is still the version.
  Names unknown = Format(Windows(2, 6, 4, 0, 1, 0, 9841));
  EXPECT_EQ(unknown.name, "SP1");
  EXPECT_EQ(unknown.version, "9841");
  EXPECT_EQ(Format(Windows(2, 5, 1, 0, 0, 0, 0xFFFFFFFFu)).version, "4294967295");
}

// NT 6.0 and later: workstation (osEdition 0, home 16) or server (1 to 3) by edition.
struct ModernRow {
  uint8_t major, minor;
  uint32_t build;
  uint8_t edition;
  const char* shortName;
  const char* longName;
};

TEST(ModernWindows, EveryRowWithItsEditions) {
  const ModernRow rows[] = {
      // Workstation or server by edition, with the edition's (or Home's) suffix.
      {6, 0, 6002, 0, "WinVista", "Windows Vista "},
      {6, 0, 6002, 16, "WinVista", "Windows Vista Home "},
      {6, 0, 6002, 2, "Win2008", "Windows Server 2008 Enterprise "},
      {6, 1, 7601, 3, "Win2008R2", "Windows Server 2008 R2 Datacenter "},
      {6, 3, 9600, 16, "Win8.1", "Windows 8.1 Home "},
      // Workstations on 10.0: 11 from build 22000 on.
      {10, 0, 21999, 16, "Win10", "Windows 10 Home "},
      {10, 0, 22000, 16, "Win11", "Windows 11 Home "},
      // Servers on 10.0 by the highest known build not above the host's.
      {10, 0, 10240, 1, "Win2016", "Windows Server 2016 Standard "},
      {10, 0, 17762, 3, "Win2016", "Windows Server 2016 Datacenter "},
      {10, 0, 17763, 3, "Win2019", "Windows Server 2019 Datacenter "},
      {10, 0, 20347, 2, "Win2019", "Windows Server 2019 Enterprise "},
      {10, 0, 20348, 1, "Win2022", "Windows Server 2022 Standard "},
      {10, 0, 25398, 3, "Win2022", "Windows Server 2022 Datacenter "},
      {10, 0, 26100, 3, "Win2025", "Windows Server 2025 Datacenter "},
      {10, 0, 30000, 1, "Win2025", "Windows Server 2025 Standard "},
      // An edition the agent never sends: the name without a suffix.
      {10, 0, 20348, 7, "Win10", "Windows 10 "},
  };
  for (const ModernRow& row : rows) {
    SCOPED_TRACE(std::to_string(row.major) + "." + std::to_string(row.minor) + "." +
                 std::to_string(row.build) + " edition " + std::to_string(row.edition));
    const OsInfo info = Windows(2, row.major, row.minor, row.edition, 0, 0, row.build);
    EXPECT_STREQ(OsShortName(info), row.shortName);
    EXPECT_LE(std::string(OsShortName(info)).size(), 9u);  // the list's "OS" column
    const Names names = Format(info);
    EXPECT_EQ(names.name, row.longName);
    EXPECT_EQ(names.version, std::to_string(row.build));
  }
}

TEST(ModernWindows, ServicePackAndTheRowsAround) {
  EXPECT_EQ(Format(Windows(2, 6, 1, 0, 1, 0, 7601)).name, "Windows 7 SP1");
  EXPECT_EQ(Format(Windows(2, 6, 0, 2, 2, 0, 6002)).name, "Windows Server 2008 Enterprise SP2");
  // Only NT 6.0 to 6.3 and 10.0 have names; a 9x platform byte never takes them.
  for (const OsInfo& info : {Windows(2, 6, 4), Windows(2, 10, 1), Windows(2, 11, 0),
                             Windows(2, 7, 0), Windows(1, 6, 1), Windows(1, 10, 0)}) {
    EXPECT_STREQ(OsShortName(info), "Win??");
    EXPECT_EQ(Format(info).name, "");
  }
}

TEST(FormatOsName, LinuxDistributionAndKernel) {
  Names redHat = Format(Linux(1, 9, 0, 2 | 4 << 8 | 20 << 16 | 8u << 24, 2));
  EXPECT_EQ(redHat.name, "Red Hat 9.0 ");
  EXPECT_EQ(redHat.version, "2.4.20-8 SMP ");
  EXPECT_EQ(Format(Linux(3, 5, 1, 0, 0)).name, "Linpus 5.1 ");
  Names bare = Format(Linux(0, 7, 3, 2 | 6 << 8, 0));
  EXPECT_EQ(bare.name, "7.3 ");
  EXPECT_EQ(bare.version, "2.6.0-0 ");
}

TEST(FormatOsName, InvalidRecordsWriteNothingAndTextsStayWithinTheFields) {
  std::string name = "kept", version = "kept";
  OsInfo invalid = Windows(2, 5, 1);
  invalid.osValid = 0;
  FormatOsName(name, version, invalid);
  EXPECT_EQ(name, "kept");
  EXPECT_EQ(version, "kept");
  // The largest kernel numbers with SMP would need 20 characters; the field holds 19.
  Names wide = Format(Linux(2, 255, 255, 0xFFFFFFFFu, 2));
  EXPECT_EQ(wide.version, "255.255.255-255 SMP");
  EXPECT_LE(wide.version.size(), kOsVersionMaxChars);
}

}  // namespace
