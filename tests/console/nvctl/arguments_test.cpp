#include "console/nvctl/arguments.h"

#include <gtest/gtest.h>

namespace {

ParseOutcome Parse(std::vector<std::string> args) { return ParseArguments(args); }

// The error must start with the argument at fault.
void ExpectError(std::vector<std::string> args, const std::string& argument,
                 const std::string& detail = "") {
  const ParseOutcome outcome = Parse(args);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.error.rfind(argument, 0), 0u) << outcome.error;
  if (!detail.empty()) {
    EXPECT_NE(outcome.error.find(detail), std::string::npos) << outcome.error;
  }
}

TEST(NvctlArguments, DiscoverOptionsInBothSpellings) {
  const ParseOutcome o = Parse({"discover", "--timeout", "7", "--adapter=1", "--format=json",
                                "--retries", "0"});
  ASSERT_TRUE(o.ok) << o.error;
  EXPECT_EQ(o.arguments.command, Command::Discover);
  EXPECT_EQ(o.arguments.timeout, 7);
  EXPECT_EQ(o.arguments.adapter, 1);
  EXPECT_EQ(o.arguments.retries, 0);
  EXPECT_EQ(o.arguments.format, OutputFormat::Json);
}

TEST(NvctlArguments, BoundsOfTheTransportOptions) {
  EXPECT_TRUE(Parse({"discover", "--timeout", "600", "--retries", "10"}).ok);
  ExpectError({"discover", "--timeout", "601"}, "--timeout", "'601'");
  ExpectError({"discover", "--timeout", "-1"}, "--timeout");
  ExpectError({"discover", "--timeout", "5s"}, "--timeout");
  ExpectError({"discover", "--retries", "11"}, "--retries");
  ExpectError({"discover", "--format", "xml"}, "--format", "'xml'");
  ExpectError({"discover", "--timeout"}, "--timeout", "needs a value");
}

TEST(NvctlArguments, EachCommandTakesOnlyItsOwnOptionsAndOperands) {
  ExpectError({"discover", "HOST"}, "HOST", "takes no operand");
  ExpectError({"show"}, "show", "HOST missing");
  ExpectError({"show", "a", "b"}, "b", "takes one HOST");
  ExpectError({"set", "h", "--open", "--dhcp"}, "--open", "not an option of set");
  ExpectError({"launch", "h", "--user", "x"}, "--user", "not an option of launch");
  ExpectError({"discover", "--frobnicate"}, "--frobnicate", "unknown option");
  ExpectError({"frobnicate"}, "frobnicate", "no such command");
  ExpectError({}, "nvctl", "no command");
  ExpectError({"launch", "h", "--open=yes"}, "--open", "takes no value");
  // After "--" a HOST may start with '-'.
  const ParseOutcome o = Parse({"show", "--", "-odd-name"});
  ASSERT_TRUE(o.ok) << o.error;
  EXPECT_EQ(o.arguments.operand, "-odd-name");
}

TEST(NvctlArguments, PasswordsAreNeverTakenFromTheCommandLine) {
  ExpectError({"set", "h", "--dhcp", "--password", "secret"}, "--password", "never");
  ExpectError({"restart", "h", "--password=secret"}, "--password", "NETVANE_PASSWORD");
  ExpectError({"password", "h", "--new-password", "x"}, "--new-password", "never");
  const ParseOutcome o = Parse({"restart", "h", "--user", "admin2", "--password-file", "p.txt"});
  ASSERT_TRUE(o.ok) << o.error;
  EXPECT_EQ(o.arguments.user, "admin2");
  EXPECT_EQ(o.arguments.passwordFile, "p.txt");
  ExpectError({"restart", "h", "--user", std::string(36, 'u')}, "--user");
}

TEST(NvctlArguments, SetBuildsTheChange) {
  ParseOutcome o = Parse({"set", "SRV1", "--nic", "2", "--static", "10.1.2.3/24", "--gateway",
                          "10.1.2.1", "--dns", "10.1.2.53", "--name", "SRV-NEW"});
  ASSERT_TRUE(o.ok) << o.error;
  const SettingsChange& c = o.arguments.change;
  EXPECT_EQ(o.arguments.operand, "SRV1");
  EXPECT_EQ(c.slot, 1);
  EXPECT_EQ(c.mode, SettingsChange::Mode::Static);
  EXPECT_EQ(c.address, 0x0A010203u);
  EXPECT_EQ(c.mask, 0xFFFFFF00u);
  EXPECT_EQ(c.gateway, 0x0A010201u);
  EXPECT_EQ(c.dns, SettingsChange::Dns::Static);
  EXPECT_EQ(c.newName, "SRV-NEW");

  o = Parse({"set", "SRV1", "--mac", "00:1b:21:3c:4d:51", "--static", "10.1.2.3", "--mask",
             "255.255.0.0", "--dry-run"});
  ASSERT_TRUE(o.ok) << o.error;
  EXPECT_TRUE(o.arguments.dryRun);
  EXPECT_EQ(o.arguments.change.mask, 0xFFFF0000u);
  ASSERT_TRUE(o.arguments.change.mac.has_value());
  EXPECT_EQ((*o.arguments.change.mac)[5], 0x51);

  o = Parse({"set", "SRV1", "--dns-auto"});
  ASSERT_TRUE(o.ok) << o.error;
  EXPECT_EQ(o.arguments.change.dns, SettingsChange::Dns::Auto);
  EXPECT_FALSE(o.arguments.change.ChangesAdapter());
}

TEST(NvctlArguments, SetErrorsNameTheOptionAtFault) {
  ExpectError({"set", "h"}, "set", "nothing to change");
  ExpectError({"set", "h", "--dhcp", "--static", "10.0.0.1/8"}, "--dhcp", "not both");
  ExpectError({"set", "h", "--dns", "1.1.1.1", "--dns-auto"}, "--dns-auto", "not both");
  ExpectError({"set", "h", "--mask", "255.0.0.0", "--dns-auto"}, "--mask", "only with --static");
  ExpectError({"set", "h", "--gateway", "1.2.3.4", "--dhcp"}, "--gateway", "only with --static");
  ExpectError({"set", "h", "--nic", "1", "--name", "ab"}, "--nic", "only with --dhcp or --static");
  ExpectError({"set", "h", "--static", "10.0.0.1"}, "--mask", "needs a prefix");
  ExpectError({"set", "h", "--static", "10.0.0.1/24", "--mask", "24"}, "--mask", "not both");
  ExpectError({"set", "h", "--static", "10.0.0.1/33"}, "--mask", "'/33'");
  ExpectError({"set", "h", "--static", "10.0.0.1", "--mask", "255.0.255.0"}, "--mask");
  ExpectError({"set", "h", "--static", "10.0.0.256/8"}, "--static", "'10.0.0.256'");
  ExpectError({"set", "h", "--static", "0.0.0.0/8"}, "--static");
  ExpectError({"set", "h", "--static", "10.0.0.1/8", "--gateway", "g"}, "--gateway", "'g'");
  ExpectError({"set", "h", "--nic", "0", "--dhcp"}, "--nic", "'0'");
  ExpectError({"set", "h", "--nic", "1", "--mac", "00:11:22:33:44:55", "--dhcp"}, "--nic");
  ExpectError({"set", "h", "--mac", "00:11:22:33:44", "--dhcp"}, "--mac");
  ExpectError({"set", "h", "--dns", "auto"}, "--dns", "--dns-auto");
  ExpectError({"set", "h", "--name", "x"}, "--name", "at least 2");
  ExpectError({"set", "h", "--name", std::string(33, 'n')}, "--name", "at most 32");
  ExpectError({"set", "h", "--name", "a b"}, "--name");
}

TEST(NvctlArguments, HelpForEveryCommand) {
  ParseOutcome o = Parse({"--help"});
  ASSERT_TRUE(o.ok);
  EXPECT_TRUE(o.arguments.help);
  EXPECT_EQ(o.arguments.command, Command::None);
  // --help wins over what else is missing or wrong after it is seen.
  o = Parse({"set", "--help"});
  ASSERT_TRUE(o.ok) << o.error;
  EXPECT_TRUE(o.arguments.help);
  EXPECT_EQ(o.arguments.command, Command::Set);
  o = Parse({"help", "apply"});
  ASSERT_TRUE(o.ok);
  EXPECT_EQ(o.arguments.command, Command::Apply);
  ExpectError({"help", "frob"}, "frob");
  for (Command c : {Command::Discover, Command::Show, Command::Set, Command::Password,
                    Command::Restart, Command::Launch, Command::Apply}) {
    EXPECT_NE(UsageText(c).find(std::string("nvctl ") + CommandName(c)), std::string::npos)
        << CommandName(c);
  }
}

}  // namespace
