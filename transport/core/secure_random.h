// Unpredictable numbers from the operating system's cryptographic generator
// (BCryptGenRandom on Windows, getrandom natively). Transaction ids come from here, so a
// station that sees one exchange cannot tell the id of the next.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavi {

// Fills `length` bytes; false when the system's generator failed (nothing usable written).
bool FillSecureRandom(uint8_t* buffer, std::size_t length);

}  // namespace tavi
