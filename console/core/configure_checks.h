// The Configure dialog's input rules, kept apart from the dialog so they can be tested alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr uint32_t kDefaultDiscoverTimeout = 5;
constexpr uint32_t kDefaultSetTimeout = 30;
constexpr uint32_t kDefaultRetryCount = 3;
constexpr uint32_t kMaxTimeoutSeconds = 600;
constexpr uint32_t kMaxRetryCount = 10;

inline constexpr const char* kNotANumberText = "Please enter a positive integer.";
inline constexpr const char* kDiscoverTooLongText =
    "Discovering timeout should not be longer than 600 seconds.";
inline constexpr const char* kSetTooLongText =
    "Setting timeout should not be longer than 600 seconds.";
inline constexpr const char* kRetryTooManyText = "Retry times should not be bigger than 10.";

// Which field an outcome points at, in the dialog's order.
enum class ConfigureField { None, DiscoverTimeout, SetTimeout, RetryCount };

struct ConfigureValues {
  uint32_t discoverTimeout = 0;
  uint32_t setTimeout = 0;
  uint32_t retryCount = 0;
};

struct ConfigureOutcome {
  ConfigureField field = ConfigureField::None;  // None: accepted
  const char* message = nullptr;                // null when accepted
};

// Decimal digits only (blanks around them allowed), at least one, within 32 bits.
bool ParseUnsignedDecimal(std::string_view text, uint32_t& out);

// Reads the three fields in order; the first that holds no number is refused. Then the
// limits, in order: discovery time-out, setting time-out, retry count. `values` is written
// only when every field parses.
ConfigureOutcome CheckConfigureFields(std::string_view discoverText, std::string_view setText,
                                      std::string_view retryText, ConfigureValues& values);
