#include "console/nvctl/commands.h"

#include <windows.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "TaviClient.h"
#include "console/core/action_requests.h"
#include "console/core/launch_guard.h"
#include "console/core/message_table.h"
#include "console/core/open_in_browser.h"
#include "console/nvctl/apply_file.h"
#include "console/nvctl/outcome.h"
#include "console/nvctl/password_source.h"
#include "console/nvctl/text_rules.h"
#include "console/nvctl/transport_session.h"
#include "protocol/reply_view.h"

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

// One exchange and what came back. `reply` is sized for the request's code.
struct Exchanged {
  int workResult = 0;   // TVDoWork's result; 0 = no adapter could be used
  uint16_t status = 0;  // the reply's, 0 when the transport failed
  std::vector<uint8_t> reply;
  // The reply is the agent's record of the host, to be taken over (not after a time-out, a
  // refusal written by the transport, or refused credentials).
  bool HeldRecord() const { return workResult != 0 && ReplyView(reply).HoldsAgentRecord(); }
};

// Sends `request` and wipes it (it holds credentials).
Exchanged Send(Session& session, std::vector<uint8_t>& request) {
  Exchanged out;
  FrameHeader header;
  DecodeHeader(request.data(), request.size(), header);
  out.reply.assign(ConsoleReplyBufferLength(header.requestCode), 0);
  out.workResult = session.transport().Exchange(request, out.reply);
  WipeSecret(request);
  if (out.workResult) out.status = ReplyStatus(out.reply.data(), out.reply.size());
  return out;
}

// The request a command builds from the credentials; empty when it cannot be built, with
// `error` set when the reason is bad input of the user's.
using BuildWithCredentials =
    std::function<std::vector<uint8_t>(const Credentials& credentials, std::string& error)>;

// One authenticated exchange with `host`: the password read, the request built, the password
// dropped, the request sent and wiped, the outcome reported in one line. False, with `exit`
// set, when nothing was sent; otherwise `exit` is the outcome's exit status.
bool AuthenticatedExchange(Session& session, const HostView& host, const BuildWithCredentials& build,
                           const char* success, Exchanged& out, int& exit) {
  Secret password;
  if (!session.Credentials(password, exit)) return false;
  const std::string user = session.User();
  std::string error;
  std::vector<uint8_t> request = build({user, password.view()}, error);
  password = Secret();
  if (request.empty()) {
    exit = Error(ExitStatus::Usage, error.empty() ? Name(host) + ": the request cannot be built" : error);
    return false;
  }
  out = Send(session, request);
  exit = Report(Name(host), out.workResult, out.status, success);
  return true;
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
  Exchanged answer;
  if (!AuthenticatedExchange(
          session, host,
          [&](const Credentials& credentials, std::string&) {
            return BuildApplyRequest(host.reply.data(), host.reply.size(), host.record, edited,
                                     credentials);
          },
          "Setting Succeeded!", answer, status))
    return status;
  // As the dialog console does: the agent's record is taken over; after success the host is
  // awaited and read again.
  if (!answer.HeldRecord()) return status;
  if (auto fresh = MakeHostView(answer.reply.data(), answer.reply.size())) host = *fresh;
  if (answer.status == Status::Ok && !session.transport().PollAndRefresh(host))
    std::fprintf(stderr, "nvctl: %s did not answer after the change; its reply follows\n", Name(host).c_str());
  if (OutcomeOf(answer.workResult, answer.status) != Outcome::Refused) Out(FormatHostDetails(host));
  return status;
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
  Exchanged answer;
  AuthenticatedExchange(
      session, host,
      [&](const Credentials& credentials, std::string& error) {
        Secret newPassword;
        if (!ReadPassword(a.newPasswordFile, "--new-password-file", kNewPasswordVariable,
                          "New password: ", true, newPassword, error))
          return std::vector<uint8_t>();
        return BuildPasswordRequest(host.reply.data(), host.reply.size(), host.record,
                                    credentials, a.management ? 1 : 0, newPassword.view());
      },
      "Setting Succeeded!", answer, status);
  return status;
}

int Restart(const Arguments& a) {
  Session session(a);
  if (int s = session.Start()) return s;
  HostView host;
  int status = 0;
  if (!session.FindHost(host, status)) return status;
  Exchanged answer;
  AuthenticatedExchange(
      session, host,
      [&](const Credentials& credentials, std::string&) {
        return BuildShortActionRequest(Request::Restart, host.reply.data(), host.reply.size(),
                                       host.record, credentials);
      },
      "The host computer is now restarting!", answer, status);
  return status;
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
    const Exchanged answer = request.empty() ? Exchanged{} : Send(session, request);
    const Outcome outcome = OutcomeOf(answer.workResult, answer.status);
    const std::string what = "line " + std::to_string(rows[i].line) + " " + Name(host);
    exit = WorseExitStatus(exit, Report(what, answer.workResult, answer.status, "applied"));
    if (outcome == Outcome::Applied) ++applied;
    else if (outcome == Outcome::Refused) ++refused;
    else ++failed;
    // Later rows of this host build on, and are addressed by, what it last reported.
    if (answer.HeldRecord()) {
      if (auto fresh = MakeHostView(answer.reply.data(), answer.reply.size())) host = *fresh;
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
