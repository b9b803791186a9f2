#include <gtest/gtest.h>

#include <algorithm>

#include "protocol/frames.h"
#include "sample_records.h"

namespace {

constexpr uint8_t kCanary = 0xCD;

TEST(SettingsBodyCodec, ByteExactInAThreeAdapterRequest) {
  SettingsBody body;
  body.newHostName.assign("SRV-BETA");
  body.dnsServer = 0xC0A80001;
  body.dnsStatic = 1;
  body.nicCount = 3;
  for (int i = 0; i < 3; ++i) body.nics.push_back(SampleNic(i, false, 0xC0A80001, 0xFFFF0000, 0));
  body.nics[1].changeMask = kChangeMask;

  std::vector<uint8_t> frame(RequestLength(Request::ApplySettings, 3) + 4, kCanary);
  ASSERT_EQ(frame.size() - 4, 260u);
  ASSERT_TRUE(EncodeSettingsBody(body, frame.data(), 260));
  EXPECT_TRUE(std::all_of(frame.begin() + 260, frame.end(), [](uint8_t b) { return b == kCanary; }));
  EXPECT_TRUE(std::all_of(frame.begin(), frame.begin() + 80, [](uint8_t b) { return b == kCanary; }))
      << "the body encoder touches nothing before offset 80";

  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&frame[80]), 9), std::string("SRV-BETA\0", 9));
  EXPECT_TRUE(std::all_of(&frame[89], &frame[116], [](uint8_t b) { return b == 0; }));
  const uint8_t dns[] = {0x01, 0x00, 0xA8, 0xC0, 1, 0, 0, 0, 3, 0, 0, 0};
  EXPECT_TRUE(std::equal(dns, dns + 12, &frame[116]));
  EXPECT_EQ(LoadU32(&frame[128 + 28]), 0u);
  EXPECT_EQ(LoadU32(&frame[128 + 44 + 28]), 4u);
  EXPECT_EQ(LoadU32(&frame[128 + 88 + 32]), 0xC0A80001u);

  SettingsBody back;
  ASSERT_TRUE(DecodeSettingsBody(frame.data(), 260, back));
  EXPECT_EQ(back.newHostName.str(), "SRV-BETA");
  EXPECT_EQ(back.dnsServer, body.dnsServer);
  EXPECT_EQ(back.nicCount, 3);
  ASSERT_EQ(back.nics.size(), 3u);
  EXPECT_EQ(back.nics[1].changeMask, 4u);
  EXPECT_EQ(back.nics[2].nicName.str(), "NIC3");
}

TEST(SettingsBodyCodec, BoundsOfEncodeAndDecode) {
  SettingsBody body;
  body.nicCount = 2;
  body.nics.resize(2);
  std::vector<uint8_t> frame(300, kCanary);
  EXPECT_FALSE(EncodeSettingsBody(body, frame.data(), 215));  // one byte short of 216
  EXPECT_TRUE(std::all_of(frame.begin(), frame.end(), [](uint8_t b) { return b == kCanary; }));
  EXPECT_FALSE(EncodeSettingsBody(body, frame.data(), 100));

  SettingsBody out;
  out.dnsServer = 7;
  EXPECT_FALSE(DecodeSettingsBody(frame.data(), 127, out));
  EXPECT_EQ(out.dnsServer, 7u);

  // A code-2 frame received into the agent's 2048-byte buffer that claims 255 entries: the
  // whole buffer gives 43, no more. Applying at most 16 is the agent's decision.
  std::vector<uint8_t> received(kAgentBufferLength, 0);
  received[124] = 255;
  ASSERT_TRUE(DecodeSettingsBody(received.data(), received.size(), out));
  EXPECT_EQ(out.nicCount, 255);
  EXPECT_EQ(out.nics.size(), kAgentNicCapacity);

  received[124] = 0;
  ASSERT_TRUE(DecodeSettingsBody(received.data(), 128, out));
  EXPECT_TRUE(out.nics.empty());
}

TEST(PasswordBodyCodec, SixteenCharacterPasswordHasNoTerminator) {
  PasswordBody body;
  body.account = 1;
  body.newPassword.assign("0123456789abcdef");
  body.confirmPassword.assign("0123456789abcdef");
  std::vector<uint8_t> frame(kPasswordRequestLength + 4, kCanary);
  ASSERT_TRUE(EncodePasswordBody(body, frame.data(), kPasswordRequestLength));
  EXPECT_TRUE(std::all_of(frame.begin() + 116, frame.end(), [](uint8_t b) { return b == kCanary; }));
  const uint8_t account[] = {1, 0, 0, 0};
  EXPECT_TRUE(std::equal(account, account + 4, &frame[80]));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&frame[84]), 16), "0123456789abcdef");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&frame[100]), 16), "0123456789abcdef");

  PasswordBody back;
  ASSERT_TRUE(DecodePasswordBody(frame.data(), kPasswordRequestLength, back));
  EXPECT_EQ(back.account, 1);
  EXPECT_EQ(back.newPassword.str(), "0123456789abcdef");
  EXPECT_EQ(back.confirmPassword.str(), "0123456789abcdef");

  EXPECT_FALSE(EncodePasswordBody(body, frame.data(), 115));
  EXPECT_FALSE(DecodePasswordBody(frame.data(), 115, back));
}

}  // namespace
