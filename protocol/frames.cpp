// The table of request codes and the lengths it gives, the header, and the fields every
// reply carries.
#include "protocol/frames.h"

#include "protocol/field_io.h"

namespace {

constexpr Carriage kReadable = Carriage::Readable;
constexpr Carriage kSealed = Carriage::Sealed;
constexpr std::size_t kShortReply = kConsoleShortReplyLength;
constexpr std::size_t kRecordReply = kConsoleReplyBufferLength;

// Indexed by code. Whatever carries credentials travels sealed: the test of this table holds
// every code to that.
constexpr RequestFacts kFacts[] = {
    // carriage, credentials, request length, NICs, console reply, record
    {},                                                                     // 0
    {kReadable, false, kShortRequestLength, false, 0, true},                // Discover
    {kSealed, true, kSettingsRequestBaseLength, true, kRecordReply, true},  // ApplySettings
    {kSealed, true, kPasswordRequestLength, false, kShortReply, false},     // ChangePassword
    {kSealed, true, kShortRequestLength, false, kShortReply, false},        // Team
    {kSealed, true, kShortRequestLength, false, kShortReply, false},        // Unteam
    {kReadable, false, kShortRequestLength, false, kShortReply, false},     // Poll
    {kSealed, true, kShortRequestLength, false, kShortReply, false},        // Restart
    {},                                                                     // Reserved8
    {kReadable, false, kShortRequestLength, false, kRecordReply, true},     // Refresh
};
static_assert(sizeof kFacts / sizeof kFacts[0] == Request::Refresh + 1);

}  // namespace

const RequestFacts& RequestFactsOf(uint32_t requestCode) {
  static constexpr RequestFacts kDropped{};
  return requestCode < sizeof kFacts / sizeof kFacts[0] ? kFacts[requestCode] : kDropped;
}

std::size_t RequestLength(uint32_t requestCode, uint8_t nicCount) {
  const RequestFacts& facts = RequestFactsOf(requestCode);
  return facts.requestLength + (facts.requestHasNics ? kNicEntryLength * nicCount : 0);
}

std::size_t ReplyLength(uint32_t requestCode, uint8_t nicCount) {
  const RequestFacts& facts = RequestFactsOf(requestCode);
  if (facts.carriage == Carriage::None) return 0;
  return kReplyBaseLength + (facts.replyHoldsRecord ? HostRecordLength(nicCount) : 0);
}

std::size_t ConsoleReplyBufferLength(uint32_t requestCode) {
  return RequestFactsOf(requestCode).consoleReplyLength;
}

bool DecodeHeader(const uint8_t* frame, std::size_t length, FrameHeader& out) {
  if (length < kHeaderLength) return false;
  FrameHeader header;
  header.adapterIndex = LoadU32(frame + FrameOffset::AdapterIndex);
  LoadBytes(header.agentMac, frame + FrameOffset::AgentMac);
  header.frameKind = LoadU16(frame + FrameOffset::FrameKind);
  header.requestCode = LoadU32(frame + FrameOffset::RequestCode);
  LoadBytes(header.reserved, frame + FrameOffset::Reserved);
  out = header;
  return true;
}

uint16_t ReplyStatus(const uint8_t* reply, std::size_t length) {
  if (length < FrameOffset::Status + 2) return Status::ResponseTimeout;
  return LoadU16(reply + FrameOffset::Status);
}

uint8_t ReplySetupState(const uint8_t* reply, std::size_t length) {
  if (length <= FrameOffset::SetupState) return 0;
  return reply[FrameOffset::SetupState];
}

bool ReplyHostRecord(const uint8_t* reply, std::size_t length, HostRecord& out) {
  if (length < FrameOffset::Host) return false;
  return DecodeHostRecord(reply + FrameOffset::Host, length - FrameOffset::Host, out);
}
