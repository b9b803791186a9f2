#include "console/core/console_config.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ConsoleConfig, BytesAreLittleEndianInFieldOrder) {
  ConsoleConfig config;
  config.discoverTimeout = 600;
  config.setTimeout = 0x01020304;
  config.retryCount = 10;
  config.columnWidths = {30, 100, 70000, -1, 0, 200};
  const auto bytes = EncodeConsoleConfig(config);
  const std::vector<uint8_t> expected = {
      0x58, 0x02, 0, 0,  0x04, 0x03, 0x02, 0x01, 10, 0, 0, 0,   30, 0, 0, 0,   100, 0, 0, 0,
      0x70, 0x11, 1, 0,  0xFF, 0xFF, 0xFF, 0xFF, 0,  0, 0, 0,   200, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), expected);

  ConsoleConfig back;
  ASSERT_TRUE(DecodeConsoleConfig(bytes.data(), bytes.size(), back));
  EXPECT_EQ(back.discoverTimeout, 600u);
  EXPECT_EQ(back.setTimeout, 0x01020304u);
  EXPECT_EQ(back.retryCount, 10u);
  EXPECT_EQ(back.columnWidths, config.columnWidths);
}

TEST(ConsoleConfig, ShortFileIsIgnoredAsAWhole) {
  std::vector<uint8_t> bytes(kConsoleConfigLength, 0x11);
  ConsoleConfig out;
  out.retryCount = 3;
  EXPECT_FALSE(DecodeConsoleConfig(bytes.data(), 35, out));
  EXPECT_FALSE(DecodeConsoleConfig(bytes.data(), 0, out));
  EXPECT_FALSE(DecodeConsoleConfig(nullptr, 36, out));
  EXPECT_EQ(out.retryCount, 3u);
  EXPECT_EQ(out.discoverTimeout, 0u);
}

TEST(ConsoleConfig, LongerFileContributesOnlyItsFirst36Bytes) {
  std::vector<uint8_t> bytes(64, 0);
  bytes[8] = 4;
  bytes[36] = 0xEE;
  ConsoleConfig out;
  ASSERT_TRUE(DecodeConsoleConfig(bytes.data(), bytes.size(), out));
  EXPECT_EQ(out.retryCount, 4u);
  EXPECT_EQ(out.columnWidths[5], 0);
}

TEST(ConsoleConfig, StoredWidthAppliesAsItsLow16Bits) {
  EXPECT_EQ(ColumnWidthFromStored(70000), 4464);
  EXPECT_EQ(ColumnWidthFromStored(120), 120);
  EXPECT_EQ(ColumnWidthFromStored(-1), 65535);
  EXPECT_EQ(ColumnWidthFromStored(0x7FFF0000), 0);
}

TEST(ConsoleConfig, OptionsBeyondIntSaturateInsteadOfTurningNegative) {
  EXPECT_EQ(TransportOption(600), 600);
  EXPECT_EQ(TransportOption(0x7FFFFFFF), 0x7FFFFFFF);
  EXPECT_EQ(TransportOption(0x80000000u), 0x7FFFFFFF);
  EXPECT_EQ(TransportOption(0xFFFFFFFFu), 0x7FFFFFFF);
}

}  // namespace
