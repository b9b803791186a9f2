#include "transport/core/seen_keys.h"

#include <algorithm>

namespace tavi {

namespace {
constexpr std::size_t kHostNameOffset = 27;
constexpr std::size_t kHostNameField = 36;
}  // namespace

void SeenKeys::Remember(const Mac& agent, const crypto::Key& key, const uint8_t* reply,
                        std::size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  Seen& seen = seen_[agent];
  seen.key = key;
  seen.touched = ++touches_;
  if (reply != nullptr && length >= kHostNameOffset + kHostNameField) {
    std::string name;
    for (std::size_t i = 0; i < kHostNameField && reply[kHostNameOffset + i] != 0; ++i)
      name.push_back(static_cast<char>(reply[kHostNameOffset + i]));
    seen.hostName = name;
  }
  if (seen_.size() > limit_) ForgetOldest();
}

void SeenKeys::ForgetOldest() {
  // Down to half the limit at once, so the cost is paid once per limit/2 new MACs. Keeps the
  // newest ones: with the default limit, every host of the console's list.
  const std::size_t keep = std::max<std::size_t>(limit_ / 2, 1);
  if (seen_.size() <= keep) return;
  std::vector<uint64_t> touches;
  touches.reserve(seen_.size());
  for (const auto& entry : seen_) touches.push_back(entry.second.touched);
  std::nth_element(touches.begin(), touches.end() - static_cast<std::ptrdiff_t>(keep), touches.end());
  const uint64_t oldestKept = *(touches.end() - static_cast<std::ptrdiff_t>(keep));
  for (auto it = seen_.begin(); it != seen_.end();)
    it = it->second.touched < oldestKept ? seen_.erase(it) : std::next(it);
}

std::optional<crypto::Key> SeenKeys::Key(const Mac& agent) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = seen_.find(agent);
  if (it == seen_.end()) return std::nullopt;
  return it->second.key;
}

std::string SeenKeys::HostName(const Mac& agent) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = seen_.find(agent);
  return it == seen_.end() ? std::string() : it->second.hostName;
}

std::vector<std::pair<Mac, crypto::Key>> SeenKeys::All() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::pair<Mac, crypto::Key>> all;
  all.reserve(seen_.size());
  for (const auto& entry : seen_) all.emplace_back(entry.first, entry.second.key);
  return all;
}

void SeenKeys::SetLimit(std::size_t limit) {
  std::lock_guard<std::mutex> lock(mutex_);
  limit_ = std::max<std::size_t>(limit, 2);
  if (seen_.size() > limit_) ForgetOldest();
}

std::size_t SeenKeys::Count() {
  std::lock_guard<std::mutex> lock(mutex_);
  return seen_.size();
}

}  // namespace tavi
