#pragma once

// The words of a layout file's lines.

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace cachesift {

inline std::string_view trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Takes the first blank-separated word off `text`.
inline std::string_view nextWord(std::string_view& text) {
  const std::string_view word = text.substr(0, text.find_first_of(" \t"));
  text = trim(text.substr(word.size()));
  return word;
}

inline std::optional<std::uint64_t> number(std::string_view word) {
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (ec != std::errc() || end != word.data() + word.size()) {
    return std::nullopt;
  }
  return value;
}

inline bool isId(std::string_view word) {
  return word.size() > 1 && word[0] == '$' && std::all_of(word.begin() + 1, word.end(), [](char c) {
           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '_';
         });
}

}  // namespace cachesift
