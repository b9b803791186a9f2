// A host's stored reply as the console keeps it: the reply frame of a Discover, ApplySettings
// or Refresh (header, status, setupState, host record), 156 + 44 x nicCount bytes with at most
// ten NIC entries. Fields are read through ReplyView (protocol/reply_view.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/frames.h"
#include "protocol/reply_view.h"

// Bytes 20..23, inside the header's reserved field: kept by a row across every refresh.
constexpr std::size_t kKeptWordOffset = 20;

// (39 + 11 x nicCount) x 4: the reply plus one spare byte, as the rows keep it.
constexpr std::size_t StoredReplyLength(std::size_t nicCount) {
  return 156 + kNicEntryLength * nicCount;
}

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

// The "IP" column: "%s/%s" of the dotted address and the adapter name, at most 32 chars.
std::string AddressColumnText(uint32_t ipAddress, const std::string& nicName);

// Ascending comparison of two rows' stored replies on `column` 0..5 (negative: a first).
// Column 5 compares the answering adapters' addresses.
int CompareHostsAscending(const ReplyView& a, const ReplyView& b, int column);
