// The rows of an apply file: one change per row, in the columns
//   host, nic, mode, address, mask, gateway, dns, name
// (nic: adapter number or MAC; mode: dhcp, static or empty; address: ADDRESS or
// ADDRESS/PREFIX; mask: dotted mask or prefix; dns: ADDRESS, auto or empty; name: new host
// name or empty). A first record that starts with "host" is the header. Every row is
// checked before any is used.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "console/nvctl/settings_change.h"

struct ApplyRow {
  std::size_t line = 0;
  std::string host;
  SettingsChange change;
};

constexpr std::size_t kApplyColumns = 8;
constexpr std::size_t kApplyMaxRows = 4096;

// False with "line N: ..." in `error` at the first malformed row.
bool ReadApplyRows(std::string_view text, std::vector<ApplyRow>& rows, std::string& error);
