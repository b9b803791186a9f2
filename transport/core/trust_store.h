// The console's pinned agent keys, one text line per agent adapter, like ssh's known_hosts:
//
//   02:00:5E:10:00:A0 SERVER01 <public key, 64 hex digits> 2026-12-09
//
// MAC, host name (blanks and control characters replaced by '_'), Ed25519 public key, the
// UTC date it was pinned. Lines starting with '#' and lines that do not parse are ignored;
// the file is rewritten whole through a temporary file and a rename, so a crash leaves the
// old or the new file, never half of one.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "transport/core/crypto.h"
#include "transport/core/wire.h"

namespace tavi {

struct TrustEntry {
  Mac mac{};
  std::string hostName;
  crypto::Key key{};
  std::string pinnedOn;  // YYYY-MM-DD
};

class TrustStore {
 public:
  static constexpr std::size_t kMaxEntries = 4096;
  static constexpr std::size_t kMaxFileBytes = 1 << 20;

  // An empty path keeps the store in memory only.
  explicit TrustStore(std::string path);

  // (Re)reads the file; a missing file is an empty store. False when it cannot be read.
  bool Load();
  std::optional<TrustEntry> Find(const Mac& mac);
  // Pins `key` for `mac` (replacing an earlier pin) and writes the file; false when the
  // file could not be written (the pin then holds for this run only).
  bool Pin(const Mac& mac, const std::string& hostName, const crypto::Key& key);
  std::size_t size();
  const std::string& path() const { return path_; }

  // Parses one line; false for comments and anything malformed.
  static bool ParseLine(const std::string& line, TrustEntry& out);
  static std::string FormatLine(const TrustEntry& entry);

 private:
  bool LoadLocked();
  bool SaveLocked();

  std::string path_;
  std::mutex mutex_;
  std::vector<TrustEntry> entries_;
};

// Where the client library keeps its store: NETVANE_TRUST_STORE when set (a test setting),
// otherwise %APPDATA%\Netvane\known_agents (folder made when missing); natively
// $HOME/.netvane/known_agents.
std::string DefaultTrustStorePath();

}  // namespace tavi
