#include "console/core/host_key_texts.h"

#include <gtest/gtest.h>

#include "TaviClient.h"

namespace {

constexpr const char* kFingerprint =
    "9F3A 0C11 22B4 7E01 0000 FFFF 1234 ABCD 5678 90EF 0A0B 0C0D 0E0F 1011 1213 1415";

TEST(FingerprintLines, SixteenGroupsBecomeTwoRowsOfEight) {
  EXPECT_EQ(FingerprintLines(kFingerprint),
            "9F3A 0C11 22B4 7E01 0000 FFFF 1234 ABCD\r\n"
            "5678 90EF 0A0B 0C0D 0E0F 1011 1213 1415");
}

TEST(FingerprintLines, OtherShapesStayAsTheyAre) {
  EXPECT_EQ(FingerprintLines(""), "");
  EXPECT_EQ(FingerprintLines("SHA256:abcdefghijklmnop"), "SHA256:abcdefghijklmnop");
  EXPECT_EQ(FingerprintLines("A B C D E F G H"), "A B C D E F G H");  // 8 groups: one row
  // A blank at the very end opens no empty second line.
  EXPECT_EQ(FingerprintLines("A B C D E F G H "), "A B C D E F G H ");
}

TEST(HostKeyPanelText, FingerprintThenStateOrWordsAlone) {
  EXPECT_EQ(HostKeyPanelText(TV_KEY_TRUSTED, "A B C D E F G H I J"),
            "A B C D E F G H\r\nI J  (trusted)");
  EXPECT_EQ(HostKeyPanelText(TV_KEY_UNKNOWN, "AB"), "AB  (not trusted yet)");
  EXPECT_EQ(HostKeyPanelText(TV_KEY_CHANGED, "AB"), "AB  (CHANGED: not the pinned key)");
  EXPECT_EQ(HostKeyPanelText(TV_KEY_STORE_UNREADABLE, "AB"),
            "AB  (trust store unreadable: nothing is trusted)");
  // No key seen, or a state this console does not know: never a fingerprint.
  EXPECT_EQ(HostKeyPanelText(TV_KEY_NONE, "AB"), "No verified key seen yet");
  EXPECT_EQ(HostKeyPanelText(-1, "AB"), "");
  EXPECT_EQ(HostKeyPanelText(7, "AB"), "");
  EXPECT_EQ(HostKeyPanelText(TV_KEY_TRUSTED, ""), "(trusted)");
}

TEST(ReplaceKeyQuestion, NamesTheHost) {
  EXPECT_NE(ReplaceKeyQuestion("SRV1").find("pinned for SRV1 by"), std::string::npos);
}

}  // namespace
