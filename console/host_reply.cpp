#include "console/host_reply.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "console/os_names.h"

uint8_t ReplyNicCount(const uint8_t* reply, std::size_t length) {
  if (!reply || length <= ReplyOffset::NicCount) return 0;
  return reply[ReplyOffset::NicCount];
}

std::vector<uint8_t> MakeStoredReply(const uint8_t* frame, std::size_t available) {
  if (!frame || available < WireReplyLength(0)) return {};
  std::size_t nicCount = std::min<std::size_t>(frame[ReplyOffset::NicCount], kConsoleNicCapacity);
  // Entries the frame does not actually hold are not invented: the count follows the bytes.
  std::size_t present = (available - WireReplyLength(0)) / kNicEntryLength;
  nicCount = std::min(nicCount, present);
  std::vector<uint8_t> stored(StoredReplyLength(nicCount), 0);
  std::memcpy(stored.data(), frame, WireReplyLength(nicCount));
  stored[ReplyOffset::NicCount] = static_cast<uint8_t>(nicCount);
  return stored;
}

bool CopyHostRecord(std::vector<uint8_t>& stored, const uint8_t* frame, std::size_t available) {
  std::vector<uint8_t> fresh = MakeStoredReply(frame, available);
  if (fresh.empty()) return false;
  if (stored.size() >= ReplyOffset::KeptWord + 4) {
    std::memcpy(fresh.data() + ReplyOffset::KeptWord, stored.data() + ReplyOffset::KeptWord, 4);
  }
  stored.swap(fresh);
  return true;
}

int StatusImage(uint8_t setupState) {
  if (setupState == 0) return 2;
  int highest = 0;
  for (int bit = 0; bit < 8; ++bit) {
    if (setupState & (1u << bit)) highest = bit;
  }
  // The image list has four status discs; states beyond bit 2 show the last one.
  return std::min(3 + highest, 5);
}

bool ReadReplyNic(const uint8_t* reply, std::size_t length, int index, NicEntry& out) {
  if (!reply || index < 0 || index >= ReplyNicCount(reply, length)) return false;
  std::size_t offset = ReplyOffset::Nics + kNicEntryLength * static_cast<std::size_t>(index);
  if (offset + kNicEntryLength > length) return false;
  out = DecodeNicEntry(reply + offset);
  return true;
}

bool WriteReplyNic(uint8_t* reply, std::size_t length, int index, const NicEntry& entry) {
  if (!reply || index < 0 || index >= ReplyNicCount(reply, length)) return false;
  std::size_t offset = ReplyOffset::Nics + kNicEntryLength * static_cast<std::size_t>(index);
  if (offset + kNicEntryLength > length) return false;
  EncodeNicEntry(entry, reply + offset);
  return true;
}

bool WriteReplyHostRecord(uint8_t* reply, std::size_t length, const HostRecord& record) {
  if (!reply || length < FrameOffset::Host) return false;
  return EncodeHostRecord(record, reply + FrameOffset::Host, length - FrameOffset::Host) != 0;
}

std::string FormatMac(const MacAddress& mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2],
                mac[3], mac[4], mac[5]);
  return text;
}

std::string AddressColumnText(uint32_t ipAddress, const std::string& nicName) {
  std::string text = FormatIpv4(ipAddress) + "/" + nicName.substr(0, 19);
  if (text.size() > 32) text.resize(32);
  return text;
}

namespace {

// Byte-wise, case-sensitive, over at most `width` characters; stops at the shorter end.
int CompareField(const uint8_t* a, std::size_t aLength, const uint8_t* b, std::size_t bLength,
                 std::size_t offset, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) {
    int ca = offset + i < aLength ? a[offset + i] : 0;
    int cb = offset + i < bLength ? b[offset + i] : 0;
    if (ca != cb) return ca - cb;
    if (ca == 0) break;
  }
  return 0;
}

int Sign(long long value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

OsInfo ReadOsInfo(const HostSortKey& key) {
  if (!key.reply || key.length < ReplyOffset::OsInfo + kOsInfoLength) return OsInfo{};
  return DecodeOsInfo(key.reply + ReplyOffset::OsInfo);
}

uint8_t ByteAt(const HostSortKey& key, std::size_t offset) {
  return key.reply && offset < key.length ? key.reply[offset] : 0;
}

}  // namespace

int CompareHostsAscending(const HostSortKey& a, const HostSortKey& b, int column) {
  switch (column) {
    case 0:
      return ByteAt(a, FrameOffset::SetupState) - ByteAt(b, FrameOffset::SetupState);
    case 1:
      return CompareField(a.reply, a.length, b.reply, b.length, ReplyOffset::HostName, 32);
    case 2:
      return CompareField(a.reply, a.length, b.reply, b.length, ReplyOffset::ModelName, 16);
    case 3:  // strcmp compares as unsigned characters
      return Sign(std::strcmp(OsShortName(ReadOsInfo(a)), OsShortName(ReadOsInfo(b))));
    case 4:
      return ByteAt(a, ReplyOffset::NicCount) - ByteAt(b, ReplyOffset::NicCount);
    case 5:
      return a.answeringAddress < b.answeringAddress ? -1
             : a.answeringAddress > b.answeringAddress ? 1 : 0;
    default:
      return 0;
  }
}
