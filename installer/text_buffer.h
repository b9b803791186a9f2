// Fixed-size wide-character buffers for paths and the command line.
#pragma once

#include <cstddef>
#include <initializer_list>

// Paths and the converted command line never exceed this many wide characters,
// the terminating NUL included.
constexpr std::size_t kTextChars = 1024;

using TextBuffer = wchar_t[kTextChars];

// Concatenates the parts into out (capacity chars). Returns false and leaves an empty
// string when the result and its NUL would not fit: a cut path would name another file.
bool JoinText(wchar_t* out, std::size_t capacity, std::initializer_list<const wchar_t*> parts);

inline bool JoinText(TextBuffer& out, std::initializer_list<const wchar_t*> parts) {
  return JoinText(out, kTextChars, parts);
}
