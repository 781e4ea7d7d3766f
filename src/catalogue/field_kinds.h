#pragma once

// The one table of what a field's kind is: the word a layout file gives it,
// its bytes, its sign, how its cell shows it and the largest count or length
// it can hold. The layout reader, the record engine and the writers all ask
// it.

#include <cstdint>
#include <limits>
#include <string_view>

#include "catalogue/format_definition.h"

namespace cachesift {

// How a number's cell shows its value.
enum class CellForm : std::uint8_t { kNone, kU32, kI32, kU64, kI64, kF32, kExactF32, kF64 };

struct KindFacts {
  std::string_view word;  // in a layout file; empty for kinds that are no number
  FieldKind kind;
  std::uint8_t bytes;  // of a number, or 0
  bool isSigned;
  bool isFloat;
  CellForm cell;
  std::uint64_t most;  // the largest count or length it holds; 0 for a float
};

inline constexpr KindFacts kNumberKinds[] = {
    {"u8", FieldKind::kU8, 1, false, false, CellForm::kU32, 0xFF},
    {"u16", FieldKind::kU16, 2, false, false, CellForm::kU32, 0xFFFF},
    {"u32", FieldKind::kU32, 4, false, false, CellForm::kU32, 0xFFFFFFFF},
    {"u64", FieldKind::kU64, 8, false, false, CellForm::kU64,
     std::numeric_limits<std::uint64_t>::max()},
    {"i8", FieldKind::kI8, 1, true, false, CellForm::kI32, 0x7F},
    {"i16", FieldKind::kI16, 2, true, false, CellForm::kI32, 0x7FFF},
    {"i32", FieldKind::kI32, 4, true, false, CellForm::kI32, 0x7FFFFFFF},
    {"i64", FieldKind::kI64, 8, true, false, CellForm::kI64,
     std::numeric_limits<std::int64_t>::max()},
    {"f32", FieldKind::kF32, 4, false, true, CellForm::kF32, 0},
    {"f64", FieldKind::kF64, 8, false, true, CellForm::kF64, 0},
};

// The facts of a number kind; of any other kind, none (no bytes, no cell).
inline KindFacts factsOf(FieldKind kind) {
  for (const KindFacts& facts : kNumberKinds) {
    if (facts.kind == kind) {
      return facts;
    }
  }
  return {{}, kind, 0, false, false, CellForm::kNone, 0};
}

// The largest count or length that a field can hold.
inline std::uint64_t capacity(const LayoutNode& node) {
  return node.kind == FieldKind::kBits ? (std::uint64_t{1} << node.size) - 1
                                       : factsOf(node.kind).most;
}

}  // namespace cachesift
