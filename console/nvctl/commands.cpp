#include "console/nvctl/commands.h"

#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

#include "TaviClient.h"
#include "console/actions/action_requests.h"
#include "console/actions/launch_guard.h"
#include "console/actions/open_in_browser.h"
#include "console/message_table.h"
#include "console/nvctl/apply_file.h"
#include "console/nvctl/outcome.h"
#include "console/nvctl/password_source.h"
#include "console/nvctl/text_rules.h"
#include "console/nvctl/transport_session.h"

namespace {

constexpr DWORD kMaxApplyFile = 1u << 20;
constexpr const char* kPasswordVariable = "NETVANE_PASSWORD";
constexpr const char* kNewPasswordVariable = "NETVANE_NEW_PASSWORD";

void Out(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

int Error(int status, const std::string& text) {
  std::fprintf(stderr, "nvctl: %s\n", text.c_str());
  return status;
}

std::string Name(const HostView& host) { return PrintableText(host.record.hostName.str()); }

// The transport, started and with the options of Netvane.cfg and the command line.
class Session {
 public:
  explicit Session(const Arguments& a) : a_(a) {}

  int Start() {
    const int result = transport_.Start();
    if (result != 0) return Error(ExitStatus::Transport, std::string("transport: ") + MessageText(static_cast<unsigned>(result)));
    LoadTransportOptions();
    // --timeout is the command's own exchange: discovery for the commands that only look,
    // the change for the others.
    const bool looksOnly = a_.command == Command::Discover || a_.command == Command::Show ||
                           a_.command == Command::Launch;
    if (a_.discoverTimeout) TVSetDiscoverTimeout(*a_.discoverTimeout);
    if (a_.timeout) (looksOnly ? TVSetDiscoverTimeout : TVSetSetTimeout)(*a_.timeout);
    if (a_.retries) TVSetRetryCount(*a_.retries);
    return ExitStatus::Ok;
  }

  // Discovery without output; fails when the transport did.
  bool Discover(TransportSession::Discovery& out, int& status) {
    out = transport_.Discover(a_.adapter, [](const HostView&) {});
    if (out.workResult == 0 && MissingAdapter(out, status)) return false;
    if (out.workResult == 0) {
      status = Error(ExitStatus::Transport, std::string("transport: ") + MessageText(Status::AdapterOpenFailed));
      return false;
    }
    return true;
  }

  // Discovery, then HOST among the answers.
  bool FindHost(HostView& host, int& status) {
    TransportSession::Discovery found;
    if (!Discover(found, status)) return false;
    std::string error;
    const auto index = MatchHost(found.hosts, a_.operand, error);
    if (!index) {
      status = Error(ExitStatus::Usage, "HOST " + error);
      return false;
    }
    host = found.hosts[*index];
    return true;
  }

  bool Credentials(Secret& password, int& status) {
    std::string error;
    if (!ReadPassword(a_.passwordFile, "--password-file", kPasswordVariable, "Password: ", false,
                      password, error)) {
      status = Error(ExitStatus::Usage, error);
      return false;
    }
    return true;
  }

  // --adapter naming an adapter this PC does not have is bad input, not a transport failure.
  bool MissingAdapter(const TransportSession::Discovery& found, int& status) const {
    if (!a_.adapter || *a_.adapter < found.adapterCount) return false;
    status = Error(ExitStatus::Usage, "--adapter: no adapter " + std::to_string(*a_.adapter) +
                                          " (this PC has " + std::to_string(found.adapterCount) + ")");
    return true;
  }

  std::string User() const { return a_.user.empty() ? std::string("Administrator") : a_.user; }
  TransportSession& transport() { return transport_; }

 private:
  const Arguments& a_;
  TransportSession transport_;
};

// The outcome of an exchange in one line, and its exit status.
int Report(const std::string& what, int workResult, uint16_t status, const char* success) {
  const Outcome outcome = OutcomeOf(workResult, status);
  if (outcome == Outcome::Applied) {
    Out(what + ": " + success + "\n");
  } else if (workResult == 0) {
    std::fprintf(stderr, "%s: failed: %s\n", what.c_str(), MessageText(Status::AdapterOpenFailed));
  } else {
    std::string text = StatusText(status);
    if (status == Status::TrustStoreUnreadable) {
      // The transport says why: the store's path and the number of a bad line.
      char problem[1024] = {};
      if (TVGetTrustStoreProblem(problem, static_cast<int>(sizeof problem)) != 0)
        text += ": " + std::string(problem);
    }
    std::fprintf(stderr, "%s: %s: %s\n", what.c_str(),
                 outcome == Outcome::Refused ? "refused" : "failed", text.c_str());
  }
  return ExitStatusOf(outcome);
}

int Discover(const Arguments& a) {
  Session session(a);
  if (int s = session.Start()) return s;
  Out(OutputStart(a.format));
  bool first = true;
  const auto found = session.transport().Discover(a.adapter, [&](const HostView& host) {
    Out(FormatHost(a.format, host, first));
    first = false;
  });
  Out(OutputEnd(a.format));
  int missing = 0;
  if (found.workResult == 0 && session.MissingAdapter(found, missing)) return missing;
  if (found.workResult == 0)
    return Error(ExitStatus::Transport, std::string("transport: ") + MessageText(Status::AdapterOpenFailed));
  if (found.hosts.empty()) std::fprintf(stderr, "nvctl: %s\n", MessageText(Status::NoServerFound));
  return ExitStatus::Ok;
}

int Show(const Arguments& a) {
  Session session(a);
  if (int s = session.Start()) return s;
  HostView host;
  int status = 0;
  if (!session.FindHost(host, status)) return status;
  if (a.formatGiven && a.format != OutputFormat::Table)
    Out(OutputStart(a.format) + FormatHost(a.format, host, true) + OutputEnd(a.format));
  else
    Out(FormatHostDetails(host));
  return ExitStatus::Ok;
}

int Launch(const Arguments& a) {
  Session session(a);
  if (int s = session.Start()) return s;
  HostView host;
  int status = 0;
  if (!session.FindHost(host, status)) return status;
  const std::string address = ManagementAddress(host);
  if (address.empty() || host.answering.ipAddress == 0)
    return Error(ExitStatus::AgentRefused, Name(host) + ": no management page");
  Out(PrintableText(address) + "\n");
  if (!a.open) return ExitStatus::Ok;
  const LaunchRefusal refusal = CheckLaunchAddress(address, host.answering.ipAddress);
  if (refusal != LaunchRefusal::None)
    return Error(ExitStatus::AgentRefused, std::string(MessageText(Status::LaunchRefused)) + ": " +
                                               LaunchRefusalText(refusal));
  if (OpenInBrowser(address.c_str(), SW_SHOWNORMAL) <= 32)
    return Error(ExitStatus::AgentRefused, "no browser opened the address");
  return ExitStatus::Ok;
}

int Set(const Arguments& a) {
  Session session(a);
  if (int s = session.Start()) return s;
  HostView host;
  int status = 0;
  if (!session.FindHost(host, status)) return status;
  HostRecord edited;
  std::string error;
  if (!ApplyChangeToRecord(host.record, host.answering, a.change, edited, error))
    return Error(ExitStatus::Usage, Name(host) + ": " + error);
  if (a.dryRun) {
    SettingsBody body;
    BuildSettingsBody(host.record, edited, body);
    Out(Name(host) + " (dry run, nothing sent):\n" + DescribeSettingsBody(body, host.record));
    return ExitStatus::Ok;
  }
  Secret password;
  if (!session.Credentials(password, status)) return status;
  const std::string user = session.User();
  std::vector<uint8_t> request = BuildApplyRequest(host.reply.data(), host.reply.size(), host.record,
                                                   edited, {user, password.view()});
  password = Secret();
  if (request.empty()) return Error(ExitStatus::Usage, Name(host) + ": the request cannot be built");
  std::vector<uint8_t> reply(kConsoleReplyBufferLength, 0);
  const int workResult = session.transport().Exchange(request, reply);
  WipeBuffer(request);
  const uint16_t replyStatus = workResult ? ReplyStatus(reply.data(), reply.size()) : 0;
  const int exit = Report(Name(host), workResult, replyStatus, "Setting Succeeded!");
  if (workResult == 0) return exit;
  // As the dialog console does: the reply's record is taken over unless the credentials were
  // refused; after success the host is awaited and read again.
  if (replyStatus != Status::BadLogon && replyStatus != Status::NotAdministrator) {
    if (auto fresh = MakeHostView(reply.data(), reply.size())) host = *fresh;
  }
  if (replyStatus == Status::Ok && !session.transport().PollAndRefresh(host))
    std::fprintf(stderr, "nvctl: %s did not answer after the change; its reply follows\n", Name(host).c_str());
  if (OutcomeOf(workResult, replyStatus) != Outcome::Refused) Out(FormatHostDetails(host));
  return exit;
}

int Password(const Arguments& a) {
  Session session(a);
  if (int s = session.Start()) return s;
  HostView host;
  int status = 0;
  if (!session.FindHost(host, status)) return status;
  // The management account exists where the Launch button would be enabled.
  if (a.management && (host.record.mgmtPort == 0 || host.answering.ipAddress == 0))
    return Error(ExitStatus::Usage, "--management: " + Name(host) + " has no management product");
  Secret password;
  if (!session.Credentials(password, status)) return status;
  Secret newPassword;
  std::string error;
  if (!ReadPassword(a.newPasswordFile, "--new-password-file", kNewPasswordVariable,
                    "New password: ", true, newPassword, error))
    return Error(ExitStatus::Usage, error);
  const std::string user = session.User();
  std::vector<uint8_t> request =
      BuildPasswordRequest(host.reply.data(), host.reply.size(), host.record,
                           {user, password.view()}, a.management ? 1 : 0, newPassword.view());
  password = Secret();
  newPassword = Secret();
  if (request.empty()) return Error(ExitStatus::Usage, Name(host) + ": the request cannot be built");
  std::vector<uint8_t> reply(kConsoleShortReplyLength, 0);
  const int workResult = session.transport().Exchange(request, reply);
  WipeBuffer(request);
  return Report(Name(host), workResult, workResult ? ReplyStatus(reply.data(), reply.size()) : 0,
                "Setting Succeeded!");
}

int Restart(const Arguments& a) {
  Session session(a);
  if (int s = session.Start()) return s;
  HostView host;
  int status = 0;
  if (!session.FindHost(host, status)) return status;
  Secret password;
  if (!session.Credentials(password, status)) return status;
  const std::string user = session.User();
  std::vector<uint8_t> request = BuildShortActionRequest(
      Request::Restart, host.reply.data(), host.reply.size(), host.record, {user, password.view()});
  password = Secret();
  if (request.empty()) return Error(ExitStatus::Usage, Name(host) + ": the request cannot be built");
  std::vector<uint8_t> reply(kConsoleShortReplyLength, 0);
  const int workResult = session.transport().Exchange(request, reply);
  WipeBuffer(request);
  return Report(Name(host), workResult, workResult ? ReplyStatus(reply.data(), reply.size()) : 0,
                "The host computer is now restarting!");
}

bool ReadWholeFile(const std::string& path, std::string& text, std::string& error) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = "cannot open";
    return false;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(handle, &size) || size.QuadPart > kMaxApplyFile) {
    CloseHandle(handle);
    error = "larger than 1 MiB";
    return false;
  }
  text.assign(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  const BOOL ok = text.empty() || ReadFile(handle, &text[0], static_cast<DWORD>(text.size()), &read, nullptr);
  CloseHandle(handle);
  if (!ok) {
    error = "cannot read";
    return false;
  }
  text.resize(read);
  return true;
}

int Apply(const Arguments& a) {
  std::string text, error;
  if (!ReadWholeFile(a.operand, text, error)) return Error(ExitStatus::Usage, a.operand + ": " + error);
  std::vector<ApplyRow> rows;
  if (!ReadApplyRows(text, rows, error)) return Error(ExitStatus::Usage, a.operand + ": " + error);

  Session session(a);
  if (int s = session.Start()) return s;
  TransportSession::Discovery found;
  int status = 0;
  if (!session.Discover(found, status)) return status;

  // Every row against the host it names, before anything is sent. Rows of one host build on
  // each other as the host's later answers will.
  struct Planned {
    std::size_t host;
    HostRecord edited;
  };
  std::vector<Planned> plan;
  std::map<std::size_t, HostRecord> planned;
  for (const ApplyRow& row : rows) {
    const std::string where = a.operand + ": line " + std::to_string(row.line) + ": ";
    const auto index = MatchHost(found.hosts, row.host, error);
    if (!index) return Error(ExitStatus::Usage, where + "host " + error);
    const HostView& host = found.hosts[*index];
    const HostRecord& base = planned.count(*index) ? planned[*index] : host.record;
    HostRecord edited;
    if (!ApplyChangeToRecord(base, host.answering, row.change, edited, error))
      return Error(ExitStatus::Usage, where + Name(host) + ": " + error);
    planned[*index] = edited;
    plan.push_back({*index, edited});
  }

  if (a.dryRun) {
    std::map<std::size_t, HostRecord> before;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const HostView& host = found.hosts[plan[i].host];
      const HostRecord& stored = before.count(plan[i].host) ? before[plan[i].host] : host.record;
      SettingsBody body;
      BuildSettingsBody(stored, plan[i].edited, body);
      Out("line " + std::to_string(rows[i].line) + " " + Name(host) + " (dry run, nothing sent):\n" +
          DescribeSettingsBody(body, stored));
      before[plan[i].host] = plan[i].edited;
    }
    return ExitStatus::Ok;
  }

  Secret password;
  if (!session.Credentials(password, status)) return status;
  const std::string user = session.User();
  std::size_t applied = 0, refused = 0, failed = 0;
  int exit = ExitStatus::Ok;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    HostView& host = found.hosts[plan[i].host];
    // The change laid over what the host last reported (a previous row may have changed it).
    HostRecord edited;
    if (!ApplyChangeToRecord(host.record, host.answering, rows[i].change, edited, error)) {
      std::fprintf(stderr, "line %zu %s: failed: %s\n", rows[i].line, Name(host).c_str(), error.c_str());
      ++failed;
      exit = WorseExitStatus(exit, ExitStatus::AgentRefused);
      continue;
    }
    std::vector<uint8_t> request = BuildApplyRequest(host.reply.data(), host.reply.size(),
                                                     host.record, edited, {user, password.view()});
    std::vector<uint8_t> reply(kConsoleReplyBufferLength, 0);
    const int workResult = request.empty() ? 0 : session.transport().Exchange(request, reply);
    WipeBuffer(request);
    const uint16_t replyStatus = workResult ? ReplyStatus(reply.data(), reply.size()) : 0;
    const Outcome outcome = OutcomeOf(workResult, replyStatus);
    const std::string what = "line " + std::to_string(rows[i].line) + " " + Name(host);
    exit = WorseExitStatus(exit, Report(what, workResult, replyStatus, "applied"));
    if (outcome == Outcome::Applied) ++applied;
    else if (outcome == Outcome::Refused) ++refused;
    else ++failed;
    if (workResult && replyStatus != Status::BadLogon && replyStatus != Status::NotAdministrator) {
      if (auto fresh = MakeHostView(reply.data(), reply.size())) host = *fresh;
    }
  }
  Out(std::to_string(applied) + " applied, " + std::to_string(refused) + " refused, " +
      std::to_string(failed) + " failed\n");
  return exit;
}

}  // namespace

int RunCommand(const Arguments& arguments) {
  switch (arguments.command) {
    case Command::Discover: return Discover(arguments);
    case Command::Show: return Show(arguments);
    case Command::Set: return Set(arguments);
    case Command::Password: return Password(arguments);
    case Command::Restart: return Restart(arguments);
    case Command::Launch: return Launch(arguments);
    case Command::Apply: return Apply(arguments);
    case Command::None: break;
  }
  std::fputs(UsageText(Command::None).c_str(), stderr);
  return ExitStatus::Usage;
}
