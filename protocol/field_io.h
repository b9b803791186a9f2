// Copying fixed-width fields between frames and values. Private to the protocol library:
// callers have already checked that the whole field lies inside the buffer.
#pragma once

#include <cstdint>
#include <cstring>

#include "protocol/fixed_text.h"

template <std::size_t N>
inline void LoadText(FixedText<N>& text, const uint8_t* in) {
  std::memcpy(text.bytes.data(), in, N);
}

template <std::size_t N>
inline void StoreText(const FixedText<N>& text, uint8_t* out) {
  std::memcpy(out, text.bytes.data(), N);
}

template <std::size_t N>
inline void LoadBytes(std::array<uint8_t, N>& bytes, const uint8_t* in) {
  std::memcpy(bytes.data(), in, N);
}

template <std::size_t N>
inline void StoreBytes(const std::array<uint8_t, N>& bytes, uint8_t* out) {
  std::memcpy(out, bytes.data(), N);
}
