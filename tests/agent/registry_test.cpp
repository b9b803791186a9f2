// Registry routines against the prefix's real registry.
#include <gtest/gtest.h>

#include "agent/host_name.h"
#include "agent/registry.h"
#include "fake_system.h"

namespace {

const char kTestGuid[] = "{6E657476-616E-6500-0000-000000000001}";
const char kParameterKey[] = "SYSTEM\\CurrentControlSet\\Services\\TaviAgent\\Parameter";

class RegistryTest : public AgentTest {
 protected:
  void SetUp() override {
    AgentTest::SetUp();
    path_ = InterfaceKeyPath(kTestGuid);
    CreateKey(path_);
    ASSERT_EQ(OpenInterfaceKey(WideAdapterName(kTestGuid).c_str(), &key_), 1);
  }
  void TearDown() override {
    if (key_) RegCloseKey(key_);
    DeleteKeyTree(path_);
    AgentTest::TearDown();
  }
  std::vector<uint8_t> Raw(const char* name, DWORD* type = nullptr) {
    std::vector<uint8_t> data;
    EXPECT_TRUE(GetRawValue(path_, name, data, type)) << name;
    return data;
  }
  std::string path_;
  HKEY key_ = nullptr;
};

TEST_F(RegistryTest, StringSizesFollowTheirType) {
  ASSERT_EQ(WriteRegValue(key_, "IPAddress", REG_MULTI_SZ, "0.0.0.0", 0), 1);
  DWORD type = 0;
  EXPECT_EQ(Raw("IPAddress", &type),
            (std::vector<uint8_t>{'0', '.', '0', '.', '0', '.', '0', 0, 0}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));

  ASSERT_EQ(WriteRegValue(key_, "DefaultGateway", REG_MULTI_SZ, "", 0), 1);
  EXPECT_EQ(Raw("DefaultGateway"), (std::vector<uint8_t>{0, 0}));

  ASSERT_EQ(WriteRegValue(key_, "NameServer", REG_SZ, "", 0), 1);
  EXPECT_EQ(Raw("NameServer", &type), (std::vector<uint8_t>{0}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

  const DWORD one = 1;
  ASSERT_EQ(WriteRegValue(key_, "EnableDHCP", REG_DWORD, &one, sizeof one), 1);
  EXPECT_EQ(Raw("EnableDHCP", &type), (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
}

TEST_F(RegistryTest, ReadsRawDataAndRefusesWhatDoesNotFit) {
  SetStringValue(path_, "DhcpNameServer", REG_SZ, "198.51.100.53 198.51.100.54");
  char buffer[64] = {};
  ASSERT_EQ(ReadRegValue(key_, "DhcpNameServer", buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "198.51.100.53 198.51.100.54");

  char small[8] = {};
  EXPECT_EQ(ReadRegValue(key_, "DhcpNameServer", small, sizeof small), 0);
  EXPECT_EQ(ReadRegValue(key_, "Missing", buffer, sizeof buffer), 0);
}

TEST_F(RegistryTest, NullArgumentsAndNamesWithoutGuidFail) {
  char buffer[8] = {};
  EXPECT_EQ(ReadRegValue(nullptr, "x", buffer, sizeof buffer), 0);
  EXPECT_EQ(ReadRegValue(key_, nullptr, buffer, sizeof buffer), 0);
  EXPECT_EQ(ReadRegValue(key_, "x", nullptr, sizeof buffer), 0);
  EXPECT_EQ(WriteRegValue(nullptr, "x", REG_SZ, "a", 0), 0);
  EXPECT_EQ(WriteRegValue(key_, nullptr, REG_SZ, "a", 0), 0);
  EXPECT_EQ(WriteRegValue(key_, "x", REG_SZ, nullptr, 0), 0);

  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(OpenInterfaceKey(nullptr, &key), 0);
  EXPECT_EQ(OpenInterfaceKey(L"\\DEVICE\\TCPIP_no-braces-here", &key), 0);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(OpenInterfaceKey(L"\\DEVICE\\TCPIP_{00000000-0000-0000-0000-00000000DEAD}", &key), 0);
}

class MagicNumberTest : public AgentTest {
 protected:
  void SetUp() override {
    AgentTest::SetUp();
    DeleteKeyTree(kParameterKey);
  }
  void TearDown() override {
    DeleteKeyTree(kParameterKey);
    AgentTest::TearDown();
  }
};

TEST_F(MagicNumberTest, StoredAsFourByteDwordAndReadBack) {
  uint32_t magic = 7;
  EXPECT_EQ(LoadMagicNumber(&magic), 0);  // no value yet: key created, magic untouched
  EXPECT_EQ(magic, 7u);

  ASSERT_EQ(StoreMagicNumber(0xC0A80001u), 1);
  std::vector<uint8_t> data;
  DWORD type = 0;
  ASSERT_TRUE(GetRawValue(kParameterKey, "MagicNumber", data, &type));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(data, (std::vector<uint8_t>{0x01, 0x00, 0xA8, 0xC0}));
  ASSERT_EQ(LoadMagicNumber(&magic), 1);
  EXPECT_EQ(magic, 0xC0A80001u);
}

TEST_F(MagicNumberTest, ValueOfAnotherTypeOrSizeCountsAsAbsent) {
  CreateKey(kParameterKey);
  SetStringValue(kParameterKey, "MagicNumber", REG_SZ, "123");  // 4 bytes, wrong type
  uint32_t magic = 5;
  EXPECT_EQ(LoadMagicNumber(&magic), 0);
  EXPECT_EQ(magic, 5u);

  const uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, kParameterKey, "MagicNumber", REG_BINARY, eight,
                            sizeof eight),
            ERROR_SUCCESS);
  EXPECT_EQ(LoadMagicNumber(&magic), 0);
  EXPECT_EQ(magic, 5u);
}

}  // namespace
