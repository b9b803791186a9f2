#include "transport/client/nic_lookup.h"

#include "protocol/reply_view.h"

namespace tavi {

const uint8_t* FindAnsweringNic(const uint8_t* reply, std::size_t length) {
  return ReplyView(reply, length).AnsweringNicBytes();
}

}  // namespace tavi
