#include "console/core/configure_checks.h"

namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

bool ParseUnsignedDecimal(std::string_view text, uint32_t& out) {
  text = TrimBlanks(text);
  if (text.empty()) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > 0xFFFFFFFFull) return false;
  }
  out = static_cast<uint32_t>(value);
  return true;
}

ConfigureOutcome CheckConfigureFields(std::string_view discoverText, std::string_view setText,
                                      std::string_view retryText, ConfigureValues& values) {
  ConfigureValues parsed;
  if (!ParseUnsignedDecimal(discoverText, parsed.discoverTimeout))
    return {ConfigureField::DiscoverTimeout, kNotANumberText};
  if (!ParseUnsignedDecimal(setText, parsed.setTimeout))
    return {ConfigureField::SetTimeout, kNotANumberText};
  if (!ParseUnsignedDecimal(retryText, parsed.retryCount))
    return {ConfigureField::RetryCount, kNotANumberText};
  values = parsed;
  if (parsed.discoverTimeout > kMaxTimeoutSeconds)
    return {ConfigureField::DiscoverTimeout, kDiscoverTooLongText};
  if (parsed.setTimeout > kMaxTimeoutSeconds) return {ConfigureField::SetTimeout, kSetTooLongText};
  if (parsed.retryCount > kMaxRetryCount) return {ConfigureField::RetryCount, kRetryTooManyText};
  return {};
}
