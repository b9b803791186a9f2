// A typed, read-only view of one host reply: the 24-byte header, status and setupState, and
// for Discover, ApplySettings and Refresh replies the host record with its adapter entries.
//
// Use it wherever a reply is read, whatever holds the bytes (a list row, the transport's
// packet list, a 596-byte reply buffer):
//
//   ReplyView reply(bytes, length);          // the one bounds check
//   if (!reply.HasRecord()) ...              // too short for a host record
//   HostRecord host = reply.Record();        // every field, nics = the entries held
//   std::optional<NicEntry> nic = reply.AnsweringNic();  // the adapter that answered
//
// The length is checked once, when the view is made. Afterwards every accessor reads only
// bytes known to be there and gives a zero value for a part the bytes do not hold; nicCount
// never sizes a read (EntryCount() counts whole entries present). The view does not own the
// bytes: they must outlive it and not change size under it. Portable (no platform headers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "protocol/frames.h"

class ReplyView {
 public:
  ReplyView() = default;  // holds nothing
  ReplyView(const uint8_t* reply, std::size_t length);
  explicit ReplyView(const std::vector<uint8_t>& reply) : ReplyView(reply.data(), reply.size()) {}

  // A discovery reply as the client transport hands it over: it holds the whole reply its
  // nicCount announces, up to the ten entries of a console reply buffer.
  static ReplyView Delivered(const uint8_t* reply);

  const uint8_t* data() const { return bytes_; }
  std::size_t length() const { return length_; }

  // --- Reply fields: header, status and setupState (27 bytes) -------------------------------
  bool HasFields() const { return length_ >= kReplyBaseLength; }
  FrameHeader Header() const;      // zero header when absent
  Mac SenderMac() const;    // bytes 4..9: the agent adapter that answered
  uint16_t Status() const;         // ResponseTimeout (3) when the bytes end before it
  uint8_t SetupState() const;      // 0 when absent

  // --- Host record (frame offset 27) --------------------------------------------------------
  bool HasRecord() const { return hasRecord_; }
  // The bytes hold a record the agent sent, to be taken over as the host's stored reply: a
  // record is there and the status is neither a refusal of the credentials (BadLogon,
  // NotAdministrator: the console keeps its copy) nor one the client transport writes when no
  // reply came (time-out, out of memory, the console-local codes such as the host-key
  // refusals), which leaves the rest of the buffer as the caller filled it.
  bool HoldsAgentRecord() const;
  HostRecord Record() const;       // empty record when absent; nics = the entries held
  uint8_t NicCount() const;        // as sent, which may exceed EntryCount()
  std::size_t EntryCount() const { return entries_; }
  std::optional<NicEntry> Nic(std::size_t index) const;  // none beyond EntryCount()
  // Single fields that callers read alone (all 0 when there is no record).
  uint32_t MagicNumber() const;
  uint16_t MgmtPort() const;
  uint32_t DnsServer() const;
  uint8_t DnsStatic() const;
  bool NameChangePending() const;  // a rename waits for the restart
  OsInfo Os() const;

  // The entry whose mac equals SenderMac(): the adapter that answered. None when the sender
  // is all zero or no held entry matches.
  std::optional<std::size_t> AnsweringIndex() const;
  std::optional<NicEntry> AnsweringNic() const;
  // Its address, 0 when there is no such entry: the "IP" column and the management address.
  uint32_t AnsweringAddress() const;
  // The raw 44 bytes of that entry, inside the viewed buffer (what TVGetMACData returns).
  const uint8_t* AnsweringNicBytes() const;

 private:
  const uint8_t* RecordBytes() const { return bytes_ + FrameOffset::Host; }
  const uint8_t* NicBytes(std::size_t index) const;

  const uint8_t* bytes_ = nullptr;
  std::size_t length_ = 0;
  bool hasRecord_ = false;
  std::size_t entries_ = 0;
};

// --- Writing into a reply buffer the caller owns (the console's working copy) ----------------
// Each returns false and writes nothing when the field or entry lies outside the buffer or,
// for an entry, beyond the entries the buffer holds.
bool StoreReplyNic(uint8_t* reply, std::size_t length, std::size_t index, const NicEntry& nic);
bool StoreReplyDnsStatic(uint8_t* reply, std::size_t length, uint8_t dnsStatic);
bool StoreReplySetupState(uint8_t* reply, std::size_t length, uint8_t setupState);
// The whole record as EncodeHostRecord writes it, at offset 27.
bool StoreReplyRecord(uint8_t* reply, std::size_t length, const HostRecord& record);

// The length of a request the console built, read from the request itself: its code, and
// for ApplySettings the body's nicCount. The caller guarantees the buffer is at least as long
// as its code implies (a request from the builders in frames.h); 0 for an unknown code.
std::size_t BuiltRequestLength(const uint8_t* request);
