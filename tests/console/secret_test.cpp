#include "console/core/secret.h"

#include <gtest/gtest.h>

namespace {

// The bytes themselves are overwritten, not only the length reset: the buffer the secret
// occupied (kept by clear()) reads as zeros afterwards.
TEST(WipeSecret, OverwritesTheBytesInPlace) {
  std::string password = "Sup3r-Secret-Pass";  // beyond the small-string buffer
  const char* bytes = password.data();
  const std::size_t length = password.size();
  WipeSecret(password);
  EXPECT_TRUE(password.empty());
  ASSERT_EQ(password.data(), bytes);
  for (std::size_t i = 0; i < length; ++i) EXPECT_EQ(bytes[i], '\0') << i;

  std::vector<uint8_t> request(116, 0x5A);
  const uint8_t* raw = request.data();
  WipeSecret(request);
  EXPECT_TRUE(request.empty());
  ASSERT_EQ(request.data(), raw);
  for (std::size_t i = 0; i < 116; ++i) EXPECT_EQ(raw[i], 0) << i;

  std::string empty;
  WipeSecret(empty);  // nothing to do, nothing touched
  EXPECT_TRUE(empty.empty());
}

}  // namespace
