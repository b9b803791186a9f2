#include "console/core/message_table.h"

#include "protocol/frames.h"

const char* MessageText(unsigned code) {
  switch (code) {
    case Status::BadLogon: return "Unknown username or bad password";
    case Status::SettingFailed: return "Setting failed";
    case Status::ResponseTimeout: return "Receive response timed out";
    case Status::IpConflict: return "IP conflict";
    case Status::PasswordTooShort: return "Password is too short (to Linux, it can not be empty)";
    case Status::ManagementRestartFailed: return "Failed to restart RIDO";
    case Status::NotAdministrator: return "Account has no administrator privilege";
    case Status::OutOfMemory: return "No enough memory";
    case Status::AccountLockedOut: return "Account is locked out";
    case Status::AccountDisabled: return "Account is disabled";
    case Status::PasswordExpired: return "Password has expired or must be changed at the host";
    case Status::LogonTypeNotGranted:
      return "Account is not allowed to log on as a batch job on the host";
    case Status::AccountRestricted:
      return "Account restrictions refuse the logon (blank password, logon hours or workstation)";
    case Status::PasswordPolicyRefused:
      return "Password refused by the host's policy (length, complexity, history or age)";
    case Status::AccessDenied: return "Access denied";
    case Status::AccountNotFound: return "Account not found on the host";
    case Status::RenameRefusedDomainController:
      return "Host is a domain controller, it can not be renamed from here";
    case Status::RenameRefusedDomainMember:
      return "Host is a domain member, renaming it needs domain credentials, which are never sent";
    case Status::InvalidHostName:
      return "Invalid host name (1 to 15 letters, digits or hyphens, not only digits)";
    case Status::RestartFailed: return "Restart failed, the host keeps running";
    case Status::DriverLoadFailed: return "Loading driver failed";
    case Status::NoServerFound: return "Can not find any Orvane server";
    case Status::HostNameTooShort: return "Hostname can not be less than 2 letters";
    case Status::AdapterOpenFailed: return "Open adapter card failed";
    case Status::NicChanged: return "NIC changed, the client would be closed";
    case Status::HostKeyChanged: return "Host key changed, nothing was sent to the host";
    case Status::HostKeyNotTrusted: return "Host key not trusted, nothing was sent to the host";
    case Status::LaunchRefused:
      return "Launch refused, the management address is not a plain http or https page";
    case Status::TooManyHosts: return "Too many servers answered, only the first 4096 are listed";
    case Status::SegmentFlooded: return "Replies could not be checked: the segment is flooded";
    case Status::TrustStoreUnreadable:
      return "Trust store can not be read, no key was pinned and nothing was sent to the host";
    case Status::HostKeyChangedSinceShown:
      return "Host key changed since it was shown, no key was pinned";
    case Status::TrustStoreNotWritten: return "Trust store can not be written, no key was pinned";
    default: return "Unknown error";
  }
}

std::string FloodedText(unsigned long count) {
  return std::to_string(count) + (count == 1 ? " reply" : " replies") +
         " could not be checked: the segment is flooded";
}
