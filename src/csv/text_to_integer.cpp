#include "csv/text_to_integer.h"

#include <cstddef>

namespace cachesift {
namespace {

std::size_t skipSpace(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isNumberSpace(text[i])) {
    ++i;
  }
  return i;
}

}  // namespace

std::uint32_t binaryTextToInteger(std::string_view text) {
  std::uint32_t value = 0;
  for (std::size_t i = skipSpace(text); i < text.size() && (text[i] == '0' || text[i] == '1');
       ++i) {
    value = (value << 1) | static_cast<std::uint32_t>(text[i] - '0');
  }
  return value;
}

}  // namespace cachesift
