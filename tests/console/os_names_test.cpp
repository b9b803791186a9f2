#include "console/os_names.h"

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

TEST(OsShortName, CoversTheTable) {
  EXPECT_STREQ(OsShortName(Windows(1, 4, 0)), "Win95");
  EXPECT_STREQ(OsShortName(Windows(1, 4, 10)), "Win98");
  EXPECT_STREQ(OsShortName(Windows(1, 4, 90)), "WinMe");
  EXPECT_STREQ(OsShortName(Windows(2, 3, 51)), "WinNT");
  EXPECT_STREQ(OsShortName(Windows(2, 3, 0)), "WinNT");
  EXPECT_STREQ(OsShortName(Windows(2, 4, 0)), "WinNT");
  EXPECT_STREQ(OsShortName(Windows(2, 5, 0)), "Win2K");
  EXPECT_STREQ(OsShortName(Windows(2, 5, 1)), "WinXP");
  EXPECT_STREQ(OsShortName(Windows(2, 3, 1)), "WinXP");
  EXPECT_STREQ(OsShortName(Windows(2, 5, 2, 1, 0, 1)), "Win2003 \"R2\"");
  EXPECT_STREQ(OsShortName(Windows(2, 5, 2, 1, 0, 2)), "Win2003");
  EXPECT_STREQ(OsShortName(Windows(2, 5, 2, 0, 0, 3)), "WinXP x64");
}

TEST(OsShortName, UnknownCombinationsAndFamilies) {
  EXPECT_STREQ(OsShortName(Windows(2, 5, 2)), "Win??");  // 5.2 without a variant
  EXPECT_STREQ(OsShortName(Windows(2, 6, 1)), "Win??");
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
  EXPECT_EQ(Format(Windows(2, 5, 0, 2)).name, "Windows 2000 Advanced Server ");
  EXPECT_EQ(Format(Windows(2, 5, 0, 3)).name, "Windows 2000 Data Center ");
  EXPECT_EQ(Format(Windows(2, 4, 0, 1)).name, "Windows NT 4.0 Server ");
  EXPECT_EQ(Format(Windows(2, 3, 51, 0)).name, "Windows NT 3.51 ");
  EXPECT_EQ(Format(Windows(1, 4, 10, 1)).name, "Windows 98 ");
  EXPECT_EQ(Format(Windows(2, 5, 2, 2, 1, 1)).name,
            "Windows Server 2003 \"R2\", Enterprise Edition SP1");
  EXPECT_EQ(Format(Windows(2, 5, 2, 1, 0, 2)).name, "Windows Server 2003 ");
  EXPECT_EQ(Format(Windows(2, 5, 2, 3, 0, 3)).name,
            "Windows XP Professional x64, Datacenter Edition ");
  // 5.2 without a variant: only the edition text.
  EXPECT_EQ(Format(Windows(2, 5, 2, 2, 2, 0)).name, ", Enterprise Edition SP2");
  // No row matches: only the service pack; the build is still the version.
  Names unknown = Format(Windows(2, 6, 1, 0, 1, 0, 7601));
  EXPECT_EQ(unknown.name, "SP1");
  EXPECT_EQ(unknown.version, "7601");
  EXPECT_EQ(Format(Windows(2, 5, 1, 0, 0, 0, 0xFFFFFFFFu)).version, "4294967295");
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
