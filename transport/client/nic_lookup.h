// Finds the NicEntry of the agent adapter that sent a reply: the entry of the reply's host
// record whose mac equals bytes 4..9 of the reply.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavi {

// Null when the reply is too short for a record, names no adapter (zero MAC) or no entry
// within `length` matches.
const uint8_t* FindAnsweringNic(const uint8_t* reply, std::size_t length);

}  // namespace tavi
