#pragma once

// A number of a record as its step reads it from the record's bytes and as
// its cell shows it.

#include <cstdint>

#include "cachefile/coding.h"
#include "catalogue/prepared_layout.h"
#include "csv/number_text.h"

namespace cachesift {

// A value as `step` reads it from its little-endian bytes.
inline std::uint64_t loadNumber(const unsigned char* at, const Step& step) {
  std::uint64_t raw;
  switch (step.bytes) {
    case 1:
      raw = at[0];
      break;
    case 2:
      raw = at[0] | std::uint32_t{at[1]} << 8;
      break;
    case 4:
      raw = decodeFixed32(at);
      break;
    default:
      return decodeFixed32(at) | std::uint64_t{decodeFixed32(at + 4)} << 32;
  }
  // A signed one widened with its sign, so that a count or condition sees the
  // same value read and written.
  const std::uint64_t sign = std::uint64_t{1} << (step.bits - 1);
  return step.isSigned ? (raw ^ sign) - sign : raw;
}

// A number's cell, without its comma.
inline char* writeCell(char* out, const Step& step, std::uint64_t value) {
  using Cell = Step::Cell;
  switch (step.cell) {
    case Cell::kI32:
      return writeSigned(out, static_cast<std::int32_t>(value));
    case Cell::kU64:
      return writeDecimal64(out, value);
    case Cell::kI64:
      return writeSigned64(out, static_cast<std::int64_t>(value));
    case Cell::kF32:
      return writeFloat(out, static_cast<std::uint32_t>(value));
    case Cell::kExactF32:
      return writeExactFloat(out, static_cast<std::uint32_t>(value));
    case Cell::kF64:
      return writeExactDouble(out, value);
    default:
      return writeDecimal(out, static_cast<std::uint32_t>(value));
  }
}

// Whether a float's bits are a number and finite: only those come back.
inline bool finite(const Step& step, std::uint64_t value) {
  return step.bytes == 4 ? (~value & 0x7F800000) != 0 : (~value & 0x7FF0000000000000) != 0;
}

}  // namespace cachesift
