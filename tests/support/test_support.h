#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/cache_document.h"
#include "io/console.h"

namespace cachesift::testing {

// Bytes from byte values, for binary literals that hold zeros.
std::string bytes(std::initializer_list<int> values);
// The four little-endian bytes of a word.
std::string word(std::uint32_t value);
// A 20-byte header; codes shorter than four bytes are filled with zero bytes.
std::string header(std::string_view signature, std::uint32_t word1, std::string_view tag,
                   std::uint32_t recordBytes, std::uint32_t word4);

// A document with its console captured.
struct Conversion {
  CapturingConsole console;
  CacheDocument document{console};
};

// A whole conversion in memory: the console text, and the file written
// (empty when a step refused the input).
struct Converted {
  std::string console;
  std::string file;
  bool operator==(const Converted&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const Converted& c) {
    return out << "console: " << c.console << "file: " << c.file;
  }
};
// By the built-in catalogue, or by `layouts`. The bytes are read from just
// before an unreadable page: a read past their end stops the test.
Converted cacheToCsv(std::string_view cache, const FormatCatalogue* layouts = nullptr);
Converted csvToCache(std::string_view csv, const FormatCatalogue* layouts = nullptr);

// A catalogue of the layouts of one layout file's text, which must read.
FormatCatalogue madeCatalogue(std::string_view layoutText);
// A catalogue of one made layout of every field kind: bits, sized texts, a
// counted group with a condition in it, a fixed one, a condition.
const FormatCatalogue& madeLayouts();

// The built-in layouts.
const std::vector<FormatDefinition>& layouts();

std::string readFile(const std::filesystem::path& path);

}  // namespace cachesift::testing
