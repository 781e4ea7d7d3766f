#pragma once

// The text of a cell's number or bytes, written straight into a sink's
// reserved room: decimal integers, floats as the CSV shows them, and
// hexadecimal bytes; and those bytes read back.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "csv/decimal_digits.h"
#include "io/byte_sink.h"

namespace cachesift {

// Room for any number cell: a float takes up to a sign, 39 digits, the point
// and six decimals, or written exactly, a sign, "0." and 45 decimals.
inline constexpr std::size_t kMaxNumberCell = 48;

namespace detail {

// "0000" to "9999", each in the bytes of a 32-bit word, the first digit in
// the lowest byte: numbers are written four digits at a time.
inline constexpr std::array<std::uint32_t, 10000> kFourDigits = [] {
  std::array<std::uint32_t, 10000> words{};
  for (std::uint32_t n = 0; n < 10000; ++n) {
    words[n] = (n / 1000 + 0x30) | (n / 100 % 10 + 0x30) << 8 | (n / 10 % 10 + 0x30) << 16 |
               (n % 10 + 0x30) << 24;
  }
  return words;
}();

}  // namespace detail

// The eight digits of `value` (below 10^8) as text, leading zeros included,
// the first in the lowest byte.
inline std::uint64_t eightDigitText(std::uint32_t value) {
  return detail::kFourDigits[value / 10000] | std::uint64_t{detail::kFourDigits[value % 10000]}
                                                  << 32;
}

// Writes `value` in decimal, without a branch per digit (the lengths of a
// record's numbers are hard to predict). Eight bytes are stored at a time,
// up to seven of them past the number.
inline char* writeDecimal(char* out, std::uint32_t value) {
  constexpr std::uint32_t kHundredMillion = 100'000'000;
  constexpr std::uint64_t kZeroDigits = 0x3030303030303030;  // "00000000"
  if (value >= kHundredMillion) {
    const std::uint32_t high = value / kHundredMillion;  // 1 to 42
    *out = static_cast<char>('0' + high / 10);
    out += high >= 10 ? 1 : 0;
    *out++ = static_cast<char>('0' + high % 10);
    storeEightBytes(out, eightDigitText(value % kHundredMillion));
    return out + 8;
  }
  const std::uint64_t text = eightDigitText(value);
  // Leading zeros are dropped, all but the last digit.
  const int zeros = std::countr_zero((text - kZeroDigits) | std::uint64_t{1} << 56) / 8;
  storeEightBytes(out, text >> (8 * zeros));
  return out + 8 - zeros;
}

// The same for a signed word, without a branch on its sign.
inline char* writeSigned(char* out, std::int32_t value) {
  const bool negative = value < 0;
  *out = '-';
  // The magnitude of INT32_MIN is a word too: negate in unsigned arithmetic.
  const auto word = static_cast<std::uint32_t>(value);
  return writeDecimal(out + (negative ? 1 : 0), negative ? 0u - word : word);
}

char* writeDecimal64(char* out, std::uint64_t value);
char* writeSigned64(char* out, std::int64_t value);

// As printf("%f") prints the float widened to double: fixed notation with six
// decimals, rounded to nearest with ties to even, whatever the locale.
char* writeFloat(char* out, std::uint32_t bits);
// As writeFloat() where its six decimals read back to the same float, else
// the shortest decimals that do. REQUIRES: a finite float.
char* writeExactFloat(char* out, std::uint32_t bits);
// The shortest decimals that read back to the double. REQUIRES: finite.
char* writeExactDouble(char* out, std::uint64_t bits);

// Two hexadecimal digits a byte, in file order.
void appendHex(ByteSink& sink, std::string_view bytes);
// The bytes that hexadecimal text stands for, two digits a byte, up to the
// first pair that is not two digits.
std::string bytesFromHex(std::string_view text);

}  // namespace cachesift
