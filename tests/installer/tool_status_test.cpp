// Exit statuses and the registration details that Wine's control manager does not keep.
#include <gtest/gtest.h>

#include <string>

#include "installer/agent_service.h"
#include "installer/exit_status.h"
#include "installer/text_buffer.h"

namespace {

TEST(ExitStatus, AccessDeniedMeansAdministratorRightsAreNeeded) {
  EXPECT_EQ(StatusForError(ERROR_ACCESS_DENIED, kExitCreateFailed), kExitNotAdministrator);
  EXPECT_EQ(StatusForError(ERROR_SERVICE_MARKED_FOR_DELETE, kExitCreateFailed), kExitCreateFailed);
  EXPECT_EQ(StatusForError(ERROR_INVALID_NAME, kExitRemoveFailed), kExitRemoveFailed);
}

TEST(ExitStatus, UsageListsEveryStatusOnce) {
  // Scripts read the statuses from the usage text and the deployment guide: none may be
  // missing or listed twice.
  const std::string usage = UsageText();
  for (int status = kExitOk; status <= kExitConfigureFailed; ++status) {
    SCOPED_TRACE(status);
    const std::string line = "\n  " + std::to_string(status) + (status < 10 ? "  " : " ");
    const std::size_t at = usage.find(line);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(usage.find(line, at + 1), std::string::npos);
  }
  EXPECT_EQ(usage.find("\n  12 "), std::string::npos);
}

TEST(BinaryPath, QuotedOnceAndNeverCut) {
  TextBuffer out;
  ASSERT_TRUE(QuotedBinaryPath(L"C:\\Program Files\\Netvane Agent\\TaviAgent.exe", out, kTextChars));
  EXPECT_STREQ(out, L"\"C:\\Program Files\\Netvane Agent\\TaviAgent.exe\"");
  ASSERT_TRUE(QuotedBinaryPath(L"\"C:\\A B\\TaviAgent.exe\"", out, kTextChars));
  EXPECT_STREQ(out, L"\"C:\\A B\\TaviAgent.exe\"");

  wchar_t small[9];
  EXPECT_TRUE(QuotedBinaryPath(L"C:\\a b", small, 9));  // six characters, two quotes, the NUL
  EXPECT_STREQ(small, L"\"C:\\a b\"");
  EXPECT_FALSE(QuotedBinaryPath(L"C:\\a b", small, 8));
  EXPECT_STREQ(small, L"");
}

}  // namespace
