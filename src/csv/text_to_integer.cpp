// Integer cells of 64 bits and of binary digits read back.

#include "csv/text_to_integer.h"

namespace cachesift {

std::uint64_t textToInteger64(std::string_view text) {
  const char* const last = text.data() + text.size();
  const char* p = skipNumberSpace(text.data(), last);
  const bool negative = p != last && *p == '-';
  p += p != last && (*p == '-' || *p == '+') ? 1 : 0;
  std::uint64_t value = 0;  // unsigned arithmetic wraps modulo 2^64 by definition
  for (; p != last && isDecimalDigit(*p); ++p) {
    value = value * 10 + static_cast<std::uint64_t>(*p - '0');
  }
  return negative ? 0 - value : value;
}

std::uint32_t binaryTextToInteger(std::string_view text) {
  const char* const last = text.data() + text.size();
  std::uint32_t value = 0;
  for (const char* p = skipNumberSpace(text.data(), last); p != last && (*p == '0' || *p == '1');
       ++p) {
    value = (value << 1) | static_cast<std::uint32_t>(*p - '0');
  }
  return value;
}

}  // namespace cachesift
