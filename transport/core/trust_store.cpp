#include "transport/core/trust_store.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace tavi {

namespace {

bool ParseMac(const std::string& text, Mac& out) {
  if (text.size() != 17) return false;
  for (std::size_t i = 0; i < 6; ++i) {
    if (i > 0 && text[i * 3 - 1] != ':') return false;
    unsigned value = 0;
    for (std::size_t j = 0; j < 2; ++j) {
      const char c = text[i * 3 + j];
      value <<= 4;
      if (c >= '0' && c <= '9') value |= static_cast<unsigned>(c - '0');
      else if (c >= 'A' && c <= 'F') value |= static_cast<unsigned>(c - 'A' + 10);
      else if (c >= 'a' && c <= 'f') value |= static_cast<unsigned>(c - 'a' + 10);
      else return false;
    }
    out[i] = static_cast<uint8_t>(value);
  }
  return true;
}

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

std::string CleanName(const std::string& name) {
  std::string out;
  for (char c : name.substr(0, 64)) {
    const auto u = static_cast<unsigned char>(c);
    out.push_back(u <= 0x20 || u == 0x7F || c == '#' ? '_' : c);
  }
  return out.empty() ? "-" : out;
}

std::string Today() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &utc);
  return text;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

TrustStore::TrustStore(std::string path) : path_(std::move(path)) {
  std::lock_guard<std::mutex> lock(mutex_);
  LoadLocked();
}

bool TrustStore::ParseLine(const std::string& line, TrustEntry& out) {
  if (line.empty() || line[0] == '#') return false;
  std::istringstream in(line);
  std::string mac, name, key, date, extra;
  if (!(in >> mac >> name >> key >> date) || (in >> extra)) return false;
  TrustEntry entry;
  if (!ParseMac(mac, entry.mac) || !ParseKey(key, entry.key) || date.size() != 10) return false;
  entry.hostName = name;
  entry.pinnedOn = date;
  out = entry;
  return true;
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
  return LoadLocked();
}

bool TrustStore::LoadLocked() {
  if (path_.empty()) return true;
  std::ifstream in(path_, std::ios::binary);
  if (!in) {
    entries_.clear();
    return true;  // nothing pinned yet
  }
  std::vector<TrustEntry> entries;
  std::string line;
  std::size_t bytes = 0;
  while (entries.size() < kMaxEntries && bytes < kMaxFileBytes && std::getline(in, line)) {
    bytes += line.size() + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    TrustEntry entry;
    if (!ParseLine(line, entry)) continue;
    // A later line for the same adapter wins, as a rewrite would have left it.
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const TrustEntry& e) { return e.mac == entry.mac; }),
                  entries.end());
    entries.push_back(entry);
  }
  entries_ = std::move(entries);
  return true;
}

bool TrustStore::SaveLocked() {
  if (path_.empty()) return true;
  const std::string temporary = path_ + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << "# Netvane: pinned agent keys (MAC, host name, Ed25519 public key, date pinned)\n";
    for (const auto& e : entries_) out << FormatLine(e) << "\n";
    out.flush();
    if (!out) return false;
  }
  return ReplaceFile(temporary, path_);
}

std::optional<TrustEntry> TrustStore::Find(const Mac& mac) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& e : entries_)
    if (e.mac == mac) return e;
  return std::nullopt;
}

bool TrustStore::Pin(const Mac& mac, const std::string& hostName, const crypto::Key& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  LoadLocked();  // keep what another program of this user pinned meanwhile
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                [&](const TrustEntry& e) { return e.mac == mac; }),
                 entries_.end());
  if (entries_.size() >= kMaxEntries) entries_.erase(entries_.begin());
  TrustEntry entry;
  entry.mac = mac;
  entry.hostName = CleanName(hostName);
  entry.key = key;
  entry.pinnedOn = Today();
  entries_.push_back(entry);
  return SaveLocked();
}

std::size_t TrustStore::size() {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

std::string DefaultTrustStorePath() {
  if (const char* overridden = std::getenv("NETVANE_TRUST_STORE"); overridden && *overridden)
    return overridden;
#ifdef _WIN32
  const char* appData = std::getenv("APPDATA");
  if (appData == nullptr || *appData == '\0') return std::string();
  const std::string folder = std::string(appData) + "\\Netvane";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder + "\\known_agents";
#else
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return std::string();
  const std::string folder = std::string(home) + "/.netvane";
  mkdir(folder.c_str(), 0700);
  return folder + "/known_agents";
#endif
}

}  // namespace tavi
