#include "console/nvctl/arguments.h"

#include <cstring>

#include "console/nvctl/text_rules.h"

namespace {

// Which options a command takes, as bits.
enum : unsigned {
  kTransport = 1u << 0,  // --timeout --discover-timeout --retries --adapter
  kFormat = 1u << 1,
  kCredentials = 1u << 2,  // --user --password-file
  kSettings = 1u << 3,     // --nic --mac --dhcp --static --mask --gateway --dns --dns-auto --name
  kDryRun = 1u << 4,
  kManagement = 1u << 5,  // --management --new-password-file
  kOpen = 1u << 6,
};

struct CommandInfo {
  Command command;
  const char* name;
  const char* operand;  // nullptr: none
  unsigned options;
};

constexpr CommandInfo kCommands[] = {
    {Command::Discover, "discover", nullptr, kTransport | kFormat},
    {Command::Show, "show", "HOST", kTransport | kFormat},
    {Command::Set, "set", "HOST", kTransport | kCredentials | kSettings | kDryRun},
    {Command::Password, "password", "HOST", kTransport | kCredentials | kManagement},
    {Command::Restart, "restart", "HOST", kTransport | kCredentials},
    {Command::Launch, "launch", "HOST", kTransport | kOpen},
    {Command::Apply, "apply", "FILE", kTransport | kCredentials | kDryRun},
};

struct OptionInfo {
  const char* name;
  unsigned group;
  bool takesValue;
};

constexpr OptionInfo kOptions[] = {
    {"--timeout", kTransport, true},        {"--discover-timeout", kTransport, true},
    {"--retries", kTransport, true},        {"--adapter", kTransport, true},
    {"--format", kFormat, true},            {"--user", kCredentials, true},
    {"--password-file", kCredentials, true}, {"--nic", kSettings, true},
    {"--mac", kSettings, true},             {"--dhcp", kSettings, false},
    {"--static", kSettings, true},          {"--mask", kSettings, true},
    {"--gateway", kSettings, true},         {"--dns", kSettings, true},
    {"--dns-auto", kSettings, false},       {"--name", kSettings, true},
    {"--dry-run", kDryRun, false},          {"--management", kManagement, false},
    {"--new-password-file", kManagement, true}, {"--open", kOpen, false},
};

const CommandInfo* FindCommand(const std::string& name) {
  for (const CommandInfo& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

const CommandInfo* InfoOf(Command command) {
  for (const CommandInfo& c : kCommands)
    if (c.command == command) return &c;
  return nullptr;
}

std::optional<int> ParseBounded(const std::string& text, int max) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > max) return std::nullopt;
  return value;
}

ParseOutcome Fail(std::string error) {
  ParseOutcome outcome;
  outcome.error = std::move(error);
  return outcome;
}

const char* FieldOption(ChangeField field) {
  switch (field) {
    case ChangeField::Nic: return "--nic";
    case ChangeField::NicMac: return "--mac";
    case ChangeField::Mode: return "--dhcp";
    case ChangeField::Address: return "--static";
    case ChangeField::Mask: return "--mask";
    case ChangeField::Gateway: return "--gateway";
    case ChangeField::Dns: return "--dns";
    case ChangeField::Name: return "--name";
    case ChangeField::Whole: break;
  }
  return "set";
}

}  // namespace

const char* CommandName(Command command) {
  const CommandInfo* info = InfoOf(command);
  return info ? info->name : "nvctl";
}

ParseOutcome ParseArguments(const std::vector<std::string>& args) {
  Arguments a;
  if (args.empty()) return Fail("nvctl: no command given (nvctl --help lists them)");
  std::size_t next = 1;
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    a.help = true;
    if (args.size() > 1) {
      const CommandInfo* c = FindCommand(args[1]);
      if (!c) return Fail(args[1] + ": no such command (nvctl --help lists them)");
      a.command = c->command;
    }
    return ParseOutcome{true, a, {}};
  }
  const CommandInfo* info = FindCommand(args[0]);
  if (!info) return Fail(args[0] + ": no such command (nvctl --help lists them)");
  a.command = info->command;

  ChangeText change;
  bool dhcp = false, dnsAuto = false, haveStatic = false;
  bool operandSeen = false, optionsEnded = false;
  for (std::size_t i = next; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      if (!info->operand) return Fail(arg + ": " + info->name + " takes no operand");
      if (operandSeen) return Fail(arg + ": " + info->name + " takes one " + info->operand);
      a.operand = arg;
      operandSeen = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      a.help = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> value;
    if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    if (name == "--password" || name == "--new-password" || name == "-p")
      return Fail(name + ": passwords are never taken from the command line; use the prompt, "
                         "NETVANE_PASSWORD or --password-file");
    const OptionInfo* option = nullptr;
    for (const OptionInfo& o : kOptions)
      if (name == o.name) option = &o;
    if (!option) return Fail(name + ": unknown option (nvctl " + info->name + " --help)");
    if ((option->group & info->options) == 0)
      return Fail(name + ": not an option of " + info->name);
    if (option->takesValue && !value) {
      if (i + 1 >= args.size()) return Fail(name + ": needs a value");
      value = args[++i];
    }
    if (!option->takesValue && value) return Fail(name + ": takes no value");
    const std::string v = value.value_or("");

    if (name == "--timeout" || name == "--discover-timeout") {
      const auto seconds = ParseBounded(v, 600);
      if (!seconds) return Fail(name + ": '" + v + "' is not a number of seconds from 0 to 600");
      (name == "--timeout" ? a.timeout : a.discoverTimeout) = seconds;
    } else if (name == "--retries") {
      a.retries = ParseBounded(v, 10);
      if (!a.retries) return Fail(name + ": '" + v + "' is not a count from 0 to 10");
    } else if (name == "--adapter") {
      a.adapter = ParseBounded(v, 255);
      if (!a.adapter) return Fail(name + ": '" + v + "' is not an adapter number");
    } else if (name == "--format") {
      if (v == "table") a.format = OutputFormat::Table;
      else if (v == "csv") a.format = OutputFormat::Csv;
      else if (v == "json") a.format = OutputFormat::Json;
      else return Fail(name + ": '" + v + "' is not table, csv or json");
      a.formatGiven = true;
    } else if (name == "--user") {
      if (v.empty() || v.size() > kUserNameLength - 1)
        return Fail(name + ": a user name has 1 to 35 characters");
      a.user = v;
    } else if (name == "--password-file") {
      if (v.empty()) return Fail(name + ": needs a file name");
      a.passwordFile = v;
    } else if (name == "--new-password-file") {
      if (v.empty()) return Fail(name + ": needs a file name");
      a.newPasswordFile = v;
    } else if (name == "--nic") {
      change.nic = v;
      if (v.empty()) return Fail(name + ": needs an adapter number");
    } else if (name == "--mac") {
      change.mac = v;
      if (v.empty()) return Fail(name + ": needs a MAC address");
    } else if (name == "--dhcp") {
      dhcp = true;
    } else if (name == "--static") {
      haveStatic = true;
      change.address = v;
      if (v.empty()) return Fail(name + ": needs ADDRESS/PREFIX or ADDRESS with --mask");
    } else if (name == "--mask") {
      change.mask = v;
      if (v.empty()) return Fail(name + ": needs a mask");
    } else if (name == "--gateway") {
      change.gateway = v;
      if (v.empty()) return Fail(name + ": needs an address");
    } else if (name == "--dns") {
      change.dns = v;
      if (v.empty() || EqualsNoCase(v, "auto")) return Fail(name + ": needs an address (use --dns-auto for automatic DNS)");
    } else if (name == "--dns-auto") {
      dnsAuto = true;
    } else if (name == "--name") {
      change.name = v;
      if (v.empty()) return Fail(name + ": needs a host name");
    } else if (name == "--dry-run") {
      a.dryRun = true;
    } else if (name == "--management") {
      a.management = true;
    } else if (name == "--open") {
      a.open = true;
    }
  }
  if (a.help) return ParseOutcome{true, a, {}};
  if (info->operand && !operandSeen)
    return Fail(std::string(info->name) + ": " + info->operand + " missing (nvctl " + info->name + " --help)");

  if (a.command == Command::Set) {
    if (dhcp && haveStatic) return Fail("--dhcp: give --dhcp or --static, not both");
    if (dnsAuto && !change.dns.empty()) return Fail("--dns-auto: give --dns or --dns-auto, not both");
    if (dhcp) change.mode = "dhcp";
    if (haveStatic) change.mode = "static";
    if (dnsAuto) change.dns = "auto";
    if (!haveStatic && !change.mask.empty()) return Fail("--mask: only with --static");
    if (!haveStatic && !change.gateway.empty()) return Fail("--gateway: only with --static");
    ChangeError error;
    if (!ParseChange(change, a.change, error)) {
      if (error.field == ChangeField::Whole)
        return Fail("set: nothing to change (give --dhcp, --static, --dns, --dns-auto or --name)");
      return Fail(std::string(FieldOption(error.field)) + ": " + error.message);
    }
    if (!a.change.ChangesAdapter() && (change.nic.size() || change.mac.size()))
      return Fail(std::string(change.nic.size() ? "--nic" : "--mac") + ": only with --dhcp or --static");
  }
  return ParseOutcome{true, a, {}};
}

std::string UsageText(Command command) {
  switch (command) {
    case Command::None:
      return "nvctl: configure the network settings of the segment's hosts from a script\n"
             "\n"
             "  nvctl discover [--format table|csv|json]   list every host that answers\n"
             "  nvctl show HOST                            one host in full\n"
             "  nvctl set HOST ...                         change addresses, DNS or the name\n"
             "  nvctl password HOST [--management]         change an account's password\n"
             "  nvctl restart HOST                         restart the host\n"
             "  nvctl launch HOST [--open]                 the management page's address\n"
             "  nvctl apply FILE.csv                       many changes, one per row\n"
             "\n"
             "HOST is a host name (any case), an agent MAC or an address a host answered on.\n"
             "Options of every command: --timeout S, --discover-timeout S, --retries N,\n"
             "--adapter N (console adapter; default: every connected one). Defaults come from\n"
             "Netvane.cfg beside the program when it exists.\n"
             "Credentials: --user NAME (default Administrator), the password from a prompt,\n"
             "NETVANE_PASSWORD or --password-file FILE; never on the command line.\n"
             "Exit status: 0 success, 1 an agent refused or failed, 2 usage or bad input,\n"
             "3 the transport failed. nvctl COMMAND --help for each command.\n";
    case Command::Discover:
      return "nvctl discover [--timeout S] [--adapter N] [--format table|csv|json]\n"
             "Lists every host that answers, as it answers. table: aligned columns; csv:\n"
             "RFC 4180, one row per adapter with the host's fields repeated; json: one array.\n"
             "--timeout S: how long to wait for answers (default 5, or Netvane.cfg).\n";
    case Command::Show:
      return "nvctl show HOST [--format table|csv|json]\n"
             "One host in full: names, OS, setup state, management, DNS and every adapter.\n";
    case Command::Set:
      return "nvctl set HOST [--nic N|--mac M] (--dhcp | --static ADDRESS/PREFIX |\n"
             "          --static ADDRESS --mask MASK) [--gateway G] [--dns ADDRESS | --dns-auto]\n"
             "          [--name NEWNAME] [--dry-run] [--user NAME] [--password-file FILE]\n"
             "One settings request; only what changed is marked. --nic or --mac chooses the\n"
             "adapter (default: the only one, or the one the host answered on). --dry-run\n"
             "prints the request's changes per adapter and sends nothing. --timeout S: how\n"
             "long to wait for the agent's answer (default 30).\n";
    case Command::Password:
      return "nvctl password HOST [--management] [--user NAME] [--password-file FILE]\n"
             "              [--new-password-file FILE]\n"
             "Changes the password of the account in --user, or with --management that of\n"
             "the management product's account. The new password is prompted twice, or read\n"
             "from NETVANE_NEW_PASSWORD or --new-password-file.\n";
    case Command::Restart:
      return "nvctl restart HOST [--user NAME] [--password-file FILE]\nRestarts the host.\n";
    case Command::Launch:
      return "nvctl launch HOST [--open]\n"
             "Prints the host's management page address; --open opens it in the browser\n"
             "(only a plain http or https address on the host or a named server).\n";
    case Command::Apply:
      return "nvctl apply FILE.csv [--dry-run] [--user NAME] [--password-file FILE]\n"
             "One change per row, columns host,nic,mode,address,mask,gateway,dns,name (a\n"
             "first row starting with \"host\" is a header). nic: number or MAC; mode: dhcp,\n"
             "static or empty; address: ADDRESS or ADDRESS/PREFIX; mask: mask or prefix;\n"
             "dns: ADDRESS, auto or empty; name: new host name or empty. Every row is\n"
             "checked first; a bad row stops the run with its line number and nothing is\n"
             "sent. Then the hosts are changed one after the other, with a summary.\n";
  }
  return {};
}
