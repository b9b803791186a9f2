// The agent's events for the Windows event log, as data: identifier, level and the
// insertion strings (%1, %2, ...) of the message that agent/agent_messages.mc gives each
// identifier. Portable, so that the texts are checked byte for byte on any host. Text from
// a frame (an account name) is escaped: printable ASCII only, nothing that could pose as
// a line of its own or as an insertion.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/frames.h"

namespace EventId {
constexpr uint32_t ServiceStarted = 1000;
constexpr uint32_t ServiceStopped = 1001;
constexpr uint32_t CaptureMissing = 1100;
constexpr uint32_t CaptureLoaded = 1101;
constexpr uint32_t TransportFailed = 1102;
constexpr uint32_t IdentityCreated = 1200;
constexpr uint32_t IdentityReplaced = 1201;
constexpr uint32_t SettingsRequest = 1300;
constexpr uint32_t PasswordRequest = 1301;
constexpr uint32_t RestartRequest = 1302;
constexpr uint32_t CredentialBackOff = 1400;
}  // namespace EventId

enum class EventLevel { Information, Warning, Error };

struct AgentEvent {
  uint32_t id = 0;
  EventLevel level = EventLevel::Information;
  std::vector<std::string> strings;
};

// How often the agent tries the capture library again while it is missing.
constexpr uint32_t kCaptureRetrySeconds = 10;

AgentEvent ServiceStartedEvent();
AgentEvent ServiceStoppedEvent();
// `paths`: every file looked for, in the order tried.
AgentEvent CaptureMissingEvent(const std::vector<std::string>& paths);
AgentEvent CaptureLoadedEvent(const std::string& path);
// The capture library loaded but the transport did not start (its status code).
AgentEvent TransportFailedEvent(int transportStatus);
AgentEvent IdentityEvent(bool replaced, const std::string& fingerprint);

// Authenticated requests: console MAC, the account named in the request, status, and for
// settings what changed between the host record before and after (names, addresses, DNS;
// never a password). `account` is the request's userName field as received.
AgentEvent SettingsRequestEvent(const uint8_t console[6], const std::string& account,
                                const HostRecord& before, const HostRecord& after,
                                uint16_t status);
// accountKind: the PasswordBody's account (0 the named account, 1 the management account).
AgentEvent PasswordRequestEvent(const uint8_t console[6], const std::string& account,
                                uint8_t accountKind, uint16_t status);
AgentEvent RestartRequestEvent(const uint8_t console[6], const std::string& account,
                               uint16_t status);
AgentEvent CredentialBackOffEvent(const uint8_t console[6], uint32_t failures,
                                  uint64_t backOffMs);

// The pieces, for tests and other events.
// Printable ASCII kept, except backslash, quote and percent; every other byte as \xHH;
// at most maxBytes input bytes, a longer text ends in "...".
std::string EscapeText(const std::string& text, std::size_t maxBytes = 64);
// "what changed" lines of a settings request, "no change" when nothing did.
std::string DescribeChanges(const HostRecord& before, const HostRecord& after);

// Where events go: the Application log in the service, a recorder in tests, nowhere when
// unset. Set before the worker threads start; called from any thread.
using EventSink = void (*)(const AgentEvent& event);
extern EventSink agentEventSink;
void ReportAgentEvent(const AgentEvent& event);
