#include <gtest/gtest.h>

#include "protocol/ipv4.h"

namespace {

TEST(Ipv4, DottedQuadIsMostSignificantOctetFirst) {
  EXPECT_EQ(ParseIpv4("192.168.0.1"), 0xC0A80001u);
  EXPECT_EQ(ParseIpv4("0.0.0.0"), 0u);
  EXPECT_EQ(ParseIpv4("10.0.0.255"), 0x0A0000FFu);
  EXPECT_EQ(FormatIpv4(0xC0A80001u), "192.168.0.1");
  EXPECT_EQ(FormatIpv4(0), "0.0.0.0");
  EXPECT_EQ(FormatIpv4(0xFFFFFFFFu), "255.255.255.255");
}

TEST(Ipv4, ShortFormsFillTheLastPartIntoTheRemainingBytes) {
  EXPECT_EQ(ParseIpv4("3232235521"), 0xC0A80001u);  // one part: all 32 bits
  EXPECT_EQ(ParseIpv4("192.11010049"), 0xC0A80001u);  // a.b, b is 24 bits
  EXPECT_EQ(ParseIpv4("192.168.1"), 0xC0A80001u);  // a.b.c, c is 16 bits
  EXPECT_EQ(ParseIpv4("10.65535"), 0x0A00FFFFu);
  EXPECT_EQ(ParseIpv4("1.2.65535"), 0x0102FFFFu);
}

TEST(Ipv4, OctalAndHexadecimalParts) {
  EXPECT_EQ(ParseIpv4("0300.0250.0.01"), 0xC0A80001u);
  EXPECT_EQ(ParseIpv4("0xC0.0xa8.0x0.0X1"), 0xC0A80001u);
  EXPECT_EQ(ParseIpv4("0xC0A80001"), 0xC0A80001u);
  EXPECT_EQ(ParseIpv4("0.0.0.00"), 0u);
}

TEST(Ipv4, RefusedTextGivesAllOnes) {
  for (const char* text :
       {"", ".", "1.2.3.4.", ".1.2.3", "1..2.3", "1.2.3.4.5", "256.0.0.1", "1.2.3.256",
        "1.2.65536", "1.16777216", "4294967296", "99999999999999999999", "08", "1.2.3.09",
        "0x", "1.0x.3.4", "0x1g", "1.2.3.4 ", " 1.2.3.4", "+1.2.3.4", "-1", "1.2.3.a",
        "abc"}) {
    EXPECT_EQ(ParseIpv4(text), kInvalidIpv4) << '"' << text << '"';
  }
  // The broadcast address is indistinguishable from a refusal, as with inet_addr.
  EXPECT_EQ(ParseIpv4("255.255.255.255"), kInvalidIpv4);
  EXPECT_TRUE(IsNoAddress(ParseIpv4("junk")));
  EXPECT_TRUE(IsNoAddress(0));
}

TEST(Ipv4, TextEndsAtTheFirstNul) {
  using namespace std::string_view_literals;
  EXPECT_EQ(ParseIpv4("10.1.2.3\0garbage"sv), 0x0A010203u);
  EXPECT_EQ(ParseIpv4("\0""1.2.3.4"sv), kInvalidIpv4);
}

TEST(Ipv4, FormatThenParseRoundTrips) {
  for (uint32_t a : {0x01020304u, 0x7F000001u, 0xFFFFFF00u, 0x00000001u, 0xC0A80001u}) {
    EXPECT_EQ(ParseIpv4(FormatIpv4(a)), a);
  }
}

}  // namespace
