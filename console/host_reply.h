// A host's stored reply as the console keeps it: the reply frame of a Discover, ApplySettings
// or Refresh (header, status, setupState, host record), 156 + 44 x nicCount bytes with at most
// ten NIC entries. Field access goes through the frame codecs with explicit bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/frames.h"

// Frame offsets of host record fields the console touches byte-wise.
namespace ReplyOffset {
constexpr std::size_t HostName = FrameOffset::Host + 0;
constexpr std::size_t ModelName = FrameOffset::Host + 36;
constexpr std::size_t NameChangePending = FrameOffset::Host + 56;
constexpr std::size_t MgmtAgentType = FrameOffset::Host + 57;
constexpr std::size_t MgmtPort = FrameOffset::Host + 58;
constexpr std::size_t DnsServer = FrameOffset::Host + 96;
constexpr std::size_t DnsStatic = FrameOffset::Host + 100;
constexpr std::size_t MagicNumber = FrameOffset::Host + 104;
constexpr std::size_t OsInfo = FrameOffset::Host + 108;
constexpr std::size_t NicCount = FrameOffset::Host + 124;
constexpr std::size_t Nics = FrameOffset::Host + 128;
// Four bytes inside the header's reserved field that survive every refresh of a row.
constexpr std::size_t KeptWord = 20;
}  // namespace ReplyOffset

// (39 + 11 x nicCount) x 4: the reply plus one spare byte, as the rows keep it.
constexpr std::size_t StoredReplyLength(std::size_t nicCount) {
  return 156 + kNicEntryLength * nicCount;
}
// Bytes a reply with nicCount entries occupies on the wire.
constexpr std::size_t WireReplyLength(std::size_t nicCount) {
  return kReplyBaseLength + kHostRecordBaseLength + kNicEntryLength * nicCount;
}

// nicCount as stored in a reply; 0 when the reply is too short to hold it.
uint8_t ReplyNicCount(const uint8_t* reply, std::size_t length);

// A row's copy of a received reply. `available` is how many bytes of `frame` may be read.
// A host reporting more than ten adapters keeps its first ten (nicCount is cut to 10), so
// every later access and request stays within the console's 596-byte buffers. Empty when
// the frame is too short for a host record.
std::vector<uint8_t> MakeStoredReply(const uint8_t* frame, std::size_t available);

// Takes a newer reply into a row's stored reply: resized when the adapter count changed,
// the word at offset 20 kept. Returns false (stored reply unchanged) when `frame` is too
// short for a host record.
bool CopyHostRecord(std::vector<uint8_t>& stored, const uint8_t* frame, std::size_t available);

// Images of the list's image list.
constexpr int kSortAscendingImage = 0;
constexpr int kSortDescendingImage = 1;
constexpr int kFirstBusyImage = 6;  // 6..9: the four gear frames

// The list image of a setupState: 2 for 0, else 3 + the position of the highest set bit.
int StatusImage(uint8_t setupState);

// NIC entry `index` of a reply; false when the reply has no such entry.
bool ReadReplyNic(const uint8_t* reply, std::size_t length, int index, NicEntry& out);
// Writes NIC entry `index` of a reply; false when it lies beyond nicCount or the buffer.
bool WriteReplyNic(uint8_t* reply, std::size_t length, int index, const NicEntry& entry);
// Writes a whole host record (as EncodeHostRecord) at offset 27.
bool WriteReplyHostRecord(uint8_t* reply, std::size_t length, const HostRecord& record);

// "%02X:%02X:%02X:%02X:%02X:%02X".
std::string FormatMac(const MacAddress& mac);
// The "IP" column: "%s/%s" of the dotted address and the adapter name, at most 32 chars.
std::string AddressColumnText(uint32_t ipAddress, const std::string& nicName);

// What the list comparators look at for one row.
struct HostSortKey {
  const uint8_t* reply = nullptr;
  std::size_t length = 0;
  uint32_t answeringAddress = 0;  // ipAddress of the entry the transport names for the reply
};
// Ascending comparison of two rows on `column` 0..5 (negative: a first).
int CompareHostsAscending(const HostSortKey& a, const HostSortKey& b, int column);
