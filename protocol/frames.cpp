// Frame lengths by code, the header, and the fields every reply carries.
#include "protocol/frames.h"

#include "protocol/field_io.h"

namespace {

bool HasHostRecord(uint32_t requestCode) {
  return requestCode == Request::Discover || requestCode == Request::ApplySettings ||
         requestCode == Request::Refresh;
}

bool IsKnownCode(uint32_t requestCode) {
  return requestCode >= Request::Discover && requestCode <= Request::Refresh &&
         requestCode != Request::Reserved8;
}

}  // namespace

std::size_t RequestLength(uint32_t requestCode, uint8_t nicCount) {
  if (!IsKnownCode(requestCode)) return 0;
  switch (requestCode) {
    case Request::ApplySettings:
      return kSettingsRequestBaseLength + kNicEntryLength * nicCount;
    case Request::ChangePassword:
      return kPasswordRequestLength;
    default:
      return kShortRequestLength;
  }
}

std::size_t ReplyLength(uint32_t requestCode, uint8_t nicCount) {
  if (!IsKnownCode(requestCode)) return 0;
  if (!HasHostRecord(requestCode)) return kReplyBaseLength;
  return kReplyBaseLength + HostRecordLength(nicCount);
}

std::size_t ConsoleReplyBufferLength(uint32_t requestCode) {
  if (!IsKnownCode(requestCode) || requestCode == Request::Discover) return 0;
  if (requestCode == Request::ApplySettings || requestCode == Request::Refresh) {
    return kConsoleReplyBufferLength;
  }
  return kConsoleShortReplyLength;
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
