#include "console/core/launch_string.h"

#include <algorithm>

#include "protocol/ipv4.h"

std::string SubstituteLaunchString(std::string_view launchTemplate, uint32_t ipAddress,
                                   uint16_t port) {
  std::string_view text = launchTemplate.substr(0, launchTemplate.find('\0'));
  text = text.substr(0, kLaunchTemplateMaxChars);

  struct Placeholder {
    std::size_t at;
    std::string value;
  };
  Placeholder fills[2];
  std::size_t count = 0;
  if (std::size_t at = text.find("%A"); at != std::string_view::npos)
    fills[count++] = {at, FormatIpv4(ipAddress)};
  if (std::size_t at = text.find("%P"); at != std::string_view::npos)
    fills[count++] = {at, std::to_string(port)};
  // Both start with '%', so the two never overlap.
  std::sort(fills, fills + count,
            [](const Placeholder& a, const Placeholder& b) { return a.at < b.at; });

  std::string result;
  std::size_t from = 0;
  for (std::size_t i = 0; i < count; ++i) {
    result.append(text.substr(from, fills[i].at - from));
    result.append(fills[i].value);
    from = fills[i].at + 2;
  }
  result.append(text.substr(from));
  if (result.size() > kLaunchAddressMaxChars) result.resize(kLaunchAddressMaxChars);
  return result;
}
