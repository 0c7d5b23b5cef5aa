#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace kelvane {

// Thrown when a read would leave the buffer or a value cannot be trusted.
// `offset` is where the bad field starts.
struct ReadFault {
  std::size_t offset;
  std::string what;
};

// A four-byte tag as the 32-bit little-endian value its bytes make.
constexpr std::uint32_t MakeTag(const char (&s)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(s[0])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[3])) << 24;
}

std::string TagText(std::uint32_t tag);

inline std::uint32_t LoadU32(const std::byte* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

inline std::uint16_t LoadU16(const std::byte* p) {
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap16(v);
  return v;
}

inline float LoadF32(const std::byte* p) {
  return std::bit_cast<float>(LoadU32(p));
}

// Bounds-checked little-endian reads over a byte buffer.
class ByteCursor {
 public:
  explicit ByteCursor(std::span<const std::byte> data, std::size_t pos = 0)
      : data_(data), pos_(pos) {}

  std::size_t position() const { return pos_; }
  std::size_t size() const { return data_.size(); }
  std::size_t remaining() const { return pos_ < data_.size() ? data_.size() - pos_ : 0; }

  // Returns a pointer to the next `n` bytes and moves past them.
  const std::byte* Take(std::size_t n, const char* what) {
    if (n > remaining()) Fail(std::string("the file ends inside ") + what);
    const std::byte* p = data_.data() + pos_;
    pos_ += n;
    return p;
  }
  void Skip(std::size_t n, const char* what) { Take(n, what); }

  std::uint32_t U32(const char* what) { return LoadU32(Take(4, what)); }
  std::int32_t I32(const char* what) { return static_cast<std::int32_t>(U32(what)); }
  float F32(const char* what) { return LoadF32(Take(4, what)); }

  [[noreturn]] void Fail(const std::string& what) const { throw ReadFault{pos_, what}; }

 private:
  std::span<const std::byte> data_;
  std::size_t pos_;
};

}  // namespace kelvane
