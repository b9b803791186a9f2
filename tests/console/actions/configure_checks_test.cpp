#include "console/core/configure_checks.h"

#include <gtest/gtest.h>

namespace {

ConfigureOutcome Check(const char* d, const char* s, const char* r, ConfigureValues& v) {
  return CheckConfigureFields(d, s, r, v);
}

TEST(CheckConfigureFields, LimitsAreInclusiveAndZeroIsAccepted) {
  ConfigureValues values;
  ConfigureOutcome outcome = Check("600", "600", "10", values);
  EXPECT_EQ(outcome.field, ConfigureField::None);
  EXPECT_EQ(outcome.message, nullptr);
  EXPECT_EQ(values.discoverTimeout, 600u);
  EXPECT_EQ(values.retryCount, 10u);
  EXPECT_EQ(Check("0", "0", "0", values).field, ConfigureField::None);
}

TEST(CheckConfigureFields, LimitsAreCheckedInOrder) {
  ConfigureValues values;
  ConfigureOutcome outcome = Check("601", "601", "11", values);
  EXPECT_EQ(outcome.field, ConfigureField::DiscoverTimeout);
  EXPECT_STREQ(outcome.message, kDiscoverTooLongText);
  outcome = Check("600", "601", "11", values);
  EXPECT_EQ(outcome.field, ConfigureField::SetTimeout);
  EXPECT_STREQ(outcome.message, kSetTooLongText);
  outcome = Check("600", "600", "11", values);
  EXPECT_EQ(outcome.field, ConfigureField::RetryCount);
  EXPECT_STREQ(outcome.message, "Retry times should not be bigger than 10.");
}

TEST(CheckConfigureFields, FieldWithoutANumberIsRefusedBeforeAnyLimit) {
  ConfigureValues values;
  values.retryCount = 7;
  ConfigureOutcome outcome = Check("9999", "", "3", values);
  EXPECT_EQ(outcome.field, ConfigureField::SetTimeout);
  EXPECT_STREQ(outcome.message, "Please enter a positive integer.");
  EXPECT_EQ(values.retryCount, 7u);  // untouched
  EXPECT_EQ(Check("5", "30", "-1", values).field, ConfigureField::RetryCount);
}

TEST(ParseUnsignedDecimal, AcceptsDigitsWithin32Bits) {
  uint32_t value = 0;
  EXPECT_TRUE(ParseUnsignedDecimal(" 42 ", value));
  EXPECT_EQ(value, 42u);
  EXPECT_TRUE(ParseUnsignedDecimal("4294967295", value));
  EXPECT_EQ(value, 4294967295u);
  EXPECT_FALSE(ParseUnsignedDecimal("4294967296", value));
  EXPECT_FALSE(ParseUnsignedDecimal("99999999999999999999999", value));
  EXPECT_FALSE(ParseUnsignedDecimal("1 2", value));
  EXPECT_FALSE(ParseUnsignedDecimal("0x10", value));
  EXPECT_FALSE(ParseUnsignedDecimal("   ", value));
}

}  // namespace
