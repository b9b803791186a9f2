// The OsInfo rules on the versions Windows reports, natively and under Wine.
#include "agent/os_info_rules.h"

#include <gtest/gtest.h>

namespace {

using namespace WindowsVersion;

ReportedVersion Version(uint32_t major, uint32_t minor, uint8_t productType, uint16_t suite,
                        uint32_t build = 3790, uint16_t servicePack = 2) {
  ReportedVersion v;
  v.platformId = 2;
  v.major = major;
  v.minor = minor;
  v.build = build;
  v.servicePackMajor = servicePack;
  v.productType = productType;
  v.suiteMask = suite;
  return v;
}

OsInfo Fill(const ReportedVersion& version, int serverR2 = 0,
            uint16_t architecture = kArchitectureAmd64) {
  OsInfo os;
  FillOsInfo(os, version, serverR2, architecture);
  return os;
}

TEST(OsInfoRules, FieldsAndTheVariantsOfVersion52) {
  OsInfo os = Fill(Version(5, 2, kServer, kSuiteEnterprise), 1);
  EXPECT_EQ(os.osValid, 1);
  EXPECT_EQ(os.osFamily, 1);
  EXPECT_EQ(os.osPlatform, 2);
  EXPECT_EQ(os.osMajor, 5);
  EXPECT_EQ(os.osMinor, 2);
  EXPECT_EQ(os.osBuild, 3790u);
  EXPECT_EQ(os.servicePack, 2);
  EXPECT_EQ(os.osEdition, 2);
  EXPECT_EQ(os.osVariant, 1);  // R2

  EXPECT_EQ(Fill(Version(5, 2, kServer, kSuiteEnterprise)).osVariant, 2);
  os = Fill(Version(5, 2, kWorkstation, 0));
  EXPECT_EQ(os.osEdition, 0);
  EXPECT_EQ(os.osVariant, 3);  // XP Professional x64
  EXPECT_EQ(Fill(Version(5, 2, kWorkstation, 0), 0, 0).osVariant, 2);  // 32-bit processor
  // Only 5.2 has variants, and a 9x platform gives osPlatform 1.
  EXPECT_EQ(Fill(Version(5, 0, kServer, 0), 1).osVariant, 0);
  EXPECT_EQ(Fill(Version(10, 0, kServer, 0, 20348, 0), 1).osVariant, 0);
  ReportedVersion me = Version(4, 90, 0, 0);
  me.platformId = 1;
  EXPECT_EQ(Fill(me).osPlatform, 1);
  me.platformId = 3;
  EXPECT_EQ(Fill(me).osPlatform, 0);
}

TEST(OsInfoRules, ServerEditionsByTheLastMatchingSuiteBit) {
  EXPECT_EQ(Fill(Version(5, 2, kServer, 0)).osEdition, 1);
  EXPECT_EQ(Fill(Version(5, 2, kServer, kSuitePersonal)).osEdition, 16);
  EXPECT_EQ(Fill(Version(5, 2, kServer, kSuitePersonal | kSuiteDatacenter)).osEdition, 3);
  EXPECT_EQ(Fill(Version(5, 2, kServer, kSuiteEnterprise | kSuiteDatacenter)).osEdition, 3);
}

TEST(OsInfoRules, DomainControllerTakesTheServerRules) {
  // Reported as "Professional" (0) before; a domain controller is a server.
  EXPECT_EQ(Fill(Version(5, 2, kDomainController, 0)).osEdition, 1);
  EXPECT_EQ(Fill(Version(5, 2, kDomainController, kSuiteEnterprise)).osEdition, 2);
  EXPECT_EQ(Fill(Version(10, 0, kDomainController, kSuiteDatacenter, 20348, 0)).osEdition, 3);
  EXPECT_EQ(Fill(Version(5, 2, kDomainController, 0)).osVariant, 2);  // not XP x64
}

TEST(OsInfoRules, HomeBitHonouredOnWorkstations) {
  // Windows XP Home: reported as Professional (0) before.
  EXPECT_EQ(Fill(Version(5, 1, kWorkstation, kSuitePersonal, 2600, 3)).osEdition, 16);
  EXPECT_EQ(Fill(Version(10, 0, kWorkstation, kSuitePersonal, 22631, 0)).osEdition, 16);
  // Server suite bits mean nothing on a workstation; an unknown product type stays 0.
  EXPECT_EQ(Fill(Version(10, 0, kWorkstation, kSuiteEnterprise, 19045, 0)).osEdition, 0);
  EXPECT_EQ(Fill(Version(10, 0, 0, kSuitePersonal | kSuiteDatacenter, 19045, 0)).osEdition, 0);
}

TEST(OsInfoRules, CurrentVersionsKeepTheirNumbers) {
  OsInfo os = Fill(Version(10, 0, kServer, kSuiteDatacenter, 26100, 0));
  EXPECT_EQ(os.osMajor, 10);
  EXPECT_EQ(os.osMinor, 0);
  EXPECT_EQ(os.osBuild, 26100u);
  EXPECT_EQ(os.servicePack, 0);
  EXPECT_EQ(os.osEdition, 3);
}

}  // namespace
