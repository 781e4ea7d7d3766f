#pragma once

#include <array>
#include <cstdint>

#include "catalogue/format_definition.h"

namespace cachesift {

// Reading stops after this many records.
inline constexpr std::uint32_t kMaxRecords = 65535;

// One record of a loaded cache file: slot k holds field position k. A number
// keeps its 32 bits as stored (a 1-byte field widened without sign); a text
// slot holds the offset of the text's first byte in the document's body,
// where the text ends at its NUL. Slots past the layout's fields mean nothing.
struct DecodedRecord {
  std::array<std::uint32_t, kMaxFields> slots;
};

}  // namespace cachesift
