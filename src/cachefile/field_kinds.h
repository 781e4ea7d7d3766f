#pragma once

// What the record engine needs to know of a field's kind: its bytes, its sign
// and the largest count or length it holds.

#include <cstdint>

#include "catalogue/format_definition.h"

namespace cachesift::engine {

using Kind = FieldKind;

// Bytes of a number kind, or 0.
inline std::uint32_t numberBytes(Kind kind) {
  switch (kind) {
    case Kind::kU8:
    case Kind::kI8:
      return 1;
    case Kind::kU16:
    case Kind::kI16:
      return 2;
    case Kind::kU32:
    case Kind::kI32:
    case Kind::kF32:
      return 4;
    case Kind::kU64:
    case Kind::kI64:
    case Kind::kF64:
      return 8;
    default:
      return 0;
  }
}

inline bool isSigned(Kind kind) {
  return kind == Kind::kI8 || kind == Kind::kI16 || kind == Kind::kI32 || kind == Kind::kI64;
}

// The largest count or length that a field can hold.
inline std::uint64_t capacity(const LayoutNode& node) {
  if (node.kind == Kind::kBits) {
    return (std::uint64_t{1} << node.size) - 1;
  }
  const std::uint32_t bits = numberBytes(node.kind) * 8 - (isSigned(node.kind) ? 1 : 0);
  return bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
}

}  // namespace cachesift::engine
