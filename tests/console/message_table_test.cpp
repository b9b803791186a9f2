#include "console/core/message_table.h"

#include <gtest/gtest.h>

namespace {

TEST(MessageText, EveryCodeOfTheTable) {
  EXPECT_STREQ(MessageText(1), "Unknown username or bad password");
  EXPECT_STREQ(MessageText(2), "Setting failed");
  EXPECT_STREQ(MessageText(3), "Receive response timed out");
  EXPECT_STREQ(MessageText(4), "IP conflict");
  EXPECT_STREQ(MessageText(7), "Password is too short (to Linux, it can not be empty)");
  EXPECT_STREQ(MessageText(8), "Failed to restart RIDO");
  EXPECT_STREQ(MessageText(9), "Account has no administrator privilege");
  EXPECT_STREQ(MessageText(17), "No enough memory");
  EXPECT_STREQ(MessageText(18), "Account is locked out");
  EXPECT_STREQ(MessageText(19), "Account is disabled");
  EXPECT_STREQ(MessageText(20), "Password has expired or must be changed at the host");
  EXPECT_STREQ(MessageText(21), "Account is not allowed to log on as a batch job on the host");
  EXPECT_STREQ(MessageText(22),
               "Account restrictions refuse the logon (blank password, logon hours or workstation)");
  EXPECT_STREQ(MessageText(23),
               "Password refused by the host's policy (length, complexity, history or age)");
  EXPECT_STREQ(MessageText(24), "Access denied");
  EXPECT_STREQ(MessageText(25), "Account not found on the host");
  EXPECT_STREQ(MessageText(26), "Host is a domain controller, it can not be renamed from here");
  EXPECT_STREQ(MessageText(27),
               "Host is a domain member, renaming it needs domain credentials, which are never sent");
  EXPECT_STREQ(MessageText(28),
               "Invalid host name (1 to 15 letters, digits or hyphens, not only digits)");
  EXPECT_STREQ(MessageText(29), "Restart failed, the host keeps running");
  EXPECT_STREQ(MessageText(10001), "Loading driver failed");
  EXPECT_STREQ(MessageText(10002), "Can not find any Orvane server");
  EXPECT_STREQ(MessageText(10003), "Hostname can not be less than 2 letters");
  EXPECT_STREQ(MessageText(10004), "Open adapter card failed");
  EXPECT_STREQ(MessageText(10005), "NIC changed, the client would be closed");
  EXPECT_STREQ(MessageText(10006), "Host key changed, nothing was sent to the host");
  EXPECT_STREQ(MessageText(10007), "Host key not trusted, nothing was sent to the host");
  EXPECT_STREQ(MessageText(10008),
               "Launch refused, the management address is not a plain http or https page");
  EXPECT_STREQ(MessageText(10009), "Too many servers answered, only the first 4096 are listed");
  EXPECT_STREQ(MessageText(10011),
               "Trust store can not be read, no key was pinned and nothing was sent to the host");
  EXPECT_STREQ(MessageText(10012), "Host key changed since it was shown, no key was pinned");
  EXPECT_STREQ(MessageText(10013), "Trust store can not be written, no key was pinned");
}

TEST(MessageText, CodesWithoutTextAreUnknownErrors) {
  for (unsigned code : {0u, 5u, 6u, 10u, 16u, 32u, 10000u, 0xFFFFu, 0x10001u, 0xFFFFFFFFu}) {
    EXPECT_STREQ(MessageText(code), "Unknown error") << code;
  }
}

}  // namespace
