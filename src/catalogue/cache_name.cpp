// The test of a cache file name that a layout gives.
#include "catalogue/cache_name.h"

#include <algorithm>
#include <array>

namespace cachesift {
namespace {

bool sameLetters(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return (x >= 'A' && x <= 'Z' ? x + ('a' - 'A') : x) ==
           (y >= 'A' && y <= 'Z' ? y + ('a' - 'A') : y);
  });
}

// Windows opens a device for these names, whatever extension follows and
// whatever blanks end them; the superscript digits count too.
bool isReservedDevice(std::string_view name) {
  std::string_view stem = name.substr(0, name.find('.'));
  stem = stem.substr(0, stem.find_last_not_of(' ') + 1);
  for (const std::string_view device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
    if (sameLetters(stem, device)) {
      return true;
    }
  }
  if (stem.size() < 4 ||
      !(sameLetters(stem.substr(0, 3), "com") || sameLetters(stem.substr(0, 3), "lpt"))) {
    return false;
  }
  const std::string_view digit = stem.substr(3);
  return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\xC2\xB9" ||
         digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

}  // namespace

bool isPlainCacheName(std::string_view name) {
  constexpr std::string_view kExtension = ".wdb";
  if (name.size() <= kExtension.size() ||
      !sameLetters(name.substr(name.size() - kExtension.size()), kExtension)) {
    return false;
  }
  const bool unsafeByte = std::any_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F ||
           std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
  });
  // A name of dots and blanks before the extension names no file on Windows.
  const std::string_view stem = name.substr(0, name.size() - kExtension.size());
  return !unsafeByte && stem.find_first_not_of(". ") != std::string_view::npos &&
         !isReservedDevice(name);
}

}  // namespace cachesift
