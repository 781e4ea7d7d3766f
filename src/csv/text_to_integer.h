#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace cachesift {

// The white space that number conversions skip.
inline bool isNumberSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// Decimal text to a 32-bit word, the one conversion used for every number
// read back from CSV: leading white space (blank, 0x09 to 0x0D) is skipped,
// one "+" or "-" is taken, then digits up to the first other byte. The value
// wraps modulo 2^32 without any overflow check, so "4294967295" and "-1"
// both give 0xFFFFFFFF, the bits that were printed. No digits give 0.
// Inline, as it runs for nearly every cell of a CSV file.
inline std::uint32_t textToInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isNumberSpace(text[i])) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::uint32_t value = 0;  // unsigned arithmetic wraps modulo 2^32 by definition
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
  }
  return negative ? 0u - value : value;
}

// Binary-digit text back to a word: leading white space is skipped, then the
// digits 0 and 1 up to the first other byte are read, most significant first,
// modulo 2^32.
std::uint32_t binaryTextToInteger(std::string_view text);

}  // namespace cachesift
