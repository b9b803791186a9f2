#include "console/core/password_presets.h"

std::string OsLabelText(std::string_view osShortName) {
  osShortName = osShortName.substr(0, osShortName.find('\0'));
  return std::string(osShortName.substr(0, kOsLabelMaxChars));
}

UserNamePreset UserNamePresetFor(uint8_t osFamily) {
  switch (osFamily) {
    case 1: return {"Administrator", false};
    case 2: return {"root", true};
    default: return {"", false};
  }
}
