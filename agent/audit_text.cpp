#include "agent/audit_text.h"

#include <cstdio>

#include "protocol/ipv4.h"

EventSink agentEventSink = nullptr;

void ReportAgentEvent(const AgentEvent& event) {
  if (agentEventSink != nullptr) agentEventSink(event);
}

namespace {

const char kLineBreak[] = "\r\n";

AgentEvent Make(uint32_t id, EventLevel level, std::vector<std::string> strings) {
  AgentEvent event;
  event.id = id;
  event.level = level;
  event.strings = std::move(strings);
  return event;
}

std::string Quoted(const std::string& text) { return "\"" + EscapeText(text) + "\""; }

// Credentials refused (wrong password, no administrator, locked out) are what an audit
// looks for; any other failure is a warning too, success is information.
EventLevel LevelOf(uint16_t status) {
  return status == Status::Ok ? EventLevel::Information : EventLevel::Warning;
}

std::string StatusText(uint16_t status) {
  switch (status) {
    case Status::Ok: return "0 (done)";
    case Status::BadLogon: return "1 (logon refused)";
    case Status::SettingFailed: return "2 (setting failed)";
    case Status::IpConflict: return "4 (address conflict)";
    case Status::PasswordTooShort: return "7 (password refused by policy)";
    case Status::ManagementRestartFailed: return "8 (management restart failed)";
    case Status::NotAdministrator: return "9 (not an administrator)";
    case Status::OutOfMemory: return "17 (out of memory)";
    case Status::AccountLockedOut: return "18 (account locked out)";
    default: return std::to_string(status);
  }
}

std::string AdapterSettings(const NicEntry& nic) {
  if (nic.dhcpEnabled) return "DHCP";
  return FormatIpv4(nic.ipAddress) + " mask " + FormatIpv4(nic.subnetMask) + " gateway " +
         FormatIpv4(nic.gateway);
}

std::string DnsSettings(const HostRecord& host) {
  return FormatIpv4(host.dnsServer) + (host.dnsStatic ? " (static)" : " (automatic)");
}

const NicEntry* FindByMac(const HostRecord& host, const Mac& mac) {
  for (const NicEntry& nic : host.nics)
    if (nic.mac == mac) return &nic;
  return nullptr;
}

}  // namespace

std::string EscapeText(const std::string& text, std::size_t maxBytes) {
  std::string out;
  const std::size_t n = text.size() < maxBytes ? text.size() : maxBytes;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"' && c != '%') {
      out += static_cast<char>(c);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  if (text.size() > maxBytes) out += "...";
  return out;
}

std::string DescribeChanges(const HostRecord& before, const HostRecord& after) {
  std::string out;
  auto line = [&out](const std::string& text) {
    if (!out.empty()) out += kLineBreak;
    out += text;
  };
  if (before.hostName != after.hostName)
    line("host name " + Quoted(before.hostName.str()) + " -> " + Quoted(after.hostName.str()));
  if (before.dnsServer != after.dnsServer || before.dnsStatic != after.dnsStatic)
    line("DNS server " + DnsSettings(before) + " -> " + DnsSettings(after));
  // Adapters are matched by MAC: slot numbers follow the interface table and may shift.
  for (const NicEntry& nic : after.nics) {
    const NicEntry* old = FindByMac(before, nic.mac);
    const std::string name = "adapter " + FormatMac(nic.mac, '-') + " " + Quoted(nic.nicName.str());
    if (old == nullptr) {
      line(name + " appeared: " + AdapterSettings(nic));
    } else if (AdapterSettings(*old) != AdapterSettings(nic)) {
      line(name + " " + AdapterSettings(*old) + " -> " + AdapterSettings(nic));
    }
  }
  for (const NicEntry& nic : before.nics)
    if (FindByMac(after, nic.mac) == nullptr)
      line("adapter " + FormatMac(nic.mac, '-') + " " + Quoted(nic.nicName.str()) + " went away");
  return out.empty() ? "no change" : out;
}

AgentEvent ServiceStartedEvent() { return Make(EventId::ServiceStarted, EventLevel::Information, {}); }

AgentEvent ServiceStoppedEvent() { return Make(EventId::ServiceStopped, EventLevel::Information, {}); }

AgentEvent CaptureMissingEvent(const std::vector<std::string>& paths) {
  std::string where;
  for (const std::string& path : paths) {
    if (!where.empty()) where += kLineBreak;
    where += path;
  }
  if (where.empty()) where = "(no system directory)";
  return Make(EventId::CaptureMissing, EventLevel::Error,
              {where, std::to_string(kCaptureRetrySeconds)});
}

AgentEvent CaptureLoadedEvent(const std::string& path) {
  return Make(EventId::CaptureLoaded, EventLevel::Information, {path});
}

AgentEvent TransportFailedEvent(int transportStatus) {
  return Make(EventId::TransportFailed, EventLevel::Error,
              {std::to_string(transportStatus), std::to_string(kCaptureRetrySeconds)});
}

AgentEvent IdentityEvent(bool replaced, const std::string& fingerprint) {
  return Make(replaced ? EventId::IdentityReplaced : EventId::IdentityCreated,
              replaced ? EventLevel::Warning : EventLevel::Information, {fingerprint});
}

AgentEvent SettingsRequestEvent(const uint8_t console[6], const std::string& account,
                                const HostRecord& before, const HostRecord& after,
                                uint16_t status) {
  return Make(EventId::SettingsRequest, LevelOf(status),
              {FormatMac(MacAt(console), '-'), Quoted(account), StatusText(status),
               DescribeChanges(before, after)});
}

AgentEvent PasswordRequestEvent(const uint8_t console[6], const std::string& account,
                                uint8_t accountKind, uint16_t status) {
  const std::string target = accountKind == 1 ? "the management account" : Quoted(account);
  return Make(EventId::PasswordRequest, LevelOf(status),
              {FormatMac(MacAt(console), '-'), Quoted(account), StatusText(status), target});
}

AgentEvent RestartRequestEvent(const uint8_t console[6], const std::string& account,
                               uint16_t status) {
  return Make(EventId::RestartRequest, LevelOf(status),
              {FormatMac(MacAt(console), '-'), Quoted(account), StatusText(status)});
}

AgentEvent CredentialBackOffEvent(const uint8_t console[6], uint32_t failures,
                                  uint64_t backOffMs) {
  return Make(EventId::CredentialBackOff, EventLevel::Warning,
              {FormatMac(MacAt(console), '-'), std::to_string(failures),
               std::to_string((backOffMs + 999) / 1000)});
}
