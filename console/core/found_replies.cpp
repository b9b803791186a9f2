#include "console/core/found_replies.h"

#include "protocol/reply_view.h"

FoundReplies foundReplies;

bool FoundReplies::Add(const uint8_t* reply) {
  if (reply == nullptr) return false;
  const ReplyView delivered = ReplyView::Delivered(reply);
  std::vector<uint8_t> copy(delivered.data(), delivered.data() + delivered.length());
  std::lock_guard<std::mutex> lock(mutex_);
  replies_.push_back(std::move(copy));
  return replies_.size() == 1;
}

std::vector<std::vector<uint8_t>> FoundReplies::Take() {
  std::vector<std::vector<uint8_t>> taken;
  std::lock_guard<std::mutex> lock(mutex_);
  taken.swap(replies_);
  return taken;
}
