// Records shared by the protocol tests: a Windows host with adapters in known states.
#pragma once

#include <algorithm>
#include <string>

#include "protocol/frames.h"

inline NicEntry SampleNic(int slot, bool dhcp, uint32_t ip, uint32_t mask, uint32_t gateway) {
  NicEntry nic;
  nic.mac = {0x00, 0x1B, 0x21, 0x3C, 0x4D, static_cast<uint8_t>(0x50 + slot)};
  nic.dhcpEnabled = dhcp ? 1 : 0;
  nic.nicName.assign("NIC" + std::to_string(slot + 1));
  nic.ipAddress = ip;
  nic.subnetMask = mask;
  nic.gateway = gateway;
  return nic;
}

inline HostRecord SampleRecord(std::size_t nicCount = 3) {
  HostRecord r;
  r.hostName.assign("SRV-ALPHA");
  r.modelName.assign("Unknown");
  r.mgmtAgentType = 1;
  r.mgmtPort = 2623;
  r.mgmtLaunchString.assign("http://%A:%P/");
  r.dnsServer = 0xC0A80001;  // 192.168.0.1
  r.dnsStatic = 1;
  r.magicNumber = 0x5F5E0FF1;
  r.osInfo.osValid = 1;
  r.osInfo.osFamily = 1;
  r.osInfo.osPlatform = 2;
  r.osInfo.osMajor = 5;
  r.osInfo.osMinor = 2;
  r.osInfo.osBuild = 3790;
  r.osInfo.osVariant = 1;
  for (std::size_t i = 0; i < nicCount; ++i) {
    const uint32_t host = static_cast<uint32_t>(10 + i);
    r.nics.push_back(SampleNic(static_cast<int>(i), false, 0xC0A80000 | host, 0xFFFFFF00,
                               0xC0A80001));
  }
  r.nicCount = static_cast<uint8_t>(nicCount);
  return r;
}

// A reply as the agent sends it: header with frameKind 2, status, setupState, record.
inline std::vector<uint8_t> SampleReply(const HostRecord& record, uint32_t code = 1,
                                        std::size_t bufferLength = kConsoleReplyBufferLength) {
  std::vector<uint8_t> reply(bufferLength, 0);
  const uint8_t header[kHeaderLength] = {2,    0,    0,    0,    0x00, 0x1B, 0x21, 0x3C,
                                         0x4D, 0x50, 2,    0,    0,    0,    0,    0,
                                         0,    0,    0,    0,    0xA1, 0xA2, 0xA3, 0xA4};
  std::copy(header, header + kHeaderLength, reply.begin());
  StoreU32(reply.data() + FrameOffset::RequestCode, code);
  reply[FrameOffset::SetupState] = SetupState::AllAddressed;
  EncodeHostRecord(record, reply.data() + FrameOffset::Host, reply.size() - FrameOffset::Host);
  return reply;
}
