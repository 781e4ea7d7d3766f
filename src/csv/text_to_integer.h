#pragma once

// Integer cells read back, modulo their width.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "csv/decimal_digits.h"

namespace cachesift {

// The white space that number conversions skip.
inline bool isNumberSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

inline bool isDecimalDigit(char c) {
  return static_cast<unsigned char>(c - '0') <= 9;
}

// The first byte of [first, last) that is not such white space.
inline const char* skipNumberSpace(const char* first, const char* last) {
  while (first != last && isNumberSpace(*first)) {
    ++first;
  }
  return first;
}

// Decimal text to a 32-bit word, the one conversion used for every number
// read back from CSV: leading white space (blank, 0x09 to 0x0D) is skipped,
// one "+" or "-" is taken, then digits up to the first other byte. The value
// wraps modulo 2^32 without any overflow check, so "4294967295" and "-1"
// both give 0xFFFFFFFF, the bits that were printed. No digits give 0.
//
// readInteger does it for the bytes [first, last) and returns where it
// stopped; it is inline, as it runs for nearly every cell of a CSV file.
inline const char* readInteger(const char* first, const char* last, std::uint32_t& value) {
  bool negative = false;
  if (first != last && !isDecimalDigit(*first)) {  // most cells start with a digit
    first = skipNumberSpace(first, last);
    if (first != last && (*first == '+' || *first == '-')) {
      negative = *first == '-';
      ++first;
    }
  }
  std::uint32_t magnitude = 0;  // unsigned arithmetic wraps modulo 2^32 by definition
  if (last - first >= 8) {      // without a branch per digit, where eight bytes can be read
    const int count = leadingDigits(loadEightBytes(first), magnitude);
    first += count;
    if (count < 8) {
      value = negative ? 0u - magnitude : magnitude;
      return first;
    }
  }
  for (; first != last && isDecimalDigit(*first); ++first) {
    magnitude = magnitude * 10 + static_cast<std::uint32_t>(*first - '0');
  }
  value = negative ? 0u - magnitude : magnitude;
  return first;
}

inline std::uint32_t textToInteger(std::string_view text) {
  std::uint32_t value;
  readInteger(text.data(), text.data() + text.size(), value);
  return value;
}

// The same for 64-bit fields: the value wraps modulo 2^64.
std::uint64_t textToInteger64(std::string_view text);

// Binary-digit text back to a word: leading white space is skipped, then the
// digits 0 and 1 up to the first other byte are read, most significant first,
// modulo 2^32.
std::uint32_t binaryTextToInteger(std::string_view text);

}  // namespace cachesift
