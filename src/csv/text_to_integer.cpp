#include "csv/text_to_integer.h"

namespace cachesift {

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
