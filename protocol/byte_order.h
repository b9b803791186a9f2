// Little-endian field access on byte buffers. Callers check bounds before they call these;
// ByteCursor does it for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void StoreU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// A read cursor over [data, data + length) that fails closed: once a read would pass the end
// it reads nothing more, returns zeros and ok() stays false.
class ByteCursor {
 public:
  ByteCursor(const uint8_t* data, std::size_t length) : data_(data), length_(length) {}

  bool ok() const { return ok_; }
  std::size_t position() const { return position_; }
  std::size_t remaining() const { return ok_ ? length_ - position_ : 0; }

  uint8_t U8() {
    const uint8_t* p = Take(1);
    return p ? p[0] : 0;
  }
  uint16_t U16() {
    const uint8_t* p = Take(2);
    return p ? LoadU16(p) : 0;
  }
  uint32_t U32() {
    const uint8_t* p = Take(4);
    return p ? LoadU32(p) : 0;
  }
  void Bytes(void* out, std::size_t count) {
    const uint8_t* p = Take(count);
    if (p) std::memcpy(out, p, count);
    else std::memset(out, 0, count);
  }

 private:
  const uint8_t* Take(std::size_t count) {
    if (!ok_ || count > length_ - position_) {
      ok_ = false;
      return nullptr;
    }
    const uint8_t* p = data_ + position_;
    position_ += count;
    return p;
  }

  const uint8_t* data_;
  std::size_t length_;
  std::size_t position_ = 0;
  bool ok_ = true;
};
