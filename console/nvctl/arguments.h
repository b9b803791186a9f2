// nvctl's command line: a command, its operand, and options as "--name VALUE" or
// "--name=VALUE". Each command takes only its own options; an error names the argument at
// fault. Passwords are never taken from the command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console/nvctl/host_output.h"
#include "console/nvctl/settings_change.h"

enum class Command { None, Discover, Show, Set, Password, Restart, Launch, Apply };

struct Arguments {
  Command command = Command::None;
  bool help = false;
  std::string operand;  // HOST, or FILE for apply
  std::optional<int> timeout;          // seconds, 0..600: the command's own exchanges
  std::optional<int> discoverTimeout;  // seconds, 0..600: finding HOST
  std::optional<int> retries;          // 0..10
  std::optional<int> adapter;          // console adapter index
  OutputFormat format = OutputFormat::Table;
  bool formatGiven = false;
  std::string user;                    // empty: "Administrator" (Linux hosts: none sent)
  std::string passwordFile;
  std::string newPasswordFile;
  bool dryRun = false;
  bool management = false;
  bool open = false;
  SettingsChange change;               // set
};

struct ParseOutcome {
  bool ok = false;
  Arguments arguments;
  std::string error;  // "ARGUMENT: what is wrong"
};

// `args` without the program name.
ParseOutcome ParseArguments(const std::vector<std::string>& args);

const char* CommandName(Command command);
// The help text of a command; Command::None gives the overview.
std::string UsageText(Command command);
