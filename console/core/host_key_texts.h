// Texts around an agent's host key: the fingerprint laid out for a dialog or the panel, the
// key's state in words, and the question before a pinned key is replaced.
#pragma once

#include <string>
#include <string_view>

// Groups after which a fingerprint continues on a second line: 16 groups of 4 hex digits
// read more easily as two rows of 8, one under the other.
constexpr std::size_t kFingerprintGroupsPerLine = 8;

// The fingerprint with the blank after its 8th group replaced by CR LF; a text with fewer
// groups is returned as it is.
std::string FingerprintLines(std::string_view fingerprint);

// The panel's line about the host's key (a TV_KEY_* state of TaviClient.h): the fingerprint
// in two lines followed by the state in words, or only the words when no key is known; empty
// for a state the console does not know (a library without host keys).
std::string HostKeyPanelText(int state, std::string_view fingerprint);

// Asked before a changed key replaces the pinned one; "No" is the default answer.
std::string ReplaceKeyQuestion(std::string_view hostName);
