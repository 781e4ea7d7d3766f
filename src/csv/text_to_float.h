#pragma once

// Float cells read back.

#include <string_view>

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

}  // namespace cachesift
