// Passwords in nvctl's memory: kept in one place, wiped when no longer needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "transport/core/wipe.h"

using tavi::Wipe;
using tavi::WipeSecret;

// A password, wiped when it goes out of scope.
class Secret {
 public:
  Secret() = default;
  // The argument's own buffer (a short text lives inside it) is wiped as well.
  explicit Secret(std::string text) : text_(std::move(text)) { WipeSecret(text); }
  Secret(Secret&& other) noexcept : text_(std::move(other.text_)) { WipeSecret(other.text_); }
  Secret& operator=(Secret&& other) noexcept;
  Secret(const Secret&) = delete;
  Secret& operator=(const Secret&) = delete;
  ~Secret() { WipeSecret(text_); }

  std::string_view view() const { return text_; }
  bool empty() const { return text_.empty(); }

 private:
  std::string text_;
};

// The password in the content of a password file or variable: the first line without its
// line end. False with a reason when it is longer than the 16 bytes a request carries (a cut
// password would be refused as a wrong one, which says less).
bool PasswordFromText(std::string_view text, Secret& password, std::string& error);
