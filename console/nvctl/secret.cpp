#include "console/nvctl/secret.h"

#include "protocol/frames.h"

Secret& Secret::operator=(Secret&& other) noexcept {
  if (this != &other) {
    WipeSecret(text_);
    text_ = std::move(other.text_);
    WipeSecret(other.text_);
  }
  return *this;
}

bool PasswordFromText(std::string_view text, Secret& password, std::string& error) {
  std::string_view line = text.substr(0, text.find('\n'));
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.find('\0') != std::string_view::npos) {
    error = "the password holds a NUL byte";
    return false;
  }
  if (line.size() > kPasswordLength) {
    error = "the password is longer than 16 characters";
    return false;
  }
  password = Secret(std::string(line));
  return true;
}
