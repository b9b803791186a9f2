#include "console/core/console_config.h"

#include "protocol/byte_order.h"

std::array<uint8_t, kConsoleConfigLength> EncodeConsoleConfig(const ConsoleConfig& config) {
  std::array<uint8_t, kConsoleConfigLength> bytes{};
  uint8_t* out = bytes.data();
  StoreU32(out + 0, config.discoverTimeout);
  StoreU32(out + 4, config.setTimeout);
  StoreU32(out + 8, config.retryCount);
  for (std::size_t i = 0; i < kConfigColumnCount; ++i)
    StoreU32(out + 12 + 4 * i, static_cast<uint32_t>(config.columnWidths[i]));
  return bytes;
}

bool DecodeConsoleConfig(const uint8_t* data, std::size_t length, ConsoleConfig& out) {
  if (data == nullptr || length < kConsoleConfigLength) return false;
  ConsoleConfig config;
  config.discoverTimeout = LoadU32(data + 0);
  config.setTimeout = LoadU32(data + 4);
  config.retryCount = LoadU32(data + 8);
  for (std::size_t i = 0; i < kConfigColumnCount; ++i)
    config.columnWidths[i] = static_cast<int32_t>(LoadU32(data + 12 + 4 * i));
  out = config;
  return true;
}
