#include "agent/request_audit.h"

#include <cstring>
#include <string>

#include "agent/audit_text.h"

namespace {

std::string AccountOf(const uint8_t* request) {
  const char* field = reinterpret_cast<const char*>(request + FrameOffset::UserName);
  std::size_t n = 0;
  while (n < kUserNameLength && field[n] != '\0') ++n;
  return std::string(field, n);
}

}  // namespace

void AuditRequest(const RequestLoopState& state, const uint8_t* request,
                  const HostRecord* before, const HostRecord* after, uint16_t status) {
  if (!state.credentialsChecked) return;
  const std::string account = AccountOf(request);
  switch (LoadU32(request + FrameOffset::RequestCode)) {
    case Request::ApplySettings: {
      const HostRecord empty;
      const HostRecord& now = after != nullptr ? *after : empty;
      ReportAgentEvent(SettingsRequestEvent(state.sender, account,
                                            before != nullptr ? *before : now, now, status));
      break;
    }
    case Request::ChangePassword: {
      PasswordBody body;
      DecodePasswordBody(request, kAgentBufferLength, body);
      body.newPassword.bytes.fill('\0');
      body.confirmPassword.bytes.fill('\0');
      ReportAgentEvent(PasswordRequestEvent(state.sender, account, body.account, status));
      break;
    }
    case Request::Restart:
      ReportAgentEvent(RestartRequestEvent(state.sender, account, status));
      break;
    default:
      break;
  }
}

void AuditCredentialFailure(const FloodGuard& guard, const uint8_t sender[6]) {
  for (const SourceEntry& source : guard.sources) {
    if (!source.inUse || std::memcmp(source.mac, sender, 6) != 0) continue;
    // The first failure that costs a back-off: later ones only lengthen it.
    if (BackOffMs(source.failures) != 0 && BackOffMs(source.failures - 1) == 0)
      ReportAgentEvent(CredentialBackOffEvent(sender, source.failures, BackOffMs(source.failures)));
    return;
  }
}
