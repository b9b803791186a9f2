#include "agent/request_loop.h"

#include <cstdlib>
#include <cstring>

#include "TaviServer.h"
#include "agent/accounts.h"
#include "agent/host_info.h"
#include "agent/host_name.h"
#include "agent/request_audit.h"
#include "agent/system_calls.h"
#include "agent/tcpip_settings.h"
#include "agent/transport_start.h"

volatile LONG agentRunning = 0;

namespace {

// The 36-byte userName field as terminated text; a name that fills the field is cut there.
void RequestUserName(const uint8_t* request, char* out /* kUserNameLength + 1 */) {
  std::memset(out, 0, kUserNameLength + 1);
  std::memcpy(out, request + FrameOffset::UserName, kUserNameLength);
}

void WriteHostRecord(const HostRecord& host, uint8_t* reply) {
  EncodeHostRecord(host, reply + FrameOffset::Host, kAgentBufferLength - FrameOffset::Host);
}

WorkKind KindOfRequest(uint32_t code) {
  switch (code) {
    case Request::ApplySettings:
    case Request::ChangePassword:
    case Request::Restart:
      return WorkKind::Logon;
    case Request::Discover:
    case Request::Team:
    case Request::Unteam:
    case Request::Refresh:
      return WorkKind::Collect;
    case Request::Poll:
      return WorkKind::Sign;  // its reply is signed
    default:
      return WorkKind::Cheap;  // codes that get no reply
  }
}

// The credential check of a request, unless the sender is in back-off or the agent's cap of
// failed checks is reached: then BadLogon without calling the logon at all.
uint16_t CheckRequestCredentials(RequestLoopState& state, const uint8_t* request,
                                 const char* userName) {
  if (!AdmitCredentialCheck(state.guard, state.sender, agentSystem.getTickCount64()))
    return Status::BadLogon;
  state.credentialsChecked = 1;
  const uint16_t status = CheckCredentials(userName, request + FrameOffset::Password);
  NoteCredentialCheck(state.guard, state.sender, status == Status::Ok,
                      agentSystem.getTickCount64());
  if (status != Status::Ok) AuditCredentialFailure(state.guard, state.sender);
  if (status == Status::Ok) TVTrustLastSender();  // its hellos keep a share under a flood
  return status;
}

uint16_t CheckRequestCredentials(RequestLoopState& state, const uint8_t* request) {
  char userName[kUserNameLength + 1];
  RequestUserName(request, userName);
  return CheckRequestCredentials(state, request, userName);
}

}  // namespace

void InitRequestLoopState(RequestLoopState& state) {
  std::memset(&state, 0, sizeof state);
  InitFloodGuard(state.guard, agentSystem.getTickCount64());
}

int HandleRequest(RequestLoopState& state, const uint8_t* request, uint8_t* reply) {
  if (std::memcmp(request, state.lastHeader, kHeaderLength) == 0) return 0;

  const uint32_t code = LoadU32(request + FrameOffset::RequestCode);
  // Dropped like a lost frame: the console's retransmission may find budget again.
  if (!AdmitRequest(state.guard, state.sender, KindOfRequest(code), agentSystem.getTickCount64()))
    return 0;

  std::memcpy(reply, request, kHeaderLength);
  StoreU16(reply + FrameOffset::FrameKind, kReplyFrameKind);

  uint16_t status = Status::Ok;
  uint8_t setupState = 0;
  state.credentialsChecked = 0;
  HostRecord host;  // collected for the codes whose reply holds a record

  switch (code) {
    case Request::Discover:
      CollectHostInfo(host);
      setupState = ComputeSetupState();
      StoreMagicNumber(host.magicNumber);
      TVSetMagicNumber(host.magicNumber);
      break;
    case Request::ApplySettings: {
      status = CheckRequestCredentials(state, request);
      HostRecord before;  // for the audit: what the change started from
      const bool admitted = status == Status::Ok;
      if (admitted) {
        CollectHostInfo(before);
        SettingsBody body;
        DecodeSettingsBody(request, kAgentBufferLength, body);
        status = ApplyHostSettings(body);
      } else {
        RevertToAgentContext();
      }
      CollectHostInfo(host);
      setupState = ComputeSetupState();
      AuditRequest(state, request, admitted ? &before : nullptr, &host, status);
      break;
    }
    case Request::ChangePassword: {
      char userName[kUserNameLength + 1];
      RequestUserName(request, userName);
      status = CheckRequestCredentials(state, request, userName);
      if (status == Status::Ok) {
        PasswordBody body;
        DecodePasswordBody(request, kAgentBufferLength, body);
        status = ChangeAccountPassword(body, userName, request + FrameOffset::Password);
        // The default password may just have been set or replaced: probe again now.
        if (status == Status::Ok) ForgetDefaultPasswordProbe();
      } else {
        RevertToAgentContext();
      }
      setupState = ComputeSetupState();
      AuditRequest(state, request, nullptr, nullptr, status);
      break;
    }
    case Request::Team:
    case Request::Unteam:
      setupState = ComputeSetupState();
      break;
    case Request::Poll:
      break;
    case Request::Restart: {
      char userName[kUserNameLength + 1];
      RequestUserName(request, userName);
      status = CheckRequestCredentials(state, request, userName);
      // Initiated before the reply, so that a failure is reported; the host goes down once
      // the notice has run, and until then the agent serves on.
      if (status == Status::Ok) status = RestartHost(userName);
      else RevertToAgentContext();
      AuditRequest(state, request, nullptr, nullptr, status);
      break;
    }
    case Request::Refresh:
      CollectHostInfo(host);
      setupState = ComputeSetupState();
      break;
    default:
      // 0, 8 and unknown codes: no reply, and the header is not remembered.
      std::memset(reply, 0, kHeaderLength);
      return 0;
  }

  if (RequestFactsOf(code).replyHoldsRecord) WriteHostRecord(host, reply);

  StoreU16(reply + FrameOffset::Status, status);
  reply[FrameOffset::SetupState] = setupState;
  std::memcpy(reply + FrameOffset::AdapterIndex, request + FrameOffset::AdapterIndex, 4);
  std::memcpy(state.lastHeader, request, kHeaderLength);
  return 1;
}

DWORD WINAPI RequestLoop(LPVOID) {
  if (!StartTransportWhenReady()) return 0;

  RequestLoopState state;
  InitRequestLoopState(state);

  uint32_t magic = 0;  // none stored yet: the first Discover sets one
  LoadMagicNumber(&magic);
  TVSetMagicNumber(magic);

  uint8_t* request = static_cast<uint8_t*>(std::malloc(kAgentBufferLength));
  uint8_t* reply = static_cast<uint8_t*>(std::malloc(kAgentBufferLength));
  if (request == nullptr || reply == nullptr) {
    std::free(request);
    std::free(reply);
    return 0;
  }

  for (;;) {
    std::memset(request, 0, kAgentBufferLength);
    std::memset(reply, 0, kAgentBufferLength);
    uint32_t length = kAgentBufferLength;
    if (!TVRecv(request, &length)) {
      if (agentRunning == 0) break;
      continue;
    }
    // Without a sender (a transport that cannot tell) every request counts as one source.
    if (!TVGetLastSender(state.sender)) std::memset(state.sender, 0, sizeof state.sender);
    int send = 0;
    try {
      send = HandleRequest(state, request, reply);
    } catch (...) {
      // Out of memory while collecting: the request goes unanswered, the loop goes on.
      RevertToAgentContext();
      send = 0;
    }
    if (!send) continue;
    if (!TVSend(reply) && agentRunning == 0) break;
  }

  std::free(request);
  std::free(reply);
  return 0;
}
