#pragma once

// The one test that file names get: how they end.

#include <string_view>

namespace cachesift {

// Whether `name` ends in `lowerTail`, ignoring the case of the ASCII letters
// A to Z only (any other byte must match exactly).
inline bool endsWithIgnoringCase(std::string_view name, std::string_view lowerTail) {
  if (name.size() < lowerTail.size()) {
    return false;
  }
  name.remove_prefix(name.size() - lowerTail.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != lowerTail[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace cachesift
