// Who may write to the install directory, decided from its DACL: the tool refuses a
// directory where anyone but SYSTEM, Administrators, TrustedInstaller and the installing
// administrator could plant a DLL the LocalSystem agent would load.
#include "installer/directory_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr DWORD kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
constexpr DWORD kModify = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
constexpr DWORD kReadExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;

struct Sid {
  explicit Sid(WELL_KNOWN_SID_TYPE type) {
    DWORD size = sizeof bytes;
    EXPECT_TRUE(CreateWellKnownSid(type, nullptr, bytes, &size));
  }
  // S-1-5-21-1-2-3-RID: an ordinary local account.
  explicit Sid(DWORD rid) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    EXPECT_TRUE(AllocateAndInitializeSid(&nt, 5, 21, 1, 2, 3, rid, 0, 0, 0, &sid));
    CopySid(sizeof bytes, bytes, sid);
    FreeSid(sid);
  }
  Sid(std::initializer_list<DWORD> rids) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    InitializeSid(bytes, &nt, static_cast<BYTE>(rids.size()));
    BYTE i = 0;
    for (DWORD rid : rids) *GetSidSubAuthority(bytes, i++) = rid;
  }
  PSID get() { return bytes; }
  BYTE bytes[SECURITY_MAX_SID_SIZE] = {};
};

Sid TrustedInstaller() {
  return Sid({80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464});
}

class Dacl {
 public:
  Dacl() : buffer_(4096) {
    EXPECT_TRUE(InitializeAcl(acl(), static_cast<DWORD>(buffer_.size()), ACL_REVISION_DS));
  }
  Dacl& Allow(PSID sid, DWORD mask, DWORD flags = kInherit) {
    EXPECT_TRUE(AddAccessAllowedAceEx(acl(), ACL_REVISION_DS, flags, mask, sid));
    return *this;
  }
  Dacl& Deny(PSID sid, DWORD mask, DWORD flags = kInherit) {
    EXPECT_TRUE(AddAccessDeniedAceEx(acl(), ACL_REVISION_DS, flags, mask, sid));
    return *this;
  }
  ACL* acl() { return reinterpret_cast<ACL*>(buffer_.data()); }

 private:
  std::vector<BYTE> buffer_;
};

// A folder made by the agent package under Program Files: what Windows gives it by
// inheritance, CREATOR OWNER and the read-only groups included.
Dacl ProgramFilesFolder() {
  Dacl dacl;
  Sid system(WinLocalSystemSid), admins(WinBuiltinAdministratorsSid), users(WinBuiltinUsersSid),
      creator(WinCreatorOwnerSid);
  Sid installer = TrustedInstaller();
  dacl.Allow(installer.get(), FILE_ALL_ACCESS, 0)
      .Allow(installer.get(), GENERIC_ALL, kInherit | INHERIT_ONLY_ACE)
      .Allow(system.get(), FILE_ALL_ACCESS)
      .Allow(admins.get(), FILE_ALL_ACCESS)
      .Allow(users.get(), kReadExecute)
      .Allow(creator.get(), GENERIC_ALL, kInherit | INHERIT_ONLY_ACE);
  return dacl;
}

TEST(DirectoryAccess, AdministratorsOnlyFoldersAreAccepted) {
  EXPECT_EQ(ClassifyDirectoryAcl(ProgramFilesFolder().acl(), nullptr),
            DirectoryAccess::AdministratorsOnly);
  Dacl empty;  // nobody may do anything
  EXPECT_EQ(ClassifyDirectoryAcl(empty.acl(), nullptr), DirectoryAccess::AdministratorsOnly);

  // The administrator who made the folder holds full control of it: he is trusted, the
  // same rights for another account are not.
  Sid alice(1001), mallory(1002);
  Dacl own = ProgramFilesFolder();
  own.Allow(alice.get(), FILE_ALL_ACCESS);
  EXPECT_EQ(ClassifyDirectoryAcl(own.acl(), alice.get()), DirectoryAccess::AdministratorsOnly);
  EXPECT_EQ(ClassifyDirectoryAcl(own.acl(), mallory.get()), DirectoryAccess::OthersCanWrite);
}

TEST(DirectoryAccess, AnyoneElseWithAWayToPlantAFileIsRefused) {
  Sid users(WinBuiltinUsersSid), authenticated(WinAuthenticatedUserSid), everyone(WinWorldSid),
      account(1002);
  struct Case {
    const char* what;
    PSID sid;
    DWORD mask;
    DWORD flags;
  } cases[] = {
      {"Users: Modify (what Explorer's Modify check box gives)", users.get(), kModify, kInherit},
      {"Users: create files only", users.get(), FILE_ADD_FILE, 0},
      {"a folder under C:\\: Authenticated Users may create folders", authenticated.get(),
       FILE_ADD_SUBDIRECTORY, 0},
      {"passed on to the files copied in, not on the folder itself", authenticated.get(),
       kModify, OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE},
      {"generic write, not mapped yet", everyone.get(), GENERIC_WRITE,
       OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE},
      {"generic all", everyone.get(), GENERIC_ALL, 0},
      {"maximum allowed", everyone.get(), MAXIMUM_ALLOWED, 0},
      {"may change the permissions", users.get(), WRITE_DAC, 0},
      {"may take ownership", users.get(), WRITE_OWNER, 0},
      {"may delete and replace files", account.get(), FILE_DELETE_CHILD, 0},
      {"may delete the folder itself", account.get(), DELETE, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Dacl dacl = ProgramFilesFolder();
    dacl.Allow(c.sid, c.mask, c.flags);
    EXPECT_EQ(ClassifyDirectoryAcl(dacl.acl(), nullptr), DirectoryAccess::OthersCanWrite);
  }
}

TEST(DirectoryAccess, GrantsThatReachNoFileOfTheFolderAreIgnored) {
  Sid users(WinBuiltinUsersSid);
  // Handed to subfolders only: the agent loads nothing from them.
  Dacl subfolders = ProgramFilesFolder();
  subfolders.Allow(users.get(), kModify, CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE);
  EXPECT_EQ(ClassifyDirectoryAcl(subfolders.acl(), nullptr), DirectoryAccess::AdministratorsOnly);
  // Reading, listing and attributes change nothing the agent runs.
  Dacl reading = ProgramFilesFolder();
  reading.Allow(users.get(), FILE_GENERIC_READ | FILE_GENERIC_EXECUTE | FILE_WRITE_ATTRIBUTES);
  EXPECT_EQ(ClassifyDirectoryAcl(reading.acl(), nullptr), DirectoryAccess::AdministratorsOnly);
}

TEST(DirectoryAccess, UncertainDaclsFailClosed) {
  // A NULL DACL grants everybody everything.
  EXPECT_EQ(ClassifyDirectoryAcl(nullptr, nullptr), DirectoryAccess::OthersCanWrite);

  // A deny before the grant is not credited: the check stays simple and errs on refusal.
  Sid users(WinBuiltinUsersSid);
  Dacl denied;
  denied.Deny(users.get(), FILE_GENERIC_WRITE).Allow(users.get(), kModify);
  EXPECT_EQ(ClassifyDirectoryAcl(denied.acl(), nullptr), DirectoryAccess::OthersCanWrite);

  // An allowing ACE of a kind the check does not read counts as a grant.
  // (Made by hand: header, mask, no object types, the SID; Wine has no
  // AddAccessAllowedObjectAce.)
  Dacl object = ProgramFilesFolder();
  const DWORD sidLength = GetLengthSid(users.get());
  std::vector<BYTE> ace(sizeof(ACE_HEADER) + 2 * sizeof(DWORD) + sidLength);
  auto* header = reinterpret_cast<ACE_HEADER*>(ace.data());
  header->AceType = ACCESS_ALLOWED_OBJECT_ACE_TYPE;
  header->AceSize = static_cast<WORD>(ace.size());
  const DWORD mask = FILE_GENERIC_READ;
  std::memcpy(ace.data() + sizeof(ACE_HEADER), &mask, sizeof mask);
  CopySid(sidLength, ace.data() + sizeof(ACE_HEADER) + 2 * sizeof(DWORD), users.get());
  ASSERT_TRUE(AddAce(object.acl(), ACL_REVISION_DS, MAXDWORD, ace.data(),
                     static_cast<DWORD>(ace.size())));
  EXPECT_EQ(ClassifyDirectoryAcl(object.acl(), nullptr), DirectoryAccess::OthersCanWrite);

  // A SID that merely starts like TrustedInstaller's is not TrustedInstaller.
  Sid lookalike({80, 956008885, 3418522649, 1831038044, 1853292631, 2271478465});
  Dacl fake;
  fake.Allow(lookalike.get(), FILE_ALL_ACCESS);
  EXPECT_EQ(ClassifyDirectoryAcl(fake.acl(), nullptr), DirectoryAccess::OthersCanWrite);
}

}  // namespace
