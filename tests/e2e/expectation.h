// What the lab says one agent host is: read from a file the driver script writes from the
// host's registry and its namespace's interfaces, and turned into the bytes its host
// record must have.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ExpectedNic {
  uint8_t mac[6] = {};
  uint8_t dhcp = 0;
  uint32_t ip = 0, mask = 0, gateway = 0;
};

struct Expectation {
  std::string hostName, modelName = "Unknown", mgmtLaunch;
  uint8_t pending = 0, mgmtType = 0, dnsStatic = 0, setupState = 0;
  uint16_t mgmtPort = 0;
  uint32_t dnsServer = 0;
  uint8_t os[16] = {};
  std::vector<ExpectedNic> nics;
};

// Parses lines "key values..."; returns false and names the line when one is malformed.
bool LoadExpectation(const std::string& path, Expectation& out, std::string& error);

// Dotted text -> number with the first octet most significant; "-" or "" -> 0.
uint32_t ParseIpv4(const std::string& text);

// The host record (128 + 44 n bytes) with magicNumber left zero.
std::vector<uint8_t> ExpectedRecord(const Expectation& e);
