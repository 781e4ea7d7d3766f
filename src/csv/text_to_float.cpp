// Float cells read back, correctly rounded.

#include "csv/text_to_float.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <limits>
#include <optional>
#include <string>

#include "csv/decimal_digits.h"
#include "csv/text_to_integer.h"

namespace cachesift {
namespace {

static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "a double is rounded to the nearest float by a plain conversion");

std::size_t countDigits(std::string_view text, std::size_t from) {
  std::size_t end = from;
  while (end < text.size() && isDecimalDigit(text[end])) {
    ++end;
  }
  return end - from;
}

// A decimal number found at the start of a text, in parts.
struct DecimalNumber {
  std::string_view whole;  // the number as it stands in the text
  bool plus = false;       // it starts with "+"
  bool dExponent = false;  // its exponent letter is d or D
  bool negative = false;
  std::string_view integerDigits;
  std::string_view fractionDigits;
  std::string_view exponentDigits;  // empty: no exponent
  bool negativeExponent = false;
};

bool scanDecimal(std::string_view text, DecimalNumber& number) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    number.negative = text[i] == '-';
    number.plus = text[i] == '+';
    ++i;
  }
  const std::size_t integerCount = countDigits(text, i);
  number.integerDigits = text.substr(i, integerCount);
  i += integerCount;
  if (i < text.size() && text[i] == '.') {
    const std::size_t fractionCount = countDigits(text, i + 1);
    number.fractionDigits = text.substr(i + 1, fractionCount);
    if (integerCount > 0 || fractionCount > 0) {
      i += 1 + fractionCount;
    }
  }
  if (number.integerDigits.empty() && number.fractionDigits.empty()) {
    return false;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    std::size_t j = i + 1;
    bool negativeExponent = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
      negativeExponent = text[j] == '-';
      ++j;
    }
    const std::size_t exponentCount = countDigits(text, j);
    if (exponentCount > 0) {
      number.exponentDigits = text.substr(j, exponentCount);
      number.negativeExponent = negativeExponent;
      number.dExponent = text[i] == 'd' || text[i] == 'D';
      i = j + exponentCount;
    }
  }
  number.whole = text.substr(0, i);
  return true;
}

// For a number that a double cannot hold: whether it is too large (rather
// than too small). Its order of magnitude is that of its first non-zero digit.
bool isTooLarge(const DecimalNumber& number) {
  long long magnitude = 0;
  const std::size_t firstInteger = number.integerDigits.find_first_not_of('0');
  if (firstInteger != std::string_view::npos) {
    magnitude = static_cast<long long>(number.integerDigits.size() - firstInteger);
  } else {
    const std::size_t firstFraction = number.fractionDigits.find_first_not_of('0');
    magnitude = -static_cast<long long>(firstFraction);
  }
  long long exponent = 0;
  for (char c : number.exponentDigits) {
    exponent = std::min(exponent * 10 + (c - '0'), 1'000'000'000LL);  // saturate, it is a guess
  }
  return magnitude + (number.negativeExponent ? -exponent : exponent) > 0;
}

// Adds the digits that begin [p, end) to `digits` (times ten per digit) and
// returns where they stop. Up to seven are read at once where eight bytes of
// `text` can be read.
inline const char* readDigits(const char* p, const char* end, std::string_view text,
                              std::uint64_t& digits) {
  static constexpr std::uint64_t kPowersOf10[] = {1,     10,     100,     1000,
                                                  10000, 100000, 1000000, 10000000};
  if (text.size() >= 8) {
    std::uint32_t value;
    const int count = leadingDigits(p, end, value);
    if (count < 8) {
      digits = digits * kPowersOf10[count] + value;
      return p + count;
    }
  }
  for (; p != end && isDecimalDigit(*p); ++p) {
    digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
  }
  return p;
}

// A decimal without exponent and of at most 15 digits, read exactly;
// nullopt for anything else (the general reading gives the same double).
std::optional<double> readPlainDecimal(std::string_view text) {
  static constexpr double kPowersOf10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                           1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = p != end && *p == '-';
  p += negative ? 1 : 0;
  std::uint64_t digits = 0;  // 15 digits stay below 2^53, exact in a double
  const char* const integer = p;
  p = readDigits(p, end, text, digits);
  const std::uint64_t whole = digits;
  std::size_t count = static_cast<std::size_t>(p - integer);
  std::size_t decimals = 0;
  if (p != end && *p == '.') {
    const char* const fraction = ++p;
    p = readDigits(p, end, text, digits);
    decimals = static_cast<std::size_t>(p - fraction);
    count += decimals;
  }
  if (count == 0 || count >= std::size(kPowersOf10) ||
      (p != end && (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D'))) {
    return std::nullopt;
  }
  double value = static_cast<double>(whole);
  // A fraction of zeros, as most written floats have, needs no division.
  if (static_cast<double>(digits) != value * kPowersOf10[decimals]) {
    value = static_cast<double>(digits) / kPowersOf10[decimals];
  }
  return negative ? -value : value;
}

// Any decimal number, through the standard library's reading. Not inlined:
// its stack frame would slow down the plain decimals that most cells hold.
[[gnu::noinline]] double readGeneralDecimal(std::string_view text) {
  DecimalNumber number;
  if (!scanDecimal(text, number)) {
    return 0.0f;
  }
  // from_chars takes no "+" and no d/D exponent letter: such a number is
  // handed to it spelled its way.
  std::string spelled;
  std::string_view digits = number.whole;
  if (number.plus || number.dExponent) {
    spelled.append(number.negative ? "-" : "");
    spelled.append(number.integerDigits);
    spelled.push_back('.');
    spelled.append(number.fractionDigits);
    spelled.push_back('e');
    spelled.append(number.negativeExponent ? "-" : "");
    spelled.append(number.exponentDigits.empty() ? "0" : number.exponentDigits);
    digits = spelled;
  }
  double value = 0.0;
  const std::from_chars_result result =
      std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    const double limit = isTooLarge(number) ? std::numeric_limits<double>::infinity() : 0.0;
    value = number.negative ? -limit : limit;
  }
  return value;
}

}  // namespace

float textToFloat(std::string_view text) {
  text.remove_prefix(static_cast<std::size_t>(
      skipNumberSpace(text.data(), text.data() + text.size()) - text.data()));
  // Most cells are what the CSV writer printed: a few digits, a point and
  // six decimals, without exponent. Such a number is N / 10^k with N and 10^k
  // exact doubles, so one division gives the correctly rounded double.
  double printed;
  if (readPrintedDecimal(text, printed)) {
    return static_cast<float>(printed);
  }
  if (const std::optional<double> plain = readPlainDecimal(text)) {
    return static_cast<float>(*plain);
  }
  return static_cast<float>(readGeneralDecimal(text));
}

double textToDouble(std::string_view text) {
  text.remove_prefix(static_cast<std::size_t>(
      skipNumberSpace(text.data(), text.data() + text.size()) - text.data()));
  double printed;
  if (readPrintedDecimal(text, printed)) {
    return printed;
  }
  if (const std::optional<double> plain = readPlainDecimal(text)) {
    return *plain;
  }
  return readGeneralDecimal(text);
}

}  // namespace cachesift
