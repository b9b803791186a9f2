#include "installer/directory_check.h"

#include <aclapi.h>

#include "installer/text_buffer.h"

namespace {

// Rights that let their holder put a file into the directory, replace or delete one, or
// give himself such rights. Generic rights appear in inheritable ACEs before mapping.
constexpr ACCESS_MASK kWriteRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD |
                                     FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC |
                                     WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) { return IsWellKnownSid(sid, type) != FALSE; }

// NT SERVICE\TrustedInstaller, which owns Program Files: S-1-5-80-956008885-...
bool IsTrustedInstaller(PSID sid) {
  static const DWORD kRids[] = {SECURITY_SERVICE_ID_BASE_RID, SECURITY_TRUSTED_INSTALLER_RID1,
                                SECURITY_TRUSTED_INSTALLER_RID2, SECURITY_TRUSTED_INSTALLER_RID3,
                                SECURITY_TRUSTED_INSTALLER_RID4, SECURITY_TRUSTED_INSTALLER_RID5};
  static const SID_IDENTIFIER_AUTHORITY kNtAuthority = SECURITY_NT_AUTHORITY;
  if (!IsValidSid(sid) || *GetSidSubAuthorityCount(sid) != 6) return false;
  const SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(sid);
  for (int i = 0; i < 6; ++i) {
    if (authority->Value[i] != kNtAuthority.Value[i]) return false;
  }
  for (DWORD i = 0; i < 6; ++i) {
    if (*GetSidSubAuthority(sid, i) != kRids[i]) return false;
  }
  return true;
}

bool IsTrusted(PSID sid, PSID installer) {
  return (installer != nullptr && EqualSid(sid, installer)) ||
         IsWellKnown(sid, WinLocalSystemSid) || IsWellKnown(sid, WinBuiltinAdministratorsSid) ||
         IsTrustedInstaller(sid);
}

}  // namespace

bool AgentFilesPresent(const wchar_t* directory) {
  for (const wchar_t* name : {L"TaviAgent.exe", L"TaviServer.dll"}) {
    TextBuffer path = {};
    if (!JoinText(path, {directory, name})) return false;
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      return false;
  }
  return true;
}

DirectoryAccess ClassifyDirectoryAcl(const ACL* dacl, PSID installer) {
  if (dacl == nullptr) return DirectoryAccess::OthersCanWrite;
  ACL_SIZE_INFORMATION size = {};
  if (!GetAclInformation(const_cast<ACL*>(dacl), &size, sizeof size, AclSizeInformation))
    return DirectoryAccess::Unknown;
  for (DWORD i = 0; i < size.AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(const_cast<ACL*>(dacl), i, &entry)) return DirectoryAccess::Unknown;
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    switch (header->AceType) {
      case ACCESS_ALLOWED_ACE_TYPE:
      case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: break;  // same layout: mask, then the SID
      case ACCESS_DENIED_ACE_TYPE:
      case ACCESS_DENIED_CALLBACK_ACE_TYPE:
      case ACCESS_DENIED_OBJECT_ACE_TYPE:
      case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
      case SYSTEM_AUDIT_ACE_TYPE:
      case SYSTEM_ALARM_ACE_TYPE:
      case SYSTEM_MANDATORY_LABEL_ACE_TYPE: continue;
      default: return DirectoryAccess::OthersCanWrite;  // an allowing kind we cannot read
    }
    const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    if ((ace->Mask & kWriteRights) == 0) continue;
    PSID sid = const_cast<DWORD*>(&ace->SidStart);
    if (IsTrusted(sid, installer)) continue;
    const bool onDirectory = (header->AceFlags & INHERIT_ONLY_ACE) == 0;
    const bool onFiles = (header->AceFlags & OBJECT_INHERIT_ACE) != 0;
    // CREATOR OWNER stands for whoever creates a file, which takes one of the rights above.
    if (IsWellKnown(sid, WinCreatorOwnerSid)) continue;
    if (onDirectory || onFiles) return DirectoryAccess::OthersCanWrite;
  }
  return DirectoryAccess::AdministratorsOnly;
}

DirectoryAccess CheckDirectoryAccess(const wchar_t* directory, DWORD* error) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD result =
      GetNamedSecurityInfoW(directory, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            &dacl, nullptr, &descriptor);
  if (error != nullptr) *error = result;
  if (result != ERROR_SUCCESS) return DirectoryAccess::Unknown;
  // The administrator running the tool may own and write the folder he made: he can change
  // the service anyway.
  union {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } token = {};
  PSID installer = nullptr;
  HANDLE process = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &process)) {
    DWORD size = 0;
    if (GetTokenInformation(process, TokenUser, &token, sizeof token, &size))
      installer = token.user.User.Sid;
    CloseHandle(process);
  }
  const DirectoryAccess access = ClassifyDirectoryAcl(dacl, installer);
  LocalFree(descriptor);
  return access;
}
