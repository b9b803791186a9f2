// A discovered host as nvctl works with it: the stored reply (as the dialog console keeps a
// row's), its decoded record, and what the transport says about the exchange (the agent
// adapter that answered and the console adapter it answered on).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/frames.h"

struct HostView {
  std::vector<uint8_t> reply;  // stored reply, at most ten adapters
  HostRecord record;           // its entries are exactly the ones the reply holds
  uint8_t setupState = 0;
  uint32_t consoleAdapter = 0;
  Mac agentMac{};
  NicEntry answering;          // the agent adapter that answered; zero when none matches
};

// From a received reply of `available` readable bytes, read through ReplyView. Empty
// optional when the reply holds no host record.
std::optional<HostView> MakeHostView(const uint8_t* frame, std::size_t available);

// The setup state in words.
std::string SetupStateWords(uint8_t setupState);

// The management address as Launch builds it; empty when the host has no management port.
std::string ManagementAddress(const HostView& host);

// Finds HOST among discovered hosts: a host name (any case), an agent MAC, or an address a
// host answered on. Replies of one host from several of its adapters count as one host (same
// name and adapter MACs). On failure `error` says why and lists the candidates.
std::optional<std::size_t> MatchHost(const std::vector<HostView>& hosts, std::string_view text,
                                     std::string& error);
