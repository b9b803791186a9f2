// IPv4 addresses as the frames carry them: a 32-bit number whose most significant byte is the
// first dotted octet (the value of ntohl(inet_addr(text))).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr uint32_t kInvalidIpv4 = 0xFFFFFFFFu;  // what inet_addr gives for bad text

// Dotted text to number with inet_addr's rules (one to four parts, decimal, octal with a
// leading 0, hexadecimal with 0x); kInvalidIpv4 for text inet_addr refuses, including "".
uint32_t ParseIpv4(std::string_view text);
// Number to dotted decimal text, as inet_ntoa formats it.
std::string FormatIpv4(uint32_t address);
// "No address" as the agent tests it: 0 or kInvalidIpv4.
inline bool IsNoAddress(uint32_t address) { return address == 0 || address == kInvalidIpv4; }
