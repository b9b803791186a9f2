// The authenticated requests of the console's actions, built from the selected host's stored
// reply and the credentials typed in a password dialog. Each returns an empty vector when the
// stored reply is too short to address the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "protocol/frames.h"

// What a password dialog hands back on OK.
struct Credentials {
  std::string_view userName;  // sent only to Windows hosts
  std::string_view password;  // at most 16 bytes travel; 16 fill the field without a NUL
};

// ApplySettings (code 2): addressed by `editReply` (the panel's working copy, whose host
// record is `edited`), body from BuildSettingsBody and sized by its card count.
std::vector<uint8_t> BuildApplyRequest(const uint8_t* editReply, std::size_t editLength,
                                       const HostRecord& stored, const HostRecord& edited,
                                       const Credentials& credentials);

// ChangePassword (code 3), 116 bytes; confirmPassword repeats newPassword.
std::vector<uint8_t> BuildPasswordRequest(const uint8_t* storedReply, std::size_t storedLength,
                                          const HostRecord& stored, const Credentials& credentials,
                                          uint8_t account, std::string_view newPassword);

// Team, Unteam or Restart (codes 4, 5, 7), 84 bytes with a zero body.
std::vector<uint8_t> BuildShortActionRequest(uint32_t requestCode, const uint8_t* reply,
                                             std::size_t replyLength, const HostRecord& stored,
                                             const Credentials& credentials);

// Team for the caption "Teaming" exactly, Unteam for any other.
uint32_t TeamingRequestCode(std::string_view caption);
