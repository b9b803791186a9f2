// One change of a host's settings as nvctl takes it from its options or from a row of an
// apply file, checked once, then laid over the host's stored record the way the dialog
// console's panel edits it, so that the request is built by the same BuildSettingsBody.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/frames.h"

// The texts of one change, as typed; empty = not given.
struct ChangeText {
  std::string nic;      // adapter number N (NIC<N>) or "NIC<N>"
  std::string mac;      // adapter MAC
  std::string mode;     // "dhcp", "static" or empty
  std::string address;  // ADDRESS or ADDRESS/PREFIX
  std::string mask;     // dotted mask or prefix length
  std::string gateway;
  std::string dns;      // ADDRESS, "auto" or empty
  std::string name;     // new host name
};

// Which part of a change an error is about, so that each caller can name its own argument
// or column.
enum class ChangeField { Nic, NicMac, Mode, Address, Mask, Gateway, Dns, Name, Whole };

struct SettingsChange {
  std::optional<int> slot;           // adapter slot (NIC1 = 0)
  std::optional<Mac> mac;
  enum class Mode { Keep, Dhcp, Static } mode = Mode::Keep;
  uint32_t address = 0;
  uint32_t mask = 0;
  std::optional<uint32_t> gateway;   // kept as received when not given
  enum class Dns { Keep, Static, Auto } dns = Dns::Keep;
  uint32_t dnsServer = 0;
  std::string newName;               // empty: keep

  bool ChangesAdapter() const { return mode != Mode::Keep; }
  bool Empty() const { return mode == Mode::Keep && dns == Dns::Keep && newName.empty(); }
};

struct ChangeError {
  ChangeField field = ChangeField::Whole;
  std::string message;
};

// Strict dotted decimal: four parts 0..255, no leading zeros, nothing else. User input only;
// frames are read with ParseIpv4's inet_addr rules.
std::optional<uint32_t> ParseDottedQuad(std::string_view text);
// A prefix length 1..32 ("24" or "/24") or a dotted mask with contiguous ones.
std::optional<uint32_t> ParseMaskOrPrefix(std::string_view text);

// Checks the texts and fills `out`; false with the first fault in `error`.
bool ParseChange(const ChangeText& text, SettingsChange& out, ChangeError& error);

// The panel's edit of the stored record: the chosen adapter (by slot or MAC; when neither is
// given, the host's only adapter or the one that answered) switched to DHCP or to the given
// fixed address, the DNS mode and server, the new name. False with a message when the record
// has no such adapter, or automatic DNS is asked for a host without a DHCP adapter.
bool ApplyChangeToRecord(const HostRecord& stored, const NicEntry& answering,
                         const SettingsChange& change, HostRecord& edited, std::string& error);

// The change bits of one SettingsBody entry in words: "none" or e.g. "mode, address, mask".
std::string ChangeMaskWords(uint32_t mask);
