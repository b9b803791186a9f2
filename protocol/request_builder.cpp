// Building console requests: zero-filled buffers sized by code, addressed from the stored
// reply of the target host, with credentials and the settings change bits.
#include <algorithm>
#include <cstring>

#include "protocol/field_io.h"
#include "protocol/frames.h"

std::vector<uint8_t> BuildDiscoverRequest(uint32_t adapterIndex) {
  std::vector<uint8_t> request(kShortRequestLength, 0);
  StoreU32(request.data() + FrameOffset::AdapterIndex, adapterIndex);
  StoreBytes(kBroadcastMac, request.data() + FrameOffset::AgentMac);
  StoreU32(request.data() + FrameOffset::RequestCode, Request::Discover);
  return request;
}

std::vector<uint8_t> BuildTargetedRequest(uint32_t requestCode, const uint8_t* storedReply,
                                          std::size_t storedLength, uint8_t nicCount) {
  const std::size_t length = RequestLength(requestCode, nicCount);
  if (length == 0 || storedLength < kHeaderLength) return {};
  std::vector<uint8_t> request(length, 0);
  // adapterIndex and agentMac: the console adapter and the agent adapter of the stored
  // exchange. frameKind and reserved stay zero.
  std::memcpy(request.data(), storedReply + FrameOffset::AdapterIndex, FrameOffset::FrameKind);
  StoreU32(request.data() + FrameOffset::RequestCode, requestCode);
  return request;
}

void SetCredentials(std::vector<uint8_t>& request, const HostRecord& storedRecord,
                    std::string_view userName, const FixedText<16>& password) {
  if (request.size() < FrameOffset::Body) return;
  uint8_t* frame = request.data();
  // Only a Windows agent checks the name; others get zeros whatever was typed. One byte
  // stays for the terminator.
  FixedText<kUserNameLength> name;
  if (storedRecord.osInfo.osFamily == 1) name.assign(userName, kUserNameLength - 1);
  StoreText(name, frame + FrameOffset::UserName);
  StoreText(password, frame + FrameOffset::Password);
  StoreU32(frame + FrameOffset::MagicNumber, storedRecord.magicNumber);
}

void PresetRefreshReply(uint8_t* reply, std::size_t replyLength, uint32_t storedMagicNumber) {
  if (replyLength < FrameOffset::ReplyMagicNumber + 4) return;
  StoreU32(reply + FrameOffset::ReplyMagicNumber, storedMagicNumber);
}

uint32_t ComputeChangeMask(const NicEntry& oldNic, uint8_t oldDnsStatic, const NicEntry& newNic,
                           uint8_t newDnsStatic) {
  const bool oldDhcp = oldNic.dhcpEnabled != 0;
  const bool newDhcp = newNic.dhcpEnabled != 0;
  // Leaving DHCP needs the whole static set written; a DHCP adapter whose DNS mode changed
  // needs its name servers rewritten, which the agent does only for a full change.
  if ((oldDhcp && !newDhcp) || (newDhcp && (newDnsStatic != 0) != (oldDnsStatic != 0))) {
    return kChangeAll;
  }
  uint32_t mask = 0;
  if (oldDhcp != newDhcp) mask |= kChangeMode;
  if (oldNic.ipAddress != newNic.ipAddress) mask |= kChangeAddress;
  if (oldNic.subnetMask != newNic.subnetMask) mask |= kChangeMask;
  if (oldNic.gateway != newNic.gateway) mask |= kChangeGateway;
  return mask;
}

void BuildSettingsBody(const HostRecord& stored, const HostRecord& edited, SettingsBody& out) {
  SettingsBody body;
  // Compared as text: bytes after a terminator are no part of the name. The copy keeps a
  // terminator, which the agent relies on when it reads the name back.
  const std::string name = edited.hostName.str();
  if (name != stored.hostName.str()) body.newHostName.assign(name, kHostNameFieldLength - 1);
  body.dnsServer = edited.dnsServer;
  body.dnsStatic = edited.dnsStatic != 0 ? 1 : 0;
  const std::size_t count = std::min<std::size_t>(edited.nicCount, edited.nics.size());
  body.nicCount = static_cast<uint8_t>(count);
  body.nics.assign(edited.nics.begin(), edited.nics.begin() + static_cast<std::ptrdiff_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    NicEntry& nic = body.nics[i];
    nic.changeMask = i < stored.nics.size()
                         ? ComputeChangeMask(stored.nics[i], stored.dnsStatic, nic, body.dnsStatic)
                         : kChangeAll;
  }
  out = std::move(body);
}
