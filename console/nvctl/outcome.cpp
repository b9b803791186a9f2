#include "console/nvctl/outcome.h"

#include "console/core/host_reply.h"
#include "console/core/message_table.h"
#include "console/nvctl/settings_change.h"
#include "console/nvctl/text_rules.h"

Outcome OutcomeOf(int workResult, uint16_t status) {
  if (workResult == 0) return Outcome::TransportFailed;
  switch (status) {
    case Status::Ok: return Outcome::Applied;
    case Status::BadLogon:
    case Status::NotAdministrator:
    case Status::AccountLockedOut:
    case Status::AccountDisabled:
    case Status::PasswordExpired:
    case Status::LogonTypeNotGranted:
    case Status::AccountRestricted:
    case Status::PasswordPolicyRefused:
    case Status::AccessDenied:
    case Status::RenameRefusedDomainController:
    case Status::RenameRefusedDomainMember:
    case Status::InvalidHostName:
    case Status::HostKeyChanged:
    case Status::HostKeyNotTrusted:
    case Status::TrustStoreUnreadable: return Outcome::Refused;
    case Status::ResponseTimeout:
    case Status::OutOfMemory:
    case Status::AdapterOpenFailed: return Outcome::TransportFailed;
    default: return Outcome::Failed;
  }
}

std::string StatusText(uint16_t status) {
  return std::string(MessageText(status)) + " (status " + std::to_string(status) + ")";
}

int ExitStatusOf(Outcome outcome) {
  switch (outcome) {
    case Outcome::Applied: return ExitStatus::Ok;
    case Outcome::Refused:
    case Outcome::Failed: return ExitStatus::AgentRefused;
    case Outcome::TransportFailed: return ExitStatus::Transport;
  }
  return ExitStatus::Transport;
}

int WorseExitStatus(int a, int b) {
  auto rank = [](int s) {
    switch (s) {
      case ExitStatus::Ok: return 0;
      case ExitStatus::AgentRefused: return 1;
      case ExitStatus::Transport: return 2;
      default: return 3;  // usage
    }
  };
  return rank(a) >= rank(b) ? a : b;
}

std::string DescribeSettingsBody(const SettingsBody& body, const HostRecord& stored) {
  std::string out;
  const std::string newName = body.newHostName.str();
  out += "  name: " + (newName.empty() ? std::string("unchanged")
                                       : PrintableText(stored.hostName.str()) + " -> " +
                                             PrintableText(newName)) + "\n";
  out += "  dns: " + std::string(body.dnsStatic ? "fixed " + FormatIpv4(body.dnsServer) : "auto");
  out += (body.dnsStatic != (stored.dnsStatic != 0) ||
          (body.dnsStatic && body.dnsServer != stored.dnsServer))
             ? " (changed)\n"
             : " (unchanged)\n";
  for (const NicEntry& n : body.nics) {
    out += "  " + PrintableText(n.nicName.str()) + " " + FormatMac(n.mac) + ": " +
           ChangeMaskWords(n.changeMask);
    if (n.changeMask != 0) {
      out += n.dhcpEnabled ? std::string(" -> dhcp")
                           : " -> fixed " + FormatIpv4(n.ipAddress) + " mask " +
                                 FormatIpv4(n.subnetMask) + " gateway " + FormatIpv4(n.gateway);
    }
    out += "\n";
  }
  return out;
}
