// Checks of the directory the agent is installed from, before anything is registered.
#pragma once

#include <windows.h>

// True when both programs the service needs lie in directory (joined as given, like the
// binary path): a service pointing at a missing program would only fail at every boot.
bool AgentFilesPresent(const wchar_t* directory);

// Who may write to the directory, read from its DACL.
enum class DirectoryAccess {
  AdministratorsOnly,  // only SYSTEM, Administrators and TrustedInstaller can write
  OthersCanWrite,      // someone else can create or change files (a planted DLL runs as SYSTEM)
  Unknown,             // the DACL could not be read
};

// The decision on one DACL (nullptr: a NULL DACL, which grants everyone everything) for a
// tool run by the account installer (may be nullptr); that account, SYSTEM, Administrators
// and TrustedInstaller are trusted. An
// allowing ACE counts when it gives write rights to the directory itself, or passes them on
// to the files copied into it; deny ACEs are not credited, so a grant they would cancel still
// counts: refusing a safe directory is recoverable, trusting an unsafe one is not.
DirectoryAccess ClassifyDirectoryAcl(const ACL* dacl, PSID installer);

// Reads the directory's DACL (GetNamedSecurityInfoW) and classifies it. The directory text
// is used as given; a trailing backslash is fine.
DirectoryAccess CheckDirectoryAccess(const wchar_t* directory, DWORD* error);
