#include "expectation.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

void PutU16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = v >> 8;
}

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + i] = (v >> (8 * i)) & 0xFF;
}

void PutText(std::vector<uint8_t>& b, size_t at, const std::string& s, size_t width) {
  memcpy(&b[at], s.data(), s.size() < width ? s.size() : width - 1);
}

bool ParseMac(const std::string& text, uint8_t* mac) {
  unsigned v[6];
  if (sscanf(text.c_str(), "%x:%x:%x:%x:%x:%x", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) != 6)
    return false;
  for (int i = 0; i < 6; i++) mac[i] = static_cast<uint8_t>(v[i]);
  return true;
}

}  // namespace

uint32_t ParseIpv4(const std::string& text) {
  unsigned a, b, c, d;
  if (sscanf(text.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return 0;
  return (a << 24) | (b << 16) | (c << 8) | d;
}

bool LoadExpectation(const std::string& path, Expectation& out, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string key;
    if (!(words >> key)) continue;
    bool ok = true;
    if (key == "host") {
      ok = static_cast<bool>(words >> out.hostName);
    } else if (key == "model") {
      ok = static_cast<bool>(words >> out.modelName);
    } else if (key == "pending") {
      unsigned v;
      ok = static_cast<bool>(words >> v);
      out.pending = static_cast<uint8_t>(v);
    } else if (key == "mgmt") {
      unsigned type, port;
      ok = static_cast<bool>(words >> type >> port >> out.mgmtLaunch);
      out.mgmtType = static_cast<uint8_t>(type);
      out.mgmtPort = static_cast<uint16_t>(port);
      if (out.mgmtLaunch == "-") out.mgmtLaunch.clear();
    } else if (key == "dns") {
      std::string server;
      unsigned isStatic;
      ok = static_cast<bool>(words >> server >> isStatic);
      out.dnsServer = ParseIpv4(server);
      out.dnsStatic = static_cast<uint8_t>(isStatic);
    } else if (key == "os") {
      // valid family platform edition major minor build servicePack variant
      unsigned v[9];
      for (unsigned& x : v) ok = ok && static_cast<bool>(words >> x);
      memset(out.os, 0, sizeof out.os);
      out.os[0] = v[0], out.os[1] = v[1], out.os[4] = v[2], out.os[5] = v[3];
      out.os[6] = v[4], out.os[7] = v[5];
      for (int i = 0; i < 4; i++) out.os[8 + i] = (v[6] >> (8 * i)) & 0xFF;
      out.os[12] = v[7], out.os[13] = v[8];
    } else if (key == "nic") {
      std::string mac, ip, mask, gw;
      unsigned dhcp;
      ExpectedNic nic;
      ok = static_cast<bool>(words >> mac >> dhcp >> ip >> mask >> gw) && ParseMac(mac, nic.mac);
      nic.dhcp = static_cast<uint8_t>(dhcp);
      nic.ip = ParseIpv4(ip), nic.mask = ParseIpv4(mask), nic.gateway = ParseIpv4(gw);
      out.nics.push_back(nic);
    } else if (key == "setup") {
      unsigned v;
      ok = static_cast<bool>(words >> v);
      out.setupState = static_cast<uint8_t>(v);
    }
    if (!ok) {
      error = "malformed line: " + line;
      return false;
    }
  }
  if (out.hostName.empty()) {
    error = "no host line in " + path;
    return false;
  }
  return true;
}

std::vector<uint8_t> ExpectedRecord(const Expectation& e) {
  std::vector<uint8_t> r(128 + 44 * e.nics.size(), 0);
  PutText(r, 0, e.hostName, 33);
  PutText(r, 36, e.modelName, 16);
  r[56] = e.pending;
  r[57] = e.mgmtType;
  PutU16(r, 58, e.mgmtPort);
  PutText(r, 60, e.mgmtLaunch, 36);
  PutU32(r, 96, e.dnsServer);
  r[100] = e.dnsStatic;
  memcpy(&r[108], e.os, 16);
  r[124] = static_cast<uint8_t>(e.nics.size());
  for (size_t i = 0; i < e.nics.size(); i++) {
    size_t at = 128 + 44 * i;
    memcpy(&r[at], e.nics[i].mac, 6);
    r[at + 7] = e.nics[i].dhcp;
    PutText(r, at + 8, "NIC" + std::to_string(i + 1), 20);
    PutU32(r, at + 32, e.nics[i].ip);
    PutU32(r, at + 36, e.nics[i].mask);
    PutU32(r, at + 40, e.nics[i].gateway);
  }
  return r;
}
