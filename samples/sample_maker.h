#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "catalogue/format_definition.h"

namespace cachesift::samples {

// Which texts the records hold.
enum class Texts {
  // Invented texts with commas, quotes and "%d".
  kAny,
  // Texts that a spreadsheet may take for numbers, dates or formulas ("007",
  // "1e5", "TRUE", "=1+1"), with commas, leading or trailing blanks,
  // non-ASCII UTF-8, double quotes and LF line breaks.
  kSpreadsheet,
  // Texts of up to 39 random bytes, as a fuzzer draws them, half of them
  // double quotes, commas, CR and LF.
  kRandomBytes,
};

// Which floats the records of a build's own layouts hold.
enum class Floats {
  // Values of at most two decimals.
  kDecimals,
  // One in four NaN, an infinity, -0 or a subnormal. The built-in layouts,
  // whose floats show six decimals, keep to decimals.
  kSpecial,
};

// Where the values come from: 32 random bits a call.
using RandomWords = std::function<std::uint32_t()>;

// The client build in the headers of caches made for the built-in layouts:
// one that no build's own layouts claim.
inline constexpr std::uint32_t kBuiltInLayoutsBuild = 6005;

// Where a layout's sample lies in the samples folder: the built-in layouts'
// at the top, a client build's own in a folder of that build.
std::string samplePath(const FormatDefinition& definition);

// Makes the bytes of a well-formed cache file of a layout: a header whose
// recordBytes fits the layout, `recordCount` records and the end marker.
// The same seed always gives the same bytes. Values are a mix of small and
// large numbers, negative signed ones, floats of at most two decimals, 1-byte
// fields and texts, empty ones included, but never what the CSV form cannot
// carry back (the byte 1A) or a text cannot hold (NUL).
std::string makeCache(const FormatDefinition& definition, std::uint32_t recordCount,
                      std::uint32_t seed, Texts texts = Texts::kAny,
                      Floats floats = Floats::kDecimals);
// The same from any source of random words.
std::string makeCache(const FormatDefinition& definition, std::uint32_t recordCount,
                      const RandomWords& random, Texts texts, Floats floats = Floats::kDecimals);

}  // namespace cachesift::samples
