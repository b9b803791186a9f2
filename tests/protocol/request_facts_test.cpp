#include <gtest/gtest.h>

#include "protocol/frames.h"

namespace {

TEST(Lengths, ByCodeAndNicCount) {
  EXPECT_EQ(RequestLength(Request::Discover, 0), 84u);
  EXPECT_EQ(RequestLength(Request::ApplySettings, 3), 260u);
  EXPECT_EQ(RequestLength(Request::ChangePassword, 7), 116u);  // nicCount sizes code 2 only
  EXPECT_EQ(RequestLength(Request::Refresh, 5), 84u);
  EXPECT_EQ(ReplyLength(Request::Discover, 0), 155u);
  EXPECT_EQ(ReplyLength(Request::ApplySettings, 10), 595u);  // fits the 596-byte buffer
  EXPECT_EQ(ReplyLength(Request::Poll, 9), 27u);
  EXPECT_EQ(ConsoleReplyBufferLength(Request::Discover), 0u);
  EXPECT_EQ(ConsoleReplyBufferLength(Request::Refresh), 596u);
  EXPECT_EQ(ConsoleReplyBufferLength(Request::Restart), 32u);
  EXPECT_LE(ReplyLength(Request::Refresh, kAgentNicCapacity), kAgentBufferLength);
  EXPECT_GT(ReplyLength(Request::Refresh, kAgentNicCapacity + 1), kAgentBufferLength);
  for (uint32_t code : {0u, Request::Reserved8, 10u, 0xFFFFFFFFu}) {
    EXPECT_EQ(RequestLength(code, 0) + ReplyLength(code, 0) + ConsoleReplyBufferLength(code), 0u)
        << code;
  }
}

}  // namespace
