#include <gtest/gtest.h>

#include "protocol/frames.h"

namespace {

// The code table by its rules: credentials only ever sealed, every reply fits the buffer it
// lands in (Discover's: the one a delivered reply is cut to), nothing for a dropped code.
TEST(RequestFacts, EveryCodeKeepsTheRules) {
  for (uint32_t code : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(code);
    const RequestFacts& facts = RequestFactsOf(code);
    EXPECT_EQ(facts.credentials, facts.carriage == Carriage::Sealed);
    EXPECT_LE(ReplyLength(code, kAgentNicCapacity), kAgentBufferLength);
    EXPECT_LE(ReplyLength(code, kConsoleNicCapacity),
              code == Request::Discover ? kConsoleReplyBufferLength : facts.consoleReplyLength);
    EXPECT_EQ(facts.carriage == Carriage::None, RequestLength(code, 0) + ReplyLength(code, 0) == 0);
  }
  EXPECT_GT(ReplyLength(Request::Refresh, kAgentNicCapacity + 1), kAgentBufferLength);
  EXPECT_EQ(RequestLength(Request::ApplySettings, 3), 260u);
  EXPECT_EQ(RequestLength(Request::ChangePassword, 7), 116u);  // nicCount sizes code 2 only
  EXPECT_EQ(ReplyLength(Request::Discover, 0) + ReplyLength(Request::Poll, 9), 155u + 27u);
}

}  // namespace
