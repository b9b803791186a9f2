#include "console/nvctl/host_view.h"

#include "console/core/host_reply.h"
#include "console/core/launch_string.h"
#include "console/nvctl/settings_change.h"
#include "console/nvctl/text_rules.h"
#include "protocol/reply_view.h"

std::optional<HostView> MakeHostView(const uint8_t* frame, std::size_t available) {
  HostView host;
  // The copy a dialog row keeps: at most ten adapters, so every request built from it fits
  // the console's buffers.
  host.reply = MakeStoredReply(frame, available);
  const ReplyView view(host.reply);
  if (!view.HasRecord()) return std::nullopt;
  host.record = view.Record();
  host.setupState = view.SetupState();
  host.consoleAdapter = view.Header().adapterIndex;
  host.agentMac = view.SenderMac();
  host.answering = view.AnsweringNic().value_or(NicEntry{});
  return host;
}

std::string SetupStateWords(uint8_t setupState) {
  switch (setupState) {
    case SetupState::DefaultPasswordNoAddress: return "default password, no address";
    case SetupState::DefaultPasswordAddressed: return "default password, addressed";
    case SetupState::PartlyAddressed: return "partly addressed";
    case SetupState::AllAddressed: return "configured";
    default: return "unknown (" + std::to_string(setupState) + ")";
  }
}

std::string ManagementAddress(const HostView& host) {
  if (host.record.mgmtPort == 0) return {};
  const auto& bytes = host.record.mgmtLaunchString.bytes;
  return SubstituteLaunchString(std::string_view(bytes.data(), bytes.size()),
                                host.answering.ipAddress, host.record.mgmtPort);
}

namespace {

bool SameHost(const HostView& a, const HostView& b) {
  if (a.record.hostName.str() != b.record.hostName.str()) return false;
  if (a.record.nics.size() != b.record.nics.size()) return false;
  for (std::size_t i = 0; i < a.record.nics.size(); ++i)
    if (a.record.nics[i].mac != b.record.nics[i].mac) return false;
  return true;
}

std::string Describe(const HostView& h) {
  return PrintableText(h.record.hostName.str()) + " (agent " + FormatMac(h.agentMac) + ", " +
         FormatIpv4(h.answering.ipAddress) + ")";
}

}  // namespace

std::optional<std::size_t> MatchHost(const std::vector<HostView>& hosts, std::string_view text,
                                     std::string& error) {
  std::vector<std::size_t> found;
  const auto mac = ParseMac(text);
  const auto address = ParseDottedQuad(text);
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    const HostView& h = hosts[i];
    const bool match = mac ? h.agentMac == *mac
                           : address ? (h.answering.ipAddress == *address && *address != 0)
                                     : EqualsNoCase(h.record.hostName.str(), text);
    if (match) found.push_back(i);
  }
  if (found.size() > 1) {
    bool oneHost = true;
    for (std::size_t i : found) oneHost = oneHost && SameHost(hosts[found[0]], hosts[i]);
    if (oneHost) found.resize(1);
  }
  if (found.size() == 1) return found[0];

  const std::string what = PrintableText(text);
  if (found.empty()) {
    error = "no host '" + what + "' answered";
    if (!hosts.empty()) {
      error += "; hosts found:";
      for (const HostView& h : hosts) error += "\n  " + Describe(h);
    }
  } else {
    error = "'" + what + "' names " + std::to_string(found.size()) + " hosts; give an agent MAC:";
    for (std::size_t i : found) error += "\n  " + Describe(hosts[i]);
  }
  return std::nullopt;
}
