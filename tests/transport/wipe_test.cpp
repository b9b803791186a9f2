#include "transport/core/wipe.h"

#include <gtest/gtest.h>

namespace {

// The bytes themselves are overwritten, not only the length reset: the allocation the secret
// occupied (kept by clear()) reads as zeros afterwards, a text's beyond its current end too.
TEST(WipeSecret, OverwritesTheBytesInPlace) {
  std::string password = "an older, longer password on the heap";
  password = "Sup3r-Secret-Pass";  // the older one's tail is still in the allocation
  const char* bytes = password.data();
  const std::size_t capacity = password.capacity();
  tavi::WipeSecret(password);
  EXPECT_TRUE(password.empty());
  ASSERT_EQ(password.data(), bytes);
  for (std::size_t i = 0; i < capacity; ++i) EXPECT_EQ(bytes[i], '\0') << i;

  std::vector<uint8_t> request(116, 0x5A);
  const uint8_t* raw = request.data();
  tavi::WipeSecret(request);
  EXPECT_TRUE(request.empty());
  ASSERT_EQ(request.data(), raw);
  for (std::size_t i = 0; i < 116; ++i) EXPECT_EQ(raw[i], 0) << i;

  std::string empty;
  tavi::WipeSecret(empty);  // nothing to do, nothing touched
  EXPECT_TRUE(empty.empty());
  tavi::Wipe(nullptr, 16);
}

}  // namespace
