// The bodies at frame offset 80: SettingsBody (code 2) and PasswordBody (code 3).
#include <cstring>

#include "protocol/field_io.h"
#include "protocol/frames.h"

namespace {
constexpr std::size_t kBodyFixedLength = SettingsOffset::Nics - FrameOffset::Body;  // 48
}

bool EncodeSettingsBody(const SettingsBody& body, uint8_t* frame, std::size_t frameLength) {
  if (frameLength < SettingsOffset::Nics ||
      body.nics.size() > (frameLength - SettingsOffset::Nics) / kNicEntryLength) {
    return false;
  }
  std::memset(frame + FrameOffset::Body, 0, kBodyFixedLength);
  StoreText(body.newHostName, frame + SettingsOffset::NewHostName);
  StoreU32(frame + SettingsOffset::DnsServer, body.dnsServer);
  frame[SettingsOffset::DnsStatic] = body.dnsStatic;
  frame[SettingsOffset::NicCount] = body.nicCount;
  uint8_t* entry = frame + SettingsOffset::Nics;
  for (const NicEntry& nic : body.nics) {
    EncodeNicEntry(nic, entry);
    entry += kNicEntryLength;
  }
  return true;
}

bool DecodeSettingsBody(const uint8_t* frame, std::size_t frameLength, SettingsBody& out) {
  if (frameLength < SettingsOffset::Nics) return false;
  SettingsBody body;
  LoadText(body.newHostName, frame + SettingsOffset::NewHostName);
  body.dnsServer = LoadU32(frame + SettingsOffset::DnsServer);
  body.dnsStatic = frame[SettingsOffset::DnsStatic];
  body.nicCount = frame[SettingsOffset::NicCount];

  std::size_t present = (frameLength - SettingsOffset::Nics) / kNicEntryLength;
  if (present > body.nicCount) present = body.nicCount;
  body.nics.reserve(present);
  for (std::size_t i = 0; i < present; ++i) {
    body.nics.push_back(DecodeNicEntry(frame + SettingsOffset::Nics + i * kNicEntryLength));
  }
  out = std::move(body);
  return true;
}

bool EncodePasswordBody(const PasswordBody& body, uint8_t* frame, std::size_t frameLength) {
  if (frameLength < kPasswordRequestLength) return false;
  std::memset(frame + FrameOffset::Body, 0, kPasswordRequestLength - FrameOffset::Body);
  frame[PasswordOffset::Account] = body.account;
  StoreText(body.newPassword, frame + PasswordOffset::NewPassword);
  StoreText(body.confirmPassword, frame + PasswordOffset::ConfirmPassword);
  return true;
}

bool DecodePasswordBody(const uint8_t* frame, std::size_t frameLength, PasswordBody& out) {
  if (frameLength < kPasswordRequestLength) return false;
  PasswordBody body;
  body.account = frame[PasswordOffset::Account];
  LoadText(body.newPassword, frame + PasswordOffset::NewPassword);
  LoadText(body.confirmPassword, frame + PasswordOffset::ConfirmPassword);
  out = body;
  return true;
}
