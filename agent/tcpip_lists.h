// The TCP/IP registry lists an adapter keeps: the parallel "IPAddress" / "SubnetMask" (and
// "DefaultGateway" / "DefaultGatewayMetric") multi-strings and the "NameServer" list. A
// change replaces the first entry and keeps the others, as Windows' own dialog does.
// Free of Windows headers: every input is untrusted registry data of any length.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The strings of REG_MULTI_SZ data: up to the empty string or the end of the data; a last
// string without its terminator still counts. Never reads past `size`.
std::vector<std::string> SplitMultiString(const char* data, std::size_t size);
// REG_MULTI_SZ data of the strings: each with its terminator, then one more zero byte (the
// empty list is two zero bytes). Empty strings are left out: they would end the list early.
std::string JoinMultiString(const std::vector<std::string>& strings);

// "NameServer": servers separated by commas or spaces; empty entries are dropped.
std::vector<std::string> SplitServerList(std::string_view text);
// The separator of the stored list (',' unless it holds only spaces).
char ServerListSeparator(std::string_view text);
std::string JoinServerList(const std::vector<std::string>& servers, char separator);
// The list with its first server replaced by `server`, the rest kept.
std::string ReplaceFirstServer(std::string_view list, std::string_view server);

// Two parallel lists (addresses and masks, gateways and metrics). A list that holds only
// "0.0.0.0" is a DHCP adapter's placeholder and counts as empty.
struct ParallelLists {
  std::vector<std::string> first;
  std::vector<std::string> second;
};
ParallelLists ReadParallel(std::vector<std::string> first, std::vector<std::string> second);
// Replaces entry 0 of both lists: an empty `newFirst` / `newSecond` keeps that list's
// entry 0 (or, where the list had none, takes `fallbackFirst` / `fallbackSecond`). The
// second list always ends up as long as the first: missing entries repeat its entry 0,
// surplus ones go.
ParallelLists ReplaceFirstPair(const ParallelLists& lists, const std::string& newFirst,
                               const std::string& newSecond, const std::string& fallbackFirst,
                               const std::string& fallbackSecond);
