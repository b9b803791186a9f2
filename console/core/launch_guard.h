// What Launch may open. The launch template comes from a host record, that is from any station
// on the segment, and the shell's "open" runs whatever it names (a UNC path, file:, any
// registered protocol) as the administrator who clicked. Only a plain web page on the host
// itself, or on a named management server, gets through.
#pragma once

#include <cstdint>
#include <string_view>

enum class LaunchRefusal {
  None,              // the address may be opened
  NotWebAddress,     // not an absolute http:// or https:// address
  UnsafeCharacter,   // a blank, quote, backslash, control or non-ASCII character
  HostNotAllowed,    // user information, an empty host, or an address other than the host's
  BadPort,           // a port that is not 1..65535 in decimal
};

// Checks the substituted address. `hostAddress` is the address that replaced "%A" (the
// answering adapter's); the host part must be that address in dotted form or a plain host
// name (letters, digits, hyphens and dots, with a letter in its last label, so that no other
// numeric address passes as a name).
LaunchRefusal CheckLaunchAddress(std::string_view url, uint32_t hostAddress);

// Why an address was refused, for the command-line console; "" for None.
const char* LaunchRefusalText(LaunchRefusal refusal);
