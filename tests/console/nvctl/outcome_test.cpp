#include "console/nvctl/outcome.h"

#include <gtest/gtest.h>

#include "console/nvctl/secret.h"

namespace {

TEST(NvctlOutcome, StatusesSortIntoRefusedFailedAndTransport) {
  EXPECT_EQ(OutcomeOf(1, 0), Outcome::Applied);
  for (int s : {1, 9, 18, 19, 20, 21, 22, 23, 24, 26, 27, 28, 10006, 10007}) EXPECT_EQ(OutcomeOf(1, static_cast<uint16_t>(s)), Outcome::Refused) << s;
  for (int s : {2, 4, 7, 8, 5, 25, 29, 0xFFFF}) EXPECT_EQ(OutcomeOf(1, static_cast<uint16_t>(s)), Outcome::Failed) << s;
  for (int s : {3, 17}) EXPECT_EQ(OutcomeOf(1, static_cast<uint16_t>(s)), Outcome::TransportFailed) << s;
  EXPECT_EQ(OutcomeOf(0, 0), Outcome::TransportFailed);
  EXPECT_EQ(ExitStatusOf(Outcome::Applied), 0);
  EXPECT_EQ(ExitStatusOf(Outcome::Refused), 1);
  EXPECT_EQ(ExitStatusOf(Outcome::Failed), 1);
  EXPECT_EQ(ExitStatusOf(Outcome::TransportFailed), 3);
  EXPECT_EQ(WorseExitStatus(0, 1), 1);
  EXPECT_EQ(WorseExitStatus(3, 1), 3);
  EXPECT_EQ(WorseExitStatus(1, 0), 1);
  EXPECT_EQ(StatusText(9), "Account has no administrator privilege (status 9)");
}

TEST(NvctlSecret, PasswordFromAFileOrVariable) {
  Secret password;
  std::string error;
  ASSERT_TRUE(PasswordFromText("s3cret\r\nsecond line", password, error));
  EXPECT_EQ(password.view(), "s3cret");
  ASSERT_TRUE(PasswordFromText(std::string(16, 'p'), password, error));
  EXPECT_EQ(password.view().size(), 16u);
  ASSERT_TRUE(PasswordFromText("", password, error));  // an empty password is one
  EXPECT_TRUE(password.empty());
  EXPECT_FALSE(PasswordFromText(std::string(17, 'p'), password, error));
  EXPECT_NE(error.find("16"), std::string::npos);
  EXPECT_FALSE(PasswordFromText(std::string("a\0b", 3), password, error));
}

}  // namespace
