// Credential checks and password changes: the status mapping behind the logon, the token and
// the account calls, which Wine always grants, through the doubles.
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

// Membership is by S-1-5-32-544 in the token: what the group is called on this system (German
// "Administratoren", French "Administrateurs") and look-alike names play no part.
TEST_F(AccountsTest, AdministratorsMembershipIsByWellKnownSid) {
  const Password16 password("x");
  fakeLog.groups = {L"Administratoren"};  // the account's group names, if anyone asked
  EXPECT_EQ(CheckCredentials("Verwalter", password.bytes), Status::Ok);
  EXPECT_EQ(fakeLog.impersonated, "logon");

  FakeToken notMember = AdministratorToken();
  notMember.groups[2].first = L"S-1-5-21-1-2-3-544";  // a domain group with the same RID
  fakeLog.logonToken = notMember;
  fakeLog.groups = {L"Administrators"};
  EXPECT_EQ(CheckCredentials("clerk", password.bytes), Status::NotAdministrator);
  EXPECT_EQ(fakeLog.impersonated, "logon") << "impersonating whatever the status";

  FakeToken denyOnly = AdministratorToken();  // filtered, but no linked token to be had
  denyOnly.groups[2].second = SE_GROUP_USE_FOR_DENY_ONLY;
  fakeLog.logonToken = denyOnly;
  EXPECT_EQ(CheckCredentials("clerk", password.bytes), Status::NotAdministrator);
  fakeLog.logonToken.groups.clear();
  EXPECT_EQ(CheckCredentials("clerk", password.bytes), Status::NotAdministrator);
}

// A local administrator other than the built-in one logs on with a UAC-filtered token:
// check and impersonate its linked full token, else every change fails with access denied.
TEST_F(AccountsTest, FilteredTokenIsCheckedAndImpersonatedThroughItsLinkedToken) {
  const Password16 password("x");
  fakeLog.logonToken = FilteredToken();
  EXPECT_EQ(CheckCredentials("second-admin", password.bytes), Status::Ok);
  EXPECT_EQ(fakeLog.impersonated, "linked");
  EXPECT_EQ(fakeLog.linkedDuplicates, 1) << "an impersonation token of the linked one";

  FakeToken plainUser = AdministratorToken();
  plainUser.groups.pop_back();
  fakeLog.linkedToken = plainUser;
  EXPECT_EQ(CheckCredentials("second-admin", password.bytes), Status::NotAdministrator);
}

TEST_F(AccountsTest, LockedOutAccountHasItsOwnStatus) {
  const Password16 password("x");
  fakeLog.logonResult = FALSE;
  fakeLog.logonError = ERROR_ACCOUNT_LOCKED_OUT;
  EXPECT_EQ(CheckCredentials("Administrator", password.bytes), Status::AccountLockedOut);
  EXPECT_EQ(fakeLog.impersonated, "");
}

// A token whose information cannot be read (Wine's logon hands out such a one): the account's
// local groups, compared with the name the system gives S-1-5-32-544 (here "Administrators").
TEST_F(AccountsTest, UnreadableTokenFallsBackToLocalGroupsByTheSidsName) {
  const Password16 password("x");
  fakeLog.tokenReadable = false;
  fakeLog.groups = {L"Users", L"Administrators"};
  EXPECT_EQ(CheckCredentials("admin", password.bytes), Status::Ok);
  fakeLog.groups = {L"Users", L"administrators", L"Administratoren"};
  EXPECT_EQ(CheckCredentials("admin", password.bytes), Status::NotAdministrator);
  fakeLog.groups = {L"Administrators"};
  fakeLog.groupsResult = ERROR_ACCESS_DENIED;
  EXPECT_EQ(CheckCredentials("admin", password.bytes), Status::NotAdministrator);
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
