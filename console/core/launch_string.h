// The management page address: the host record's launch template with the host's address
// and management port filled in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Longest template taken from the record (its 36-byte field ends with a NUL).
constexpr std::size_t kLaunchTemplateMaxChars = 35;
// The address is built in a 64-byte buffer.
constexpr std::size_t kLaunchAddressMaxChars = 63;

// Replaces the first "%A" by the dotted address and the first "%P" by the port in decimal;
// later occurrences stay as they are. The template is cut at its first NUL and at 35
// characters. Placeholders are filled where they stand, whichever comes first.
std::string SubstituteLaunchString(std::string_view launchTemplate, uint32_t ipAddress,
                                   uint16_t port);
