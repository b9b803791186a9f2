// Credential checks and password changes: the status mapping behind the logon and account
// calls, which Wine always grants, through the doubles.
#include <gtest/gtest.h>

#include <cstring>

#include "agent/accounts.h"
#include "fake_system.h"

namespace {

struct Password16 {
  uint8_t bytes[16] = {};
  explicit Password16(const char* text) { std::memcpy(bytes, text, std::strlen(text)); }
};

using AccountsTest = AgentTest;

TEST_F(AccountsTest, LogonOutcomesMapToStatus) {
  const Password16 password("secret");
  EXPECT_EQ(CheckCredentials("admin", password.bytes), Status::Ok);
  EXPECT_EQ(fakeLog.logonName, L"admin");
  EXPECT_EQ(fakeLog.logonPassword, L"secret");

  fakeLog.logonResult = FALSE;
  fakeLog.logonError = ERROR_LOGON_FAILURE;
  EXPECT_EQ(CheckCredentials("admin", password.bytes), Status::BadLogon);
  for (DWORD error : {static_cast<DWORD>(ERROR_ACCOUNT_DISABLED),
                      static_cast<DWORD>(ERROR_PASSWORD_EXPIRED),
                      static_cast<DWORD>(ERROR_LOGON_TYPE_NOT_GRANTED)}) {
    fakeLog.logonError = error;
    EXPECT_EQ(CheckCredentials("admin", password.bytes), Status::NotAdministrator) << error;
  }
}

TEST_F(AccountsTest, OnlyExactAdministratorsMembershipPasses) {
  const Password16 password("x");
  fakeLog.groups = {L"Users", L"Backup Operators"};
  EXPECT_EQ(CheckCredentials("clerk", password.bytes), Status::NotAdministrator);
  fakeLog.groups = {L"administrators"};  // comparison is case-sensitive
  EXPECT_EQ(CheckCredentials("clerk", password.bytes), Status::NotAdministrator);
  fakeLog.groups = {L"Administratoren"};  // a system whose group bears another name
  EXPECT_EQ(CheckCredentials("clerk", password.bytes), Status::NotAdministrator);
  fakeLog.groups = {};
  EXPECT_EQ(CheckCredentials("clerk", password.bytes), Status::NotAdministrator);
  fakeLog.groups = {L"Users", L"Administrators"};
  EXPECT_EQ(CheckCredentials("clerk", password.bytes), Status::Ok);
  fakeLog.groupsResult = ERROR_ACCESS_DENIED;
  EXPECT_EQ(CheckCredentials("clerk", password.bytes), Status::NotAdministrator);
}

TEST_F(AccountsTest, SixteenCharacterPasswordNeedsNoTerminator) {
  uint8_t field[17];
  std::memcpy(field, "0123456789abcdefZ", 17);  // the 17th byte lies beyond the field
  EXPECT_EQ(CheckCredentials("admin", field), Status::Ok);
  EXPECT_EQ(fakeLog.logonPassword, L"0123456789abcdef");
}

PasswordBody Body(uint8_t account, const char* newPassword, const char* confirm) {
  PasswordBody body;
  body.account = account;
  body.newPassword.assign(newPassword);
  body.confirmPassword.assign(confirm);
  return body;
}

TEST_F(AccountsTest, PasswordChangeStatusMapping) {
  EXPECT_EQ(ChangeAccountPassword(Body(0, "n3w", "n3w"), "admin"), Status::Ok);
  EXPECT_EQ(fakeLog.setInfoAccount, L"admin");
  EXPECT_EQ(fakeLog.setInfoLevel, 1003u);
  EXPECT_EQ(fakeLog.setInfoPassword, L"n3w");

  fakeLog.setInfoResult = NERR_PasswordTooShort;
  EXPECT_EQ(ChangeAccountPassword(Body(0, "a", "a"), "admin"), Status::PasswordTooShort);
  fakeLog.setInfoResult = NERR_UserNotFound;
  EXPECT_EQ(ChangeAccountPassword(Body(1, "a", "a"), "admin"), Status::SettingFailed);
  EXPECT_EQ(fakeLog.setInfoAccount, L"RIDO USER");
  EXPECT_EQ(fakeLog.setInfoCalls, 3);
}

TEST_F(AccountsTest, MismatchedConfirmationChangesNothing) {
  EXPECT_EQ(ChangeAccountPassword(Body(0, "first", "second"), "admin"), Status::SettingFailed);
  EXPECT_EQ(fakeLog.setInfoCalls, 0);
  // Equal over the 16 bytes, no terminator in either field.
  EXPECT_EQ(ChangeAccountPassword(Body(0, "0123456789abcdef", "0123456789abcdef"), "admin"),
            Status::Ok);
  EXPECT_EQ(fakeLog.setInfoPassword, L"0123456789abcdef");
}

}  // namespace
