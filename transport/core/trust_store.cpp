#include "transport/core/trust_store.h"

#include <algorithm>
#include <ctime>
#include <sstream>

#include "transport/platform/clock.h"
#include "transport/platform/store_file.h"
#include "transport/platform/test_settings.h"

namespace tavi {

namespace {

bool ParseKey(const std::string& text, crypto::Key& out) {
  if (text.size() != 2 * out.size()) return false;
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned value = 0;
    for (std::size_t j = 0; j < 2; ++j) {
      const char c = text[2 * i + j];
      value <<= 4;
      if (c >= '0' && c <= '9') value |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f') value |= static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') value |= static_cast<unsigned>(c - 'A' + 10);
      else return false;
    }
    out[i] = static_cast<uint8_t>(value);
  }
  return true;
}

std::string Today() {
  const std::tm utc = UtcTime(std::time(nullptr));
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &utc);
  return text;
}

std::string CleanName(const std::string& name) {
  std::string out;
  for (char c : name.substr(0, 64)) {
    const auto u = static_cast<unsigned char>(c);
    out.push_back(u <= 0x20 || u == 0x7F || c == '#' ? '_' : c);
  }
  return out.empty() ? "-" : out;
}

}  // namespace

TrustStore::TrustStore(std::string path) : path_(std::move(path)) { Load(); }

TrustStore::LineKind TrustStore::ParseLine(const std::string& line, TrustEntry& out) {
  const auto first = line.find_first_not_of(" \t");
  if (first == std::string::npos || line[first] == '#') return LineKind::Comment;
  std::istringstream in(line);
  std::string mac, name, key, date, extra;
  if (!(in >> mac >> name >> key >> date) || (in >> extra)) return LineKind::Bad;
  TrustEntry entry;
  const auto parsed = ParseMac(mac, ":");
  if (!parsed || !ParseKey(key, entry.key) || date.size() != 10) return LineKind::Bad;
  entry.mac = *parsed;
  entry.hostName = name;
  entry.pinnedOn = date;
  out = entry;
  return LineKind::Entry;
}

std::string TrustStore::FormatLine(const TrustEntry& entry) {
  std::string line = FormatMac(entry.mac) + " " + CleanName(entry.hostName) + " ";
  static const char kHex[] = "0123456789abcdef";
  for (uint8_t b : entry.key) {
    line.push_back(kHex[b >> 4]);
    line.push_back(kHex[b & 0x0F]);
  }
  return line + " " + (entry.pinnedOn.size() == 10 ? entry.pinnedOn : Today());
}

bool TrustStore::Load() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (path_.empty()) return true;
  StoreLock fileLock(path_, false);
  if (!fileLock.held() && !fileLock.noFolder()) {
    // Nobody else could have it for this long but a writer that hangs: refuse, not guess.
    entries_.clear();
    problem_ = path_ + " is locked by another program";
    return false;
  }
  return LoadLocked();
}

bool TrustStore::readable() {
  std::lock_guard<std::mutex> lock(mutex_);
  return problem_.empty();
}

std::string TrustStore::problem() {
  std::lock_guard<std::mutex> lock(mutex_);
  return problem_;
}

bool TrustStore::LoadLocked() {
  entries_.clear();
  problem_.clear();
  if (path_.empty()) return true;
  std::string text, why;
  switch (ReadWholeFile(path_, kMaxFileBytes, text, why)) {
    case FileRead::Missing: return true;  // nothing pinned yet
    case FileRead::Failed: problem_ = path_ + " " + why; return false;
    case FileRead::Ok: break;
  }
  std::vector<TrustEntry> entries;
  std::size_t number = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::string line = text.substr(at, end - at);
    at = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    TrustEntry entry;
    const LineKind kind = ParseLine(line, entry);
    if (kind == LineKind::Comment) continue;
    if (kind == LineKind::Bad || entries.size() >= kMaxEntries) {
      problem_ = "line " + std::to_string(number) + " of " + path_ +
                 (kind == LineKind::Bad ? " is not a pinned key" : " is one pinned key too many");
      return false;
    }
    // A later line for the same adapter wins, as a rewrite would have left it.
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const TrustEntry& e) { return e.mac == entry.mac; }),
                  entries.end());
    entries.push_back(entry);
  }
  entries_ = std::move(entries);
  return true;
}

std::optional<TrustEntry> TrustStore::Find(const Mac& mac) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& e : entries_)
    if (e.mac == mac) return e;
  return std::nullopt;
}

TrustStore::PinResult TrustStore::Pin(const Mac& mac, const std::string& hostName,
                                      const crypto::Key& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  TrustEntry entry;
  entry.mac = mac;
  entry.hostName = CleanName(hostName);
  entry.key = key;
  entry.pinnedOn = Today();
  const auto replace = [&](std::vector<TrustEntry>& entries) {
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const TrustEntry& e) { return e.mac == mac; }),
                  entries.end());
    if (entries.size() >= kMaxEntries) entries.erase(entries.begin());
    entries.push_back(entry);
  };
  if (path_.empty()) {
    replace(entries_);
    return PinResult::Pinned;
  }
  // One read-modify-write at a time among all programs of the user: what another one pinned
  // between our read and our write would otherwise be lost.
  StoreLock fileLock(path_, true);
  if (!fileLock.held()) return PinResult::NotWritten;
  if (!LoadLocked()) return PinResult::Unreadable;
  std::vector<TrustEntry> entries = entries_;
  replace(entries);
  std::string text = "# Netvane: pinned agent keys (MAC, host name, Ed25519 public key, date pinned)\n";
  for (const auto& e : entries) text += FormatLine(e) + "\n";
  std::string why;
  if (!ReplaceWholeFile(path_, text, why)) return PinResult::NotWritten;
  entries_ = std::move(entries);
  return PinResult::Pinned;
}

std::size_t TrustStore::size() {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

std::string DefaultTrustStorePath() {
  const std::string overridden = TestTrustStore();
  if (!overridden.empty()) return overridden;
  return UserSettingsFile("known_agents");
}

}  // namespace tavi
