#pragma once

#include <cstdint>
#include <string>

#include "catalogue/format_definition.h"

namespace cachesift::samples {

// Makes the bytes of a well-formed cache file of a layout: a header whose
// recordBytes fits the layout, `recordCount` records and the end marker.
// The same seed always gives the same bytes. Values are a mix of small and
// large numbers, negative signed ones, floats of at most two decimals, 1-byte
// fields, empty texts and invented texts with commas, quotes and "%d", but
// never what the CSV form cannot carry back (a quote followed by a comma, a
// line feed, the byte 1A).
std::string makeCache(const FormatDefinition& definition, std::uint32_t recordCount,
                      std::uint32_t seed);

}  // namespace cachesift::samples
