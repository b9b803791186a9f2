// libFuzzer target: every decoder over arbitrary bytes, as a request the agent received or a
// reply the console received, plus the round trips that must hold for whatever decoded.
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "protocol/frames.h"
#include "protocol/reply_view.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::vector<uint8_t> EncodeRecord(const HostRecord& record) {
  std::vector<uint8_t> out(HostRecordLength(record.nics.size()));
  Check(EncodeHostRecord(record, out.data(), out.size()) == out.size());
  return out;
}

void FuzzHostRecord(const uint8_t* data, std::size_t size) {
  HostRecord record;
  if (!DecodeHostRecord(data, size, record)) {
    Check(size < kHostRecordBaseLength);
    return;
  }
  Check(record.nics.size() <= record.nicCount);
  Check(record.nics.size() <= (size - kHostRecordBaseLength) / kNicEntryLength);
  (void)record.hostName.str();
  (void)record.mgmtLaunchString.str();

  // Re-encoding reproduces every defined byte; decoding that again changes nothing.
  const std::vector<uint8_t> encoded = EncodeRecord(record);
  Check(std::memcmp(encoded.data(), data, 52) == 0);
  Check(std::memcmp(encoded.data() + 96, data + 96, 5) == 0);
  HostRecord again;
  Check(DecodeHostRecord(encoded.data(), encoded.size(), again));
  Check(EncodeRecord(again) == encoded);
}

void FuzzRequest(const uint8_t* data, std::size_t size) {
  FrameHeader header;
  Check(DecodeHeader(data, size, header) == (size >= kHeaderLength));

  SettingsBody settings;
  if (DecodeSettingsBody(data, size, settings)) {
    Check(settings.nics.size() <= settings.nicCount);
    std::vector<uint8_t> frame(RequestLength(Request::ApplySettings, 0) +
                               kNicEntryLength * settings.nics.size());
    Check(EncodeSettingsBody(settings, frame.data(), frame.size()));
    Check(std::memcmp(frame.data() + 80, data + 80, 36) == 0);
  }
  PasswordBody password;
  if (DecodePasswordBody(data, size, password)) {
    uint8_t frame[kPasswordRequestLength];
    Check(EncodePasswordBody(password, frame, sizeof frame));
    Check(std::memcmp(frame + 84, data + 84, 32) == 0);
  }
}

void FuzzReply(const uint8_t* data, std::size_t size) {
  (void)ReplyStatus(data, size);
  (void)ReplySetupState(data, size);
  HostRecord stored;
  const bool hasRecord = ReplyHostRecord(data, size, stored);
  Check(hasRecord == (size >= FrameOffset::Host + kHostRecordBaseLength));

  // The console's next request to this host, addressed from the reply.
  std::vector<uint8_t> request = BuildTargetedRequest(Request::ApplySettings, data, size,
                                                      static_cast<uint8_t>(stored.nics.size()));
  Check(request.empty() == (size < kHeaderLength));
  if (request.empty()) return;
  FixedText<16> pw;
  pw.assign("0123456789abcdef");
  SetCredentials(request, stored, "Administrator", pw);
  if (hasRecord) {
    // The reply compared with itself and with a record whose adapters are shifted by one.
    SettingsBody body;
    BuildSettingsBody(stored, stored, body);
    Check(body.nics.size() == body.nicCount);
    for (const NicEntry& nic : body.nics) Check(nic.changeMask == 0);
    HostRecord shifted = stored;
    if (!shifted.nics.empty()) shifted.nics.erase(shifted.nics.begin());
    BuildSettingsBody(shifted, stored, body);
    Check(EncodeSettingsBody(body, request.data(), request.size()));
    Check(BuiltRequestLength(request.data()) == request.size());
  }
}

void FuzzIpv4(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size < 64 ? size : 64);
  const uint32_t address = ParseIpv4(text);
  if (address != kInvalidIpv4) Check(ParseIpv4(FormatIpv4(address)) == address);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // A copy of exactly `size` bytes, so that any read past the end is caught, also for an
  // empty input (data may then be null).
  std::vector<uint8_t> bytes(data, data + size);
  const uint8_t* p = bytes.empty() ? nullptr : bytes.data();
  FuzzRequest(p, size);
  FuzzReply(p, size);
  FuzzHostRecord(p, size);
  FuzzIpv4(p, size);
  return 0;
}
