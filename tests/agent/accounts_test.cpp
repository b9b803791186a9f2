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
  EXPECT_EQ(fakeLog.logonType, static_cast<DWORD>(LOGON32_LOGON_BATCH))
      << "a network logon gives a local administrator the filtered token only";

  fakeLog.logonResult = FALSE;
  const std::pair<DWORD, uint16_t> refusals[] = {
      {ERROR_LOGON_FAILURE, Status::BadLogon},
      {ERROR_ACCOUNT_LOCKED_OUT, Status::AccountLockedOut},
      {ERROR_ACCOUNT_DISABLED, Status::AccountDisabled},
      {ERROR_PASSWORD_EXPIRED, Status::PasswordExpired},
      {ERROR_PASSWORD_MUST_CHANGE, Status::PasswordExpired},
      {ERROR_LOGON_TYPE_NOT_GRANTED, Status::LogonTypeNotGranted},
      {ERROR_ACCOUNT_RESTRICTION, Status::AccountRestricted},  // blank password, not at the console
      {ERROR_INVALID_LOGON_HOURS, Status::AccountRestricted},
      {ERROR_INVALID_WORKSTATION, Status::AccountRestricted},
      {ERROR_NO_LOGON_SERVERS, Status::NotAdministrator},
      {ERROR_NOT_ENOUGH_MEMORY, Status::NotAdministrator},
  };
  for (const auto& refusal : refusals) {
    fakeLog.logonError = refusal.first;
    fakeLog.impersonated.clear();
    EXPECT_EQ(CheckCredentials("admin", password.bytes), refusal.second) << refusal.first;
    EXPECT_EQ(fakeLog.impersonated, "") << "no token, no impersonation";
  }
}

// A plain name is looked up in the local account database only: a domain account of the
// same name cannot stand in for it. DOMAIN\user and a UPN go to their domain.
TEST_F(AccountsTest, NamesAreLocalDomainQualifiedOrUpn) {
  const Password16 password("x");
  EXPECT_EQ(CheckCredentials("admin", password.bytes), Status::Ok);
  EXPECT_EQ(fakeLog.logonDomain, L".");
  EXPECT_EQ(CheckCredentials("CORP\\alice", password.bytes), Status::Ok);
  EXPECT_EQ(fakeLog.logonName, L"alice");
  EXPECT_EQ(fakeLog.logonDomain, L"CORP");
  EXPECT_EQ(CheckCredentials("alice@corp.example", password.bytes), Status::Ok);
  EXPECT_EQ(fakeLog.logonName, L"alice@corp.example");
  EXPECT_EQ(fakeLog.logonDomain, L"<null>") << "a UPN takes no domain";
  EXPECT_EQ(fakeLog.logonCalls, 3);

  // Malformed names make no account: refused without a logon.
  for (const char* bad : {"", "\\alice", "CORP\\", "A\\B\\c", "@corp.example", "alice@", "\\"})
    EXPECT_EQ(CheckCredentials(bad, password.bytes), Status::BadLogon) << bad;
  EXPECT_EQ(fakeLog.logonCalls, 3);
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

// Administrators held for deny only is no administrator, whatever the account's group list
// says: a filtered token whose full half cannot be had, or cannot be acted as.
TEST_F(AccountsTest, FilteredTokenWithoutAUsableLinkedTokenIsRefused) {
  const Password16 password("x");
  fakeLog.logonToken = FilteredToken();
  fakeLog.groups = {L"Administrators"};
  fakeLog.hasLinkedToken = false;
  EXPECT_EQ(CheckCredentials("second-admin", password.bytes), Status::NotAdministrator);
  EXPECT_EQ(fakeLog.impersonated, "logon");

  fakeLog.hasLinkedToken = true;
  fakeLog.linkedIdentificationOnly = true;  // what a caller without SeTcbPrivilege receives
  EXPECT_EQ(CheckCredentials("second-admin", password.bytes), Status::NotAdministrator);
  EXPECT_EQ(fakeLog.impersonated, "logon");
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

std::wstring ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  GetComputerNameW(name, &length);
  return name;
}

// The requesting account's own password is changed with its current one, so that Windows
// re-protects what it keeps with it (EFS keys, saved credentials); an administrator's reset
// is only for the management product's account.
TEST_F(AccountsTest, OwnPasswordIsChangedWithTheCurrentOne) {
  const Password16 current("0ld-pass");
  EXPECT_EQ(ChangeAccountPassword(Body(0, "n3w", "n3w"), "admin", current.bytes), Status::Ok);
  EXPECT_EQ(fakeLog.setInfoCalls, 0);
  ASSERT_EQ(fakeLog.changeCalls, 1);
  EXPECT_EQ(fakeLog.changeDomain, ComputerName()) << "a local account, on this computer";
  EXPECT_EQ(fakeLog.changeUser, L"admin");
  EXPECT_EQ(fakeLog.changeOld, L"0ld-pass");
  EXPECT_EQ(fakeLog.changeNew, L"n3w");

  EXPECT_EQ(ChangeAccountPassword(Body(0, "n3w", "n3w"), "CORP\\alice", current.bytes), Status::Ok);
  EXPECT_EQ(fakeLog.changeDomain, L"CORP");
  EXPECT_EQ(fakeLog.changeUser, L"alice");
  EXPECT_EQ(ChangeAccountPassword(Body(0, "n3w", "n3w"), "alice@corp.example", current.bytes),
            Status::Ok);
  EXPECT_EQ(fakeLog.changeDomain, L"corp.example");
  EXPECT_EQ(fakeLog.changeUser, L"alice");
}

TEST_F(AccountsTest, ManagementAccountIsReset) {
  const Password16 current("0ld-pass");
  EXPECT_EQ(ChangeAccountPassword(Body(1, "r1do", "r1do"), "admin", current.bytes), Status::Ok);
  EXPECT_EQ(fakeLog.changeCalls, 0);
  EXPECT_EQ(fakeLog.setInfoAccount, L"RIDO USER");
  EXPECT_EQ(fakeLog.setInfoLevel, 1003u);
  EXPECT_EQ(fakeLog.setInfoPassword, L"r1do");
}

// Only value 1 picks another account than the requester's: no other value of `account`
// resets anybody, and a malformed requester name changes nothing.
TEST_F(AccountsTest, NoRequestResetsAnAccountOtherThanTheManagementOne) {
  const Password16 current("0ld");
  for (uint8_t account : {uint8_t{0}, uint8_t{2}, uint8_t{0x7F}, uint8_t{0xFF}}) {
    EXPECT_EQ(ChangeAccountPassword(Body(account, "n3w", "n3w"), "admin", current.bytes),
              Status::Ok);
    EXPECT_EQ(fakeLog.changeUser, L"admin") << int(account);
  }
  EXPECT_EQ(fakeLog.setInfoCalls, 0);
  EXPECT_EQ(ChangeAccountPassword(Body(0, "n3w", "n3w"), "CORP\\", current.bytes),
            Status::AccountNotFound);
  EXPECT_EQ(fakeLog.changeCalls, 4);
}

TEST_F(AccountsTest, PasswordChangeRefusalsHaveTheirOwnStatus) {
  const Password16 current("0ld");
  const std::pair<NET_API_STATUS, uint16_t> outcomes[] = {
      {NERR_PasswordTooShort, Status::PasswordPolicyRefused},  // history, complexity, age too
      {ERROR_ACCESS_DENIED, Status::AccessDenied},
      {NERR_UserNotFound, Status::AccountNotFound},
      {ERROR_INVALID_PASSWORD, Status::BadLogon},
      {NERR_InvalidComputer, Status::SettingFailed},
  };
  for (const auto& outcome : outcomes) {
    fakeLog.changeResult = outcome.first;
    fakeLog.setInfoResult = outcome.first;
    EXPECT_EQ(ChangeAccountPassword(Body(0, "n3w", "n3w"), "admin", current.bytes),
              outcome.second) << outcome.first;
    EXPECT_EQ(ChangeAccountPassword(Body(1, "n3w", "n3w"), "admin", current.bytes),
              outcome.second) << "reset " << outcome.first;
  }
  // An empty new password refused: the length, as the console has always told it.
  fakeLog.changeResult = NERR_PasswordTooShort;
  EXPECT_EQ(ChangeAccountPassword(Body(0, "", ""), "admin", current.bytes),
            Status::PasswordTooShort);
}

TEST_F(AccountsTest, MismatchedConfirmationChangesNothing) {
  const Password16 current("0ld");
  EXPECT_EQ(ChangeAccountPassword(Body(0, "first", "second"), "admin", current.bytes),
            Status::SettingFailed);
  EXPECT_EQ(ChangeAccountPassword(Body(1, "first", "second"), "admin", current.bytes),
            Status::SettingFailed);
  EXPECT_EQ(fakeLog.setInfoCalls + fakeLog.changeCalls, 0);
  // Equal over the 16 bytes, no terminator in either field.
  EXPECT_EQ(ChangeAccountPassword(Body(0, "0123456789abcdef", "0123456789abcdef"), "admin",
                                  current.bytes),
            Status::Ok);
  EXPECT_EQ(fakeLog.changeNew, L"0123456789abcdef");
}

}  // namespace
