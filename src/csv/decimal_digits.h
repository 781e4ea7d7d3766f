#pragma once

// Decimal digits eight at a time.

#include <bit>
#include <cstdint>
#include <cstring>

namespace cachesift {

// Decimal digits eight at a time, in the bytes of a 64-bit word, without a
// branch per digit. The word's lowest byte is the first in memory: it holds
// the first digit.

// The eight bytes at `p` as such a word.
inline std::uint64_t loadEightBytes(const char* p) {
  std::uint64_t word = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&word, p, sizeof word);
  } else {
    for (int i = 7; i >= 0; --i) {
      word = word << 8 | static_cast<unsigned char>(p[i]);
    }
  }
  return word;
}

// Stores such a word's eight bytes at `p`.
inline void storeEightBytes(char* p, std::uint64_t word) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &word, sizeof word);
  } else {
    for (int i = 0; i < 8; ++i) {
      p[i] = static_cast<char>(word >> (8 * i));
    }
  }
}

// The number of decimal digits that begin the eight bytes of `bytes` (0 to
// 8), and in `value` what they read as.
inline int leadingDigits(std::uint64_t bytes, std::uint32_t& value) {
  const std::uint64_t digits = bytes - 0x3030303030303030;
  // A byte that is no digit gets its top bit: below '0' the subtraction
  // wraps, above '9' adding 0x76 passes 0x80. Bytes after it do not count.
  const int count =
      std::countr_zero((digits | (digits + 0x7676767676767676)) & 0x8080808080808080) / 8;
  if (count == 0) {
    value = 0;
    return 0;
  }
  // The digits into the top bytes, as an eight-digit number with leading
  // zeros, then pairs, fours and all eight put together.
  std::uint64_t number = digits << (64 - 8 * count);
  number = (number * 10 + (number >> 8)) & 0x00FF00FF00FF00FF;
  number = (number * 100 + (number >> 16)) & 0x0000FFFF0000FFFF;
  value = static_cast<std::uint32_t>(number * 10000 + (number >> 32));
  return count;
}

// The same for the digits that begin [p, end), of which fewer than eight may
// be left: then the eight bytes that end at `end` are read. REQUIRES: the
// eight bytes from `p`, or those up to `end`, are readable.
inline int leadingDigits(const char* p, const char* end, std::uint32_t& value) {
  const auto left = end - p;
  std::uint64_t bytes = 0;  // zero bytes are no digits
  if (left >= 8) {
    bytes = loadEightBytes(p);
  } else if (left > 0) {
    bytes = loadEightBytes(end - 8) >> (64 - 8 * left);
  }
  return leadingDigits(bytes, value);
}

}  // namespace cachesift
