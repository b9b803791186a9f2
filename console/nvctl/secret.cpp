#include "console/nvctl/secret.h"

#include "protocol/frames.h"

void WipeBytes(void* data, std::size_t length) {
  volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
  for (std::size_t i = 0; i < length; ++i) p[i] = 0;
}

void WipeString(std::string& text) {
  // The whole allocation: a shorter text may have left older bytes behind its end.
  if (text.capacity() > 0) WipeBytes(&text[0], text.capacity());
  text.clear();
}

void WipeBuffer(std::vector<uint8_t>& bytes) {
  if (!bytes.empty()) WipeBytes(bytes.data(), bytes.size());
  bytes.clear();
}

Secret& Secret::operator=(Secret&& other) noexcept {
  if (this != &other) {
    WipeString(text_);
    text_ = std::move(other.text_);
    WipeString(other.text_);
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
