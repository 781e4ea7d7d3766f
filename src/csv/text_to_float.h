#pragma once

// Float cells read back.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "csv/decimal_digits.h"

namespace cachesift {

// Reads a float cell back: leading white space is skipped, then the longest
// decimal number is taken (sign, digits with an optional ".", an optional
// exponent introduced by e, E, d or D). It is read as a double, correctly
// rounded, and that double is rounded again to single precision. Values past
// the range give an infinity of their sign, tiny ones a zero of their sign.
// Text without a number gives 0; no hexadecimal and no words like "inf".
float textToFloat(std::string_view text);
// The same for 64-bit fields, without the rounding to single precision.
double textToDouble(std::string_view text);

// A float cell as the CSV writer prints most: an optional "-", up to seven
// digits, a point and up to eight decimals, and nothing else, read as
// textToDouble() reads it. Both parts are read a word at a time, so the whole
// cell is two loads; false for any other text.
inline bool readPrintedDecimal(std::string_view text, double& value) {
  static constexpr std::uint64_t kScales[] = {1,      10,      100,      1000,     10000,
                                              100000, 1000000, 10000000, 100000000};
  static constexpr double kPowersOf10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
  const bool negative = !text.empty() && text[0] == '-';
  text.remove_prefix(negative ? 1 : 0);
  if (text.size() < 8) {
    return false;
  }
  std::uint32_t whole;
  const int count = leadingDigits(loadEightBytes(text.data()), whole);
  if (count == 0 || count == 8 || text[static_cast<std::size_t>(count)] != '.') {
    return false;
  }
  const auto decimals = text.size() - static_cast<std::size_t>(count) - 1;
  if (decimals > 8) {
    return false;
  }
  // The decimals are the last bytes of the eight that end the text.
  std::uint32_t fraction = 0;
  if (decimals != 0 &&
      leadingDigits(loadEightBytes(text.data() + text.size() - 8) >> (64 - 8 * decimals),
                    fraction) != static_cast<int>(decimals)) {
    return false;
  }
  // A fraction of zeros, as most written floats have, needs no division; any
  // other is N / 10^k with N and 10^k exact doubles: one division rounds it.
  value = whole;
  if (fraction != 0) {
    value = static_cast<double>(whole * kScales[decimals] + fraction) / kPowersOf10[decimals];
  }
  value = negative ? -value : value;
  return true;
}

}  // namespace cachesift
