// The host information record and its OsInfo and NicEntry parts.
#include <cstring>

#include "protocol/field_io.h"
#include "protocol/frames.h"

void EncodeOsInfo(const OsInfo& info, uint8_t* out) {
  std::memset(out, 0, kOsInfoLength);
  out[OsInfoOffset::OsValid] = info.osValid;
  out[OsInfoOffset::OsFamily] = info.osFamily;
  out[OsInfoOffset::OsPlatform] = info.osPlatform;
  out[OsInfoOffset::OsEdition] = info.osEdition;
  out[OsInfoOffset::OsMajor] = info.osMajor;
  out[OsInfoOffset::OsMinor] = info.osMinor;
  StoreU32(out + OsInfoOffset::OsBuild, info.osBuild);
  out[OsInfoOffset::ServicePack] = info.servicePack;
  out[OsInfoOffset::OsVariant] = info.osVariant;
}

OsInfo DecodeOsInfo(const uint8_t* in) {
  OsInfo info;
  info.osValid = in[OsInfoOffset::OsValid];
  info.osFamily = in[OsInfoOffset::OsFamily];
  info.osPlatform = in[OsInfoOffset::OsPlatform];
  info.osEdition = in[OsInfoOffset::OsEdition];
  info.osMajor = in[OsInfoOffset::OsMajor];
  info.osMinor = in[OsInfoOffset::OsMinor];
  info.osBuild = LoadU32(in + OsInfoOffset::OsBuild);
  info.servicePack = in[OsInfoOffset::ServicePack];
  info.osVariant = in[OsInfoOffset::OsVariant];
  return info;
}

void EncodeNicEntry(const NicEntry& nic, uint8_t* out) {
  std::memset(out, 0, kNicEntryLength);
  StoreBytes(nic.mac, out + NicOffset::Mac);
  out[NicOffset::DhcpEnabled] = nic.dhcpEnabled;
  StoreText(nic.nicName, out + NicOffset::NicName);
  StoreU32(out + NicOffset::ChangeMask, nic.changeMask);
  StoreU32(out + NicOffset::IpAddress, nic.ipAddress);
  StoreU32(out + NicOffset::SubnetMask, nic.subnetMask);
  StoreU32(out + NicOffset::Gateway, nic.gateway);
}

NicEntry DecodeNicEntry(const uint8_t* in) {
  NicEntry nic;
  LoadBytes(nic.mac, in + NicOffset::Mac);
  nic.dhcpEnabled = in[NicOffset::DhcpEnabled];
  LoadText(nic.nicName, in + NicOffset::NicName);
  nic.changeMask = LoadU32(in + NicOffset::ChangeMask);
  nic.ipAddress = LoadU32(in + NicOffset::IpAddress);
  nic.subnetMask = LoadU32(in + NicOffset::SubnetMask);
  nic.gateway = LoadU32(in + NicOffset::Gateway);
  return nic;
}

std::size_t EncodeHostRecord(const HostRecord& record, uint8_t* out, std::size_t capacity) {
  // Checked as a count first so that a huge vector cannot wrap the length computation.
  if (capacity < kHostRecordBaseLength ||
      record.nics.size() > (capacity - kHostRecordBaseLength) / kNicEntryLength) {
    return 0;
  }
  std::memset(out, 0, kHostRecordBaseLength);
  StoreText(record.hostName, out + RecordOffset::HostName);
  StoreText(record.modelName, out + RecordOffset::ModelName);
  out[RecordOffset::NameChangePending] = record.nameChangePending;
  out[RecordOffset::MgmtAgentType] = record.mgmtAgentType;
  StoreU16(out + RecordOffset::MgmtPort, record.mgmtPort);
  StoreText(record.mgmtLaunchString, out + RecordOffset::MgmtLaunchString);
  StoreU32(out + RecordOffset::DnsServer, record.dnsServer);
  out[RecordOffset::DnsStatic] = record.dnsStatic;
  StoreU32(out + RecordOffset::MagicNumber, record.magicNumber);
  EncodeOsInfo(record.osInfo, out + RecordOffset::OsInfo);
  out[RecordOffset::NicCount] = record.nicCount;
  uint8_t* entry = out + RecordOffset::Nics;
  for (const NicEntry& nic : record.nics) {
    EncodeNicEntry(nic, entry);
    entry += kNicEntryLength;
  }
  return HostRecordLength(record.nics.size());
}

bool DecodeHostRecord(const uint8_t* in, std::size_t length, HostRecord& out) {
  if (length < kHostRecordBaseLength) return false;
  HostRecord record;
  LoadText(record.hostName, in + RecordOffset::HostName);
  LoadText(record.modelName, in + RecordOffset::ModelName);
  record.nameChangePending = in[RecordOffset::NameChangePending];
  record.mgmtAgentType = in[RecordOffset::MgmtAgentType];
  record.mgmtPort = LoadU16(in + RecordOffset::MgmtPort);
  LoadText(record.mgmtLaunchString, in + RecordOffset::MgmtLaunchString);
  record.dnsServer = LoadU32(in + RecordOffset::DnsServer);
  record.dnsStatic = in[RecordOffset::DnsStatic];
  record.magicNumber = LoadU32(in + RecordOffset::MagicNumber);
  record.osInfo = DecodeOsInfo(in + RecordOffset::OsInfo);
  record.nicCount = in[RecordOffset::NicCount];

  std::size_t present = (length - kHostRecordBaseLength) / kNicEntryLength;
  if (present > record.nicCount) present = record.nicCount;
  record.nics.reserve(present);
  for (std::size_t i = 0; i < present; ++i) {
    record.nics.push_back(DecodeNicEntry(in + RecordOffset::Nics + i * kNicEntryLength));
  }
  out = std::move(record);
  return true;
}
