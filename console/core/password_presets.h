// What the password dialogs show on opening, from the host's operating system.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr std::size_t kOsLabelMaxChars = 9;
constexpr std::size_t kUserNameMaxChars = 32;
constexpr std::size_t kPasswordMaxChars = 16;

inline constexpr const char* kPasswordsDifferText = "Passwords do not match!";

struct UserNamePreset {
  const char* text;
  bool readOnly;
};

// The first nine characters of the short OS name.
std::string OsLabelText(std::string_view osShortName);

// Windows: "Administrator", editable; Linux: "root", read-only; anything else: empty, editable.
UserNamePreset UserNamePresetFor(uint8_t osFamily);
