#include "console/core/host_reply.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "console/core/os_names.h"

std::vector<uint8_t> MakeStoredReply(const uint8_t* frame, std::size_t available) {
  const ReplyView reply(frame, available);
  if (!reply.HasRecord()) return {};
  // Entries the frame does not actually hold are not invented: the count follows the bytes.
  HostRecord record = reply.Record();
  if (record.nics.size() > kConsoleNicCapacity) record.nics.resize(kConsoleNicCapacity);
  record.nicCount = static_cast<uint8_t>(record.nics.size());
  std::vector<uint8_t> stored(StoredReplyLength(record.nics.size()), 0);
  std::memcpy(stored.data(), frame, kReplyBaseLength);
  StoreReplyRecord(stored.data(), stored.size(), record);
  return stored;
}

bool CopyHostRecord(std::vector<uint8_t>& stored, const uint8_t* frame, std::size_t available) {
  std::vector<uint8_t> fresh = MakeStoredReply(frame, available);
  if (fresh.empty()) return false;
  if (stored.size() >= kKeptWordOffset + 4) {
    std::memcpy(fresh.data() + kKeptWordOffset, stored.data() + kKeptWordOffset, 4);
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

std::string AddressColumnText(uint32_t ipAddress, const std::string& nicName) {
  std::string text = FormatIpv4(ipAddress) + "/" + nicName.substr(0, 19);
  if (text.size() > 32) text.resize(32);
  return text;
}

namespace {

// Byte-wise, case-sensitive, over at most the field's width; stops at the shorter end.
template <std::size_t N>
int CompareText(const FixedText<N>& a, const FixedText<N>& b, std::size_t width) {
  for (std::size_t i = 0; i < width && i < N; ++i) {
    const int ca = static_cast<unsigned char>(a.bytes[i]);
    const int cb = static_cast<unsigned char>(b.bytes[i]);
    if (ca != cb) return ca - cb;
    if (ca == 0) break;
  }
  return 0;
}

int Sign(long long value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

}  // namespace

int CompareHostsAscending(const ReplyView& a, const ReplyView& b, int column) {
  switch (column) {
    case 0:
      return a.SetupState() - b.SetupState();
    case 1:
      return CompareText(a.Record().hostName, b.Record().hostName, kHostNameMaxChars);
    case 2:
      return CompareText(a.Record().modelName, b.Record().modelName, 16);
    case 3:  // strcmp compares as unsigned characters
      return Sign(std::strcmp(OsShortName(a.Os()), OsShortName(b.Os())));
    case 4:
      return a.NicCount() - b.NicCount();
    case 5: {
      const uint32_t x = a.AnsweringAddress();
      const uint32_t y = b.AnsweringAddress();
      return x < y ? -1 : x > y ? 1 : 0;
    }
    default:
      return 0;
  }
}
