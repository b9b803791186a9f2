#include "installer/tool_commands.h"

#include <cstdio>
#include <cwchar>

#include "installer/agent_key.h"
#include "installer/agent_service.h"
#include "installer/capture_library.h"
#include "installer/directory_check.h"
#include "installer/driver_file.h"
#include "installer/event_source.h"
#include "installer/exit_status.h"
#include "installer/trace.h"
#include "transport/core/fingerprint.h"

namespace {

// Notices go to standard output, failures to standard error, each as one line.
void Say(const wchar_t* text, const wchar_t* detail = L"") {
  std::printf("%ls%ls\n", text, detail);
  std::fflush(stdout);
}

int Fail(int status, const wchar_t* text, DWORD error = ERROR_SUCCESS) {
  if (error != ERROR_SUCCESS)
    std::fprintf(stderr, "TaviTool: %ls (error %lu)\n", text, error);
  else
    std::fprintf(stderr, "TaviTool: %ls\n", text);
  std::fflush(stderr);
  return status;
}

int Fail(int status, const wchar_t* text, const wchar_t* directory) {
  std::fprintf(stderr, "TaviTool: %ls: %ls\n", directory, text);
  std::fflush(stderr);
  return status;
}

// Nothing is registered from a directory that lacks the agent, or that others can write to:
// the service runs as LocalSystem and loads what lies beside it. The folder checked is the
// one that holds the program (for C:\Tool without a backslash, C:\).
int CheckDirectory(const wchar_t* directory, const wchar_t* program) {
  if (!AgentFilesPresent(directory))
    return Fail(kExitBadDirectory,
                L"TaviAgent.exe or TaviServer.dll is missing there; nothing registered",
                directory);
  TextBuffer folder = {};
  JoinText(folder, {program});
  if (wchar_t* slash = wcsrchr(folder, L'\\')) slash[1] = L'\0';
  DWORD error = ERROR_SUCCESS;
  switch (CheckDirectoryAccess(folder, &error)) {
    case DirectoryAccess::AdministratorsOnly: return kExitOk;
    case DirectoryAccess::OthersCanWrite:
      return Fail(kExitUnsafeDirectory,
                  L"users other than SYSTEM, Administrators and TrustedInstaller can write "
                  L"there, and the agent would run what they put there as SYSTEM; nothing "
                  L"registered (install under Program Files, or remove their write rights)",
                  folder);
    case DirectoryAccess::Unknown: break;
  }
  return Fail(StatusForError(error, kExitBadDirectory),
              L"the directory's permissions cannot be read; nothing registered", error);
}

int CopyDriverFile(const wchar_t* directory, bool& copied, FileDigest& digest) {
  FileDigest recorded{};
  const bool haveRecord = ReadDriverDigest(recorded);
  copied = false;
  switch (CopyDriver(directory, haveRecord ? &recorded : nullptr, digest)) {
    case DriverCopy::Copied: copied = true; break;
    case DriverCopy::NoSource: break;  // Npcap brings its own driver, npcap.sys
    case DriverCopy::ForeignTarget:
      Say(L"TaviTool: System32\\Drivers\\npf.sys belongs to another product; left in place");
      break;
    case DriverCopy::Failed: Say(L"TaviTool: copying the capture driver failed"); break;
  }
  return kExitOk;
}

int InstallStatus(const InstallResult& result) {
  switch (result.outcome) {
    case InstallOutcome::Started: return kExitOk;
    case InstallOutcome::Exists:
      return Fail(kExitServiceExists, L"the service TaviAgent exists already; left unchanged");
    case InstallOutcome::ManagerFailed:
      return Fail(StatusForError(result.error, kExitCreateFailed),
                  L"the service control manager cannot be opened (run as administrator)",
                  result.error);
    case InstallOutcome::CreateFailed:
      return Fail(StatusForError(result.error, kExitCreateFailed),
                  L"creating the service TaviAgent failed", result.error);
    case InstallOutcome::StartFailed:
      return Fail(kExitStartFailed, L"the service TaviAgent was registered but did not start",
                  result.error);
  }
  return kExitCreateFailed;
}

// The directory is used as given, so it must end with a backslash.
int RunInstall(const ToolArgs& args) {
  Trace(L"=========in the tool main==========");
  Trace(args.first);
  if (!args.hasDirectory) {
    std::fputs(UsageText(), stderr);
    return kExitUsage;
  }
  Trace(args.directory);

  TextBuffer binaryPath = {};
  TextBuffer program = {};
  // Quoted: a directory with blanks (C:\Program Files\...) would otherwise let the manager
  // try C:\Program.exe first.
  if (!JoinText(binaryPath, {L"\"", args.directory, L"TaviAgent.exe", L"\""}) ||
      !JoinText(program, {args.directory, L"TaviAgent.exe"}))
    return Fail(kExitBadDirectory, L"the directory is too long; nothing registered");
  if (const int status = CheckDirectory(args.directory, program)) return status;
  if (!CaptureLibraryPresent())
    Say(L"TaviTool: no capture library found (System32\\Npcap\\wpcap.dll or "
        L"System32\\wpcap.dll): install Npcap; the agent starts without it and waits for it");

  bool copied = false;
  FileDigest digest{};
  CopyDriverFile(args.directory, copied, digest);

  Trace(L"=========in install==========");
  Trace(binaryPath);
  const InstallResult result = InstallAgentService(binaryPath);
  int status = InstallStatus(result);
  // After the service's creation: the control manager makes the service's key, the
  // records go below it.
  if (copied) {
    const LONG error = RecordDriverDigest(digest);
    if (error != ERROR_SUCCESS && status == kExitOk)
      status = Fail(kExitRegistryFailed, L"recording the capture driver failed",
                    static_cast<DWORD>(error));
  }
  if (result.outcome != InstallOutcome::Exists && result.outcome != InstallOutcome::ManagerFailed &&
      result.outcome != InstallOutcome::CreateFailed) {
    const LONG error = RegisterAgentEventSource(program);
    if (error != ERROR_SUCCESS && status == kExitOk)
      status = Fail(StatusForError(static_cast<DWORD>(error), kExitRegistryFailed),
                    L"registering the event source failed", static_cast<DWORD>(error));
  }
  Trace(L"Finish install service!");
  return status;
}

int RunDelete(const ToolArgs& args) {
  Trace(L"=========in the tool main==========");
  Trace(args.first);
  Trace(L"=========in delete==========");
  // Read before the services go: their key, and the record in it, may go with them.
  FileDigest recorded{};
  const bool haveRecord = ReadDriverDigest(recorded);
  const RemoveResult removed = RemoveServices();
  int status = kExitOk;
  if (!removed.complete)
    status = Fail(StatusForError(removed.error, kExitRemoveFailed),
                  L"a service could not be stopped or deleted", removed.error);
  // The key goes with the agent: a host reinstalled later presents a new one, which consoles
  // that pinned the old one refuse until an administrator replaces it deliberately.
  DeleteAgentKey();
  const LONG sourceError = RemoveAgentEventSource();
  if (sourceError != ERROR_SUCCESS && status == kExitOk)
    status = Fail(StatusForError(static_cast<DWORD>(sourceError), kExitRegistryFailed),
                  L"removing the event source failed", static_cast<DWORD>(sourceError));
  switch (DeleteDriver(haveRecord ? &recorded : nullptr)) {
    case DriverRemoval::Deleted:
    case DriverRemoval::Absent: ForgetDriverDigest(); break;
    case DriverRemoval::NotOurs:
      ForgetDriverDigest();
      Say(L"TaviTool: System32\\Drivers\\npf.sys was not installed by TaviTool; left in place");
      break;
    case DriverRemoval::Failed:
      if (status == kExitOk)
        status = Fail(kExitRemoveFailed, L"deleting System32\\Drivers\\npf.sys failed",
                      GetLastError());
      break;
  }
  Trace(L"finish delete service!");
  return status;
}

// The fingerprint an administrator compares with the one a console shows before it trusts
// this host. Written to standard output only; nothing is traced.
int RunFingerprint() {
  AgentPublicKey key{};
  if (!ReadAgentPublicKey(key)) {
    std::printf("No agent key found\n");
    std::fflush(stdout);
    return kExitNoAgentKey;
  }
  std::printf("%s\n", tavi::FormatFingerprint(key.data(), key.size()).c_str());
  std::fflush(stdout);
  return kExitOk;
}

// The agent package registers the service through Windows Installer and then runs this for
// what the installer's tables cannot say: recovery actions and a quoted path.
int RunConfigure() {
  const DWORD error = ConfigureAgentService();
  if (error == ERROR_SUCCESS) return kExitOk;
  return Fail(StatusForError(error, kExitConfigureFailed), L"configuring the service TaviAgent failed",
              error);
}

}  // namespace

int RunToolCommand(const ToolArgs& args) {
  switch (args.command) {
    case ToolCommand::Install: return RunInstall(args);
    case ToolCommand::Delete: return RunDelete(args);
    case ToolCommand::Fingerprint: return RunFingerprint();
    case ToolCommand::Configure: return RunConfigure();
    case ToolCommand::None: break;
  }
  std::fputs(UsageText(), stderr);
  std::fflush(stderr);
  return kExitUsage;
}
