#include "console/core/host_key_texts.h"

#include "TaviClient.h"

std::string FingerprintLines(std::string_view fingerprint) {
  std::string text(fingerprint);
  std::size_t blanks = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != ' ' || ++blanks != kFingerprintGroupsPerLine) continue;
    if (i + 1 == text.size()) break;  // nothing follows: no second line
    text.replace(i, 1, "\r\n");
    break;
  }
  return text;
}

std::string HostKeyPanelText(int state, std::string_view fingerprint) {
  const char* words;
  switch (state) {
    case TV_KEY_TRUSTED: words = "(trusted)"; break;
    case TV_KEY_UNKNOWN: words = "(not trusted yet)"; break;
    case TV_KEY_CHANGED: words = "(CHANGED: not the pinned key)"; break;
    case TV_KEY_STORE_UNREADABLE: words = "(trust store unreadable: nothing is trusted)"; break;
    case TV_KEY_NONE: return "No verified key seen yet";
    default: return "";  // a library that keeps no host keys
  }
  if (fingerprint.empty()) return words;
  return FingerprintLines(fingerprint) + "  " + words;
}

std::string ReplaceKeyQuestion(std::string_view hostName) {
  return "Replace the key pinned for " + std::string(hostName) +
         " by the key it presents now?\r\n\r\nDo this only when you have compared the new "
         "fingerprint with the one TaviTool -fingerprint prints on that host.";
}
