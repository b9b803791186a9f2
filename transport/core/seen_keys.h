// The key and host name last verified per agent MAC, for the life of the client library
// (a console reinitialising its transport keeps them). Bounded: past `limit` MACs the least
// recently remembered half is forgotten at once, so discoveries flooded from invented MACs
// cannot grow it; the default keeps every host a console lists and as many again.
// Thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "transport/core/crypto.h"
#include "transport/core/wire.h"

namespace tavi {

class SeenKeys {
 public:
  explicit SeenKeys(std::size_t limit) : limit_(limit < 2 ? 2 : limit) {}

  // `reply`, when given, is a reply with a host record: its host name is kept too.
  void Remember(const Mac& agent, const crypto::Key& key, const uint8_t* reply = nullptr,
                std::size_t length = 0);
  std::optional<crypto::Key> Key(const Mac& agent);
  // Looked up, never added: empty when unknown.
  std::string HostName(const Mac& agent);
  std::vector<std::pair<Mac, crypto::Key>> All();

  void SetLimit(std::size_t limit);
  std::size_t Count();

 private:
  struct Seen {
    crypto::Key key{};
    std::string hostName;
    uint64_t touched = 0;  // when last remembered, in Remember calls
  };
  void ForgetOldest();  // mutex_ held

  std::mutex mutex_;
  std::map<Mac, Seen> seen_;
  uint64_t touches_ = 0;
  std::size_t limit_;
};

}  // namespace tavi
