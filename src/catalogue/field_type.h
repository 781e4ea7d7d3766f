#pragma once

#include <cstdint>

namespace cachesift {

// The type of one field of a layout: a set of flags. Each consumer tests the flags in its own fixed
// order and the first flag that holds decides, so a field with several flags can be read, printed
// and written by different rules.
using FieldType = std::uint16_t;

inline constexpr FieldType FT_UNTYPED = 0x01;
inline constexpr FieldType FT_UNSIGNED = 0x02;
inline constexpr FieldType FT_SIGNED = 0x04;
inline constexpr FieldType FT_FLOAT = 0x08;
inline constexpr FieldType FT_BITS16 = 0x10;
inline constexpr FieldType FT_BITS32 = 0x20;
inline constexpr FieldType FT_STRING = 0x40;
inline constexpr FieldType FT_BYTE = 0x80;
// Bytes written as hexadecimal text, in file order: a record key wider than
// a word, or, as a layout's last field, the rest of the record. Only layouts
// whose records say their own length use it.
inline constexpr FieldType FT_HEX = 0x100;

}  // namespace cachesift
