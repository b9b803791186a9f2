// "Netvane.cfg": the transport options and the host list's column widths, kept between runs
// as 36 little-endian bytes with no header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr std::size_t kConsoleConfigLength = 36;
constexpr std::size_t kConfigColumnCount = 6;

struct ConsoleConfig {
  uint32_t discoverTimeout = 0;
  uint32_t setTimeout = 0;
  uint32_t retryCount = 0;
  std::array<int32_t, kConfigColumnCount> columnWidths{};
};

std::array<uint8_t, kConsoleConfigLength> EncodeConsoleConfig(const ConsoleConfig& config);

// False, leaving `out` untouched, for fewer than 36 bytes: a cut file is ignored as a whole
// rather than half applied. Bytes after the 36th are never read.
bool DecodeConsoleConfig(const uint8_t* data, std::size_t length, ConsoleConfig& out);

// The transport takes its options as int: a stored value beyond INT_MAX saturates, so a huge
// time-out stays huge (the transport caps it) instead of wrapping to a negative number.
inline int TransportOption(uint32_t stored) {
  return stored > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(stored);
}

// A stored width is applied as its low 16 bits, whatever the file holds.
inline int ColumnWidthFromStored(int32_t stored) {
  return static_cast<int>(static_cast<uint32_t>(stored) & 0xFFFFu);
}
