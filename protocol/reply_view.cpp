#include "protocol/reply_view.h"

#include <algorithm>
#include <cstring>

#include "protocol/field_io.h"

ReplyView::ReplyView(const uint8_t* reply, std::size_t length)
    : bytes_(reply), length_(reply ? length : 0) {
  const std::size_t recordEnd = FrameOffset::Host + kHostRecordBaseLength;
  hasRecord_ = length_ >= recordEnd;
  if (hasRecord_) {
    const std::size_t whole = (length_ - recordEnd) / kNicEntryLength;
    entries_ = std::min<std::size_t>(bytes_[FrameOffset::Host + RecordOffset::NicCount], whole);
  }
}

ReplyView ReplyView::Delivered(const uint8_t* reply) {
  if (!reply) return ReplyView();
  const std::size_t count = std::min<std::size_t>(
      reply[FrameOffset::Host + RecordOffset::NicCount], kConsoleNicCapacity);
  return ReplyView(reply, kReplyBaseLength + HostRecordLength(count));
}

FrameHeader ReplyView::Header() const {
  FrameHeader header;
  DecodeHeader(bytes_, length_, header);
  return header;
}

Mac ReplyView::SenderMac() const {
  Mac mac{};
  if (HasFields()) LoadBytes(mac, bytes_ + FrameOffset::AgentMac);
  return mac;
}

uint16_t ReplyView::Status() const { return ReplyStatus(bytes_, length_); }

uint8_t ReplyView::SetupState() const { return ReplySetupState(bytes_, length_); }

bool ReplyView::HoldsAgentRecord() const {
  if (!hasRecord_) return false;
  const uint16_t status = Status();
  return status != Status::BadLogon && status != Status::NotAdministrator &&
         status != Status::ResponseTimeout && status != Status::OutOfMemory &&
         status < Status::FirstConsoleCode;
}

HostRecord ReplyView::Record() const {
  HostRecord record;
  if (hasRecord_) DecodeHostRecord(RecordBytes(), length_ - FrameOffset::Host, record);
  return record;
}

uint8_t ReplyView::NicCount() const {
  return hasRecord_ ? RecordBytes()[RecordOffset::NicCount] : 0;
}

const uint8_t* ReplyView::NicBytes(std::size_t index) const {
  if (index >= entries_) return nullptr;
  return RecordBytes() + RecordOffset::Nics + index * kNicEntryLength;
}

std::optional<NicEntry> ReplyView::Nic(std::size_t index) const {
  const uint8_t* nic = NicBytes(index);
  if (!nic) return std::nullopt;
  return DecodeNicEntry(nic);
}

uint32_t ReplyView::MagicNumber() const {
  return hasRecord_ ? LoadU32(RecordBytes() + RecordOffset::MagicNumber) : 0;
}

uint16_t ReplyView::MgmtPort() const {
  return hasRecord_ ? LoadU16(RecordBytes() + RecordOffset::MgmtPort) : 0;
}

uint32_t ReplyView::DnsServer() const {
  return hasRecord_ ? LoadU32(RecordBytes() + RecordOffset::DnsServer) : 0;
}

uint8_t ReplyView::DnsStatic() const {
  return hasRecord_ ? RecordBytes()[RecordOffset::DnsStatic] : 0;
}

bool ReplyView::NameChangePending() const {
  return hasRecord_ && RecordBytes()[RecordOffset::NameChangePending] != 0;
}

OsInfo ReplyView::Os() const {
  return hasRecord_ ? DecodeOsInfo(RecordBytes() + RecordOffset::OsInfo) : OsInfo{};
}

std::optional<std::size_t> ReplyView::AnsweringIndex() const {
  const Mac sender = SenderMac();
  if (sender == Mac{}) return std::nullopt;
  for (std::size_t i = 0; i < entries_; ++i) {
    if (std::memcmp(NicBytes(i) + NicOffset::Mac, sender.data(), sender.size()) == 0) return i;
  }
  return std::nullopt;
}

std::optional<NicEntry> ReplyView::AnsweringNic() const {
  const std::optional<std::size_t> index = AnsweringIndex();
  if (!index) return std::nullopt;
  return Nic(*index);
}

uint32_t ReplyView::AnsweringAddress() const {
  const std::optional<NicEntry> nic = AnsweringNic();
  return nic ? nic->ipAddress : 0;
}

const uint8_t* ReplyView::AnsweringNicBytes() const {
  const std::optional<std::size_t> index = AnsweringIndex();
  return index ? NicBytes(*index) : nullptr;
}

bool StoreReplyNic(uint8_t* reply, std::size_t length, std::size_t index, const NicEntry& nic) {
  if (!reply || index >= ReplyView(reply, length).EntryCount()) return false;
  EncodeNicEntry(nic, reply + FrameOffset::Host + RecordOffset::Nics + index * kNicEntryLength);
  return true;
}

bool StoreReplyDnsStatic(uint8_t* reply, std::size_t length, uint8_t dnsStatic) {
  if (!reply || !ReplyView(reply, length).HasRecord()) return false;
  reply[FrameOffset::Host + RecordOffset::DnsStatic] = dnsStatic;
  return true;
}

bool StoreReplySetupState(uint8_t* reply, std::size_t length, uint8_t setupState) {
  if (!reply || length <= FrameOffset::SetupState) return false;
  reply[FrameOffset::SetupState] = setupState;
  return true;
}

bool StoreReplyRecord(uint8_t* reply, std::size_t length, const HostRecord& record) {
  if (!reply || length < FrameOffset::Host) return false;
  return EncodeHostRecord(record, reply + FrameOffset::Host, length - FrameOffset::Host) != 0;
}

std::size_t BuiltRequestLength(const uint8_t* request) {
  if (!request) return 0;
  const uint32_t code = LoadU32(request + FrameOffset::RequestCode);
  const uint8_t nicCount =
      code == Request::ApplySettings ? request[SettingsOffset::NicCount] : 0;
  return RequestLength(code, nicCount);
}
