#include "transport/core/envelope.h"

#include <gtest/gtest.h>

#include <numeric>

#include "protocol/byte_order.h"
#include "wire_helpers.h"

namespace tavi {
namespace {

using test::TestMac;

std::vector<uint8_t> Payload(std::size_t n) {
  std::vector<uint8_t> p(n);
  std::iota(p.begin(), p.end(), uint8_t{7});
  return p;
}

TEST(Envelope, ShortMessageIsOnePaddedFrameThatParsesBack) {
  const auto payload = Payload(27);
  auto frames = BuildFrames(TestMac(1), TestMac(2), EnvelopeFlag::Reply, 0xA1B2C3D4,
                            payload.data(), payload.size());
  ASSERT_EQ(frames.size(), 1u);
  ASSERT_EQ(frames[0].size(), kEthernetMinFrame);
  EXPECT_EQ(frames[0][12], 0x88);
  EXPECT_EQ(frames[0][13], 0xB5);
  // Little-endian id right after version and flags.
  EXPECT_EQ(frames[0][16], 0xD4);
  EXPECT_EQ(frames[0][19], 0xA1);

  Fragment f;
  ASSERT_EQ(ParseFragment(frames[0].data(), frames[0].size(), f), FrameVerdict::Accepted);
  EXPECT_EQ(f.destination, TestMac(1));
  EXPECT_EQ(f.source, TestMac(2));
  EXPECT_EQ(f.flags, EnvelopeFlag::Reply);
  EXPECT_EQ(f.transactionId, 0xA1B2C3D4u);
  EXPECT_EQ(f.count, 1);
  ASSERT_EQ(f.payloadLength, payload.size());
  EXPECT_TRUE(std::equal(payload.begin(), payload.end(), f.payload));
}

TEST(Envelope, LargestMessageSplitsIntoFullAndRemainderFragments) {
  const auto payload = Payload(kMaxMessageLength);
  auto frames = BuildFrames(kBroadcastMac, TestMac(2), 0, 9, payload.data(), payload.size());
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].size(), kEthernetMaxFrame);
  Fragment a, b;
  ASSERT_EQ(ParseFragment(frames[0].data(), frames[0].size(), a), FrameVerdict::Accepted);
  ASSERT_EQ(ParseFragment(frames[1].data(), frames[1].size(), b), FrameVerdict::Accepted);
  EXPECT_EQ(a.payloadLength, kFragmentPayload);
  EXPECT_EQ(b.payloadLength, kMaxMessageLength - kFragmentPayload);
  EXPECT_EQ(b.index, 1);
  EXPECT_EQ(b.payload[0], payload[kFragmentPayload]);
}

class EnvelopeRejects : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto payload = Payload(100);
    frame = BuildFrames(TestMac(1), TestMac(2), 0, 5, payload.data(), payload.size())[0];
  }
  FrameVerdict Parse() {
    Fragment f;
    return ParseFragment(frame.data(), frame.size(), f);
  }
  uint8_t* envelope() { return frame.data() + kEthernetHeaderLength; }
  std::vector<uint8_t> frame;
};

TEST_F(EnvelopeRejects, TruncatedFramesAtEveryLength) {
  const auto whole = frame;
  for (std::size_t n = 0; n < kEthernetHeaderLength + kEnvelopeHeaderLength + 100; ++n) {
    frame.assign(whole.begin(), whole.begin() + n);
    const FrameVerdict v = Parse();
    EXPECT_TRUE(v == FrameVerdict::Truncated) << "length " << n;
  }
  Fragment f;
  EXPECT_EQ(ParseFragment(nullptr, 60, f), FrameVerdict::Truncated);
}

TEST_F(EnvelopeRejects, ForeignEtherTypeAndUnknownVersion) {
  frame[13] = 0x00;  // 0x8800
  EXPECT_EQ(Parse(), FrameVerdict::ForeignType);
  frame[13] = 0xB5;
  // 1 clear, 3 the channel; 2, the channel before replies were bound to their request, is
  // as unknown as 4: neither side can be talked into it.
  for (uint8_t version : {uint8_t{2}, uint8_t{4}, uint8_t{0xFF}}) {
    envelope()[0] = version;
    EXPECT_EQ(Parse(), FrameVerdict::BadVersion) << int(version);
  }
  envelope()[0] = 0;
  EXPECT_EQ(Parse(), FrameVerdict::BadVersion);
}

TEST_F(EnvelopeRejects, SourcesWithTheGroupBitWhateverTheRest) {
  for (uint8_t first : {uint8_t{0x01}, uint8_t{0x03}, uint8_t{0xFF}}) {
    frame[6] = first;
    EXPECT_EQ(Parse(), FrameVerdict::GroupSource) << int(first);
  }
  frame[6] = 0x02;
  EXPECT_EQ(Parse(), FrameVerdict::Accepted);
}

TEST_F(EnvelopeRejects, InconsistentFlagsCountsIndexesAndLengths) {
  const auto whole = frame;
  const auto expectMalformed = [&](auto change, const char* what) {
    frame = whole;
    change();
    EXPECT_EQ(Parse(), FrameVerdict::Malformed) << what;
  };
  expectMalformed([&] { envelope()[1] = 0x80; }, "unknown flag");
  expectMalformed([&] { envelope()[7] = 0; }, "count 0");
  expectMalformed([&] { envelope()[7] = 2; }, "count too high for the length");
  expectMalformed([&] { envelope()[6] = 1; }, "index past count");
  expectMalformed([&] { StoreU16(envelope() + 8, 99); }, "fragment shorter than announced");
  expectMalformed([&] { StoreU16(envelope() + 10, 0); }, "empty message");
  expectMalformed([&] { StoreU16(envelope() + 10, kMaxMessageLength + 1); }, "message too long");
  expectMalformed([&] { StoreU16(envelope() + 10, 0xFFFF); }, "message length 65535");
  // A middle fragment must be full: 2000 bytes in two fragments, first one claims 1000.
  expectMalformed(
      [&] {
        StoreU16(envelope() + 10, 2000);
        envelope()[7] = 2;
        StoreU16(envelope() + 8, 1000);
      },
      "short first fragment");
}

TEST_F(EnvelopeRejects, PayloadBeyondTheCapturedBytes) {
  StoreU16(envelope() + 8, 200);
  StoreU16(envelope() + 10, 200);
  EXPECT_EQ(Parse(), FrameVerdict::Truncated);
}

}  // namespace
}  // namespace tavi
