// The adapter lists of the TCP/IP registry values: untrusted bytes in, first entry
// replaced, the rest and the parallel lengths kept.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent/tcpip_lists.h"

namespace {

using Strings = std::vector<std::string>;

TEST(MultiStringTest, SplitsWhatTheRegistryMayHold) {
  const char two[] = "10.0.0.1\0" "10.0.0.2\0\0";
  EXPECT_EQ(SplitMultiString(two, sizeof two - 1), (Strings{"10.0.0.1", "10.0.0.2"}));
  // A last string without its terminator, as a hostile or truncated value may end.
  const char cut[] = {'1', '0', '.', '0', '.', '0', '.', '1', '\0', '9'};
  EXPECT_EQ(SplitMultiString(cut, sizeof cut), (Strings{"10.0.0.1", "9"}));
  // Nothing, a lone zero byte, an empty list, data after the list's end.
  EXPECT_TRUE(SplitMultiString(nullptr, 10).empty());
  EXPECT_TRUE(SplitMultiString("", 0).empty());
  EXPECT_TRUE(SplitMultiString("\0", 1).empty());
  const char tail[] = "a\0\0b\0";
  EXPECT_EQ(SplitMultiString(tail, sizeof tail - 1), (Strings{"a"}));
}

TEST(MultiStringTest, JoinsToWellFormedData) {
  EXPECT_EQ(JoinMultiString({}), std::string("\0\0", 2));
  EXPECT_EQ(JoinMultiString({"1.2.3.4"}), std::string("1.2.3.4\0\0", 9));
  // Empty strings would end the list early: they are left out.
  EXPECT_EQ(JoinMultiString({"a", "", "b"}), std::string("a\0b\0\0", 5));
  const std::string round = JoinMultiString({"x", "yy", "zzz"});
  EXPECT_EQ(SplitMultiString(round.data(), round.size()), (Strings{"x", "yy", "zzz"}));
}

TEST(ServerListTest, FirstServerReplacedAlternatesKept) {
  EXPECT_EQ(ReplaceFirstServer("10.0.0.53,10.0.0.54", "192.0.2.1"), "192.0.2.1,10.0.0.54");
  // NT 5.x lists may use spaces; the list keeps its own separator.
  EXPECT_EQ(ReplaceFirstServer("10.0.0.53 10.0.0.54 10.0.0.55", "192.0.2.1"),
            "192.0.2.1 10.0.0.54 10.0.0.55");
  EXPECT_EQ(ReplaceFirstServer("", "192.0.2.1"), "192.0.2.1");
  EXPECT_EQ(ReplaceFirstServer(",, ,", "192.0.2.1"), "192.0.2.1");
  EXPECT_EQ(SplitServerList(" 1.1.1.1,,2.2.2.2 "), (Strings{"1.1.1.1", "2.2.2.2"}));
}

TEST(ParallelListTest, FirstPairReplacedFurtherAddressesKept) {
  const ParallelLists two = ReadParallel({"10.0.0.5", "10.0.1.5"}, {"255.255.255.0", "255.255.0.0"});
  const ParallelLists address = ReplaceFirstPair(two, "10.0.0.9", "", "10.0.0.9", "255.0.0.0");
  EXPECT_EQ(address.first, (Strings{"10.0.0.9", "10.0.1.5"}));
  EXPECT_EQ(address.second, (Strings{"255.255.255.0", "255.255.0.0"}));
  const ParallelLists mask = ReplaceFirstPair(two, "", "255.255.255.128", "x", "y");
  EXPECT_EQ(mask.first, (Strings{"10.0.0.5", "10.0.1.5"}));
  EXPECT_EQ(mask.second, (Strings{"255.255.255.128", "255.255.0.0"}));
}

TEST(ParallelListTest, ListsOfDifferentLengthsComeOutParallel) {
  // A mask list shorter than the address list: the missing masks repeat the first.
  const ParallelLists shortMasks =
      ReplaceFirstPair(ReadParallel({"10.0.0.5", "10.0.1.5", "10.0.2.5"}, {"255.255.255.0"}), "",
                       "255.255.255.128", "", "");
  EXPECT_EQ(shortMasks.second.size(), 3u);
  EXPECT_EQ(shortMasks.second[2], "255.255.255.128");
  // Surplus masks go; no masks at all take the fallback.
  EXPECT_EQ(ReplaceFirstPair(ReadParallel({"10.0.0.5"}, {"255.0.0.0", "255.255.0.0"}), "", "", "",
                             "")
                .second,
            (Strings{"255.0.0.0"}));
  EXPECT_EQ(ReplaceFirstPair(ReadParallel({"10.0.0.5"}, {}), "", "", "", "255.255.255.0").second,
            (Strings{"255.255.255.0"}));
}

TEST(ParallelListTest, DhcpPlaceholderIsNoAddress) {
  const ParallelLists dhcp = ReadParallel({"0.0.0.0"}, {"0.0.0.0"});
  EXPECT_TRUE(dhcp.first.empty());
  EXPECT_TRUE(dhcp.second.empty());
  const ParallelLists fixed = ReplaceFirstPair(dhcp, "10.0.0.9", "", "10.0.0.9", "255.255.255.0");
  EXPECT_EQ(fixed.first, (Strings{"10.0.0.9"}));
  EXPECT_EQ(fixed.second, (Strings{"255.255.255.0"}));
}

TEST(ParallelListTest, HostileSizesStayBounded) {
  // A value of thousands of entries and one long garbage string: handled, nothing lost.
  std::string data;
  for (int i = 0; i < 5000; ++i) data += "1.2.3." + std::to_string(i % 256) + '\0';
  data += std::string(70000, 'A');
  const Strings split = SplitMultiString(data.data(), data.size());
  ASSERT_EQ(split.size(), 5001u);
  const ParallelLists out = ReplaceFirstPair(ReadParallel(split, {}), "9.9.9.9", "", "", "255.0.0.0");
  EXPECT_EQ(out.first.size(), out.second.size());
  EXPECT_EQ(out.first[0], "9.9.9.9");
  EXPECT_EQ(out.first[5000].size(), 70000u);
}

}  // namespace
