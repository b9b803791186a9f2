#include "installer/tool_commands.h"

#include <cstdio>

#include "installer/agent_key.h"
#include "installer/agent_service.h"
#include "installer/driver_file.h"
#include "installer/trace.h"
#include "transport/core/fingerprint.h"

namespace {

// The directory is used as given, so it must end with a backslash.
void RunInstall(const ToolArgs& args) {
  Trace(L"=========in the tool main==========");
  Trace(args.first);
  if (!args.hasDirectory) return;
  Trace(args.directory);

  CopyDriver(args.directory);

  Trace(L"=========in install==========");
  // Quoted: a directory with blanks (C:\Program Files\...) would otherwise let the manager
  // try C:\Program.exe first.
  TextBuffer binaryPath = {};
  if (JoinText(binaryPath, {L"\"", args.directory, L"TaviAgent.exe", L"\""})) {
    Trace(binaryPath);
    InstallAgentService(binaryPath);
  }
  Trace(L"Finish install service!");
}

void RunDelete(const ToolArgs& args) {
  Trace(L"=========in the tool main==========");
  Trace(args.first);
  Trace(L"=========in delete==========");
  RemoveServices();
  // The key goes with the agent: a host reinstalled later presents a new one, which consoles
  // that pinned the old one refuse until an administrator replaces it deliberately.
  DeleteAgentKey();
  DeleteDriver();
  Trace(L"finish delete service!");
}

// The fingerprint an administrator compares with the one a console shows before it trusts
// this host. Written to standard output only; nothing is traced.
void RunFingerprint() {
  AgentPublicKey key{};
  if (ReadAgentPublicKey(key)) {
    std::printf("%s\n", tavi::FormatFingerprint(key.data(), key.size()).c_str());
  } else {
    std::printf("No agent key found\n");
  }
  std::fflush(stdout);
}

}  // namespace

void RunToolCommand(const ToolArgs& args) {
  switch (args.command) {
    case ToolCommand::Install: RunInstall(args); break;
    case ToolCommand::Delete: RunDelete(args); break;
    case ToolCommand::Fingerprint: RunFingerprint(); break;
    case ToolCommand::None: break;
  }
}
