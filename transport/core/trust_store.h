// The console's pinned agent keys, one text line per agent adapter, like ssh's known_hosts:
//
//   02:00:5E:10:00:A0 SERVER01 <public key, 64 hex digits> 2026-12-09
//
// MAC, host name (blanks and control characters replaced by '_'), Ed25519 public key, the
// UTC date it was pinned. Blank lines and lines starting with '#' are comments. A store that
// exists but cannot be read, or holds a line that does not parse, is unreadable: it pins
// nothing, trusts nothing and is never rewritten (a rewrite would drop what it could not
// read), until the user mends it. Changes are a read-modify-write under a lock shared by
// every program of the user, written through a unique temporary file flushed before the
// rename, so a crash leaves the old or the new file, never half of one.
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

  // (Re)reads the file; a missing file is an empty store. False when it is unreadable
  // (problem() says why, naming the line of a bad line); it then finds nothing.
  bool Load();
  bool readable();
  std::string problem();
  std::optional<TrustEntry> Find(const Mac& mac);

  enum class PinResult { Pinned, Unreadable, NotWritten };
  // Pins `key` for `mac` (replacing an earlier pin): rereads the file under the lock, so
  // what another program pinned meanwhile is kept, and writes it. Unreadable: the file as
  // read now is unreadable, nothing changed. NotWritten: the file could not be written;
  // nothing is pinned (the store stays as the file is).
  PinResult Pin(const Mac& mac, const std::string& hostName, const crypto::Key& key);
  std::size_t size();
  const std::string& path() const { return path_; }

  enum class LineKind { Entry, Comment, Bad };
  static LineKind ParseLine(const std::string& line, TrustEntry& out);
  static std::string FormatLine(const TrustEntry& entry);

 private:
  bool LoadLocked();  // mutex_ and (file) the store lock held

  std::string path_;
  std::mutex mutex_;
  std::vector<TrustEntry> entries_;
  std::string problem_;  // empty: readable
};

// Where the client library keeps its store: NETVANE_TRUST_STORE when set (a test setting),
// otherwise the roaming application data folder + \Netvane\known_agents (folder made when
// missing); natively $HOME/.netvane/known_agents. Empty when there is no such folder.
std::string DefaultTrustStorePath();

}  // namespace tavi
