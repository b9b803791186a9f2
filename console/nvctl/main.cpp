// nvctl: the command-line console. Same transport and request building as Netvane.exe.
#include <cstdio>
#include <string>
#include <vector>

#include "console/nvctl/arguments.h"
#include "console/nvctl/commands.h"
#include "console/nvctl/outcome.h"

int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  const ParseOutcome parsed = ParseArguments(args);
  if (!parsed.ok) {
    std::fprintf(stderr, "nvctl: %s\n", parsed.error.c_str());
    return ExitStatus::Usage;
  }
  if (parsed.arguments.help) {
    std::fputs(UsageText(parsed.arguments.command).c_str(), stdout);
    return ExitStatus::Ok;
  }
  return RunCommand(parsed.arguments);
}
