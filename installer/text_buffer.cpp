#include "installer/text_buffer.h"

#include <cwchar>

bool JoinText(wchar_t* out, std::size_t capacity, std::initializer_list<const wchar_t*> parts) {
  if (capacity == 0) return false;
  std::size_t used = 0;
  for (const wchar_t* part : parts) {
    const std::size_t length = std::wcslen(part);
    if (length >= capacity - used) {
      out[0] = L'\0';
      return false;
    }
    std::wmemcpy(out + used, part, length);
    used += length;
  }
  out[used] = L'\0';
  return true;
}
