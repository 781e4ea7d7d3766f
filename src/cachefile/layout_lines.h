#pragma once

// What the changes of a derived layout need to know of a layout's lines.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cachefile/layout_derivation.h"

namespace cachesift {

// What a layout line is, as the search and the text need it.
struct LineFacts {
  std::string_view word;  // the first: "u32", "bits", "repeat", "end"...
  bool number = false;    // u8 to u64, i8 to i64, f32, f64
  bool integer = false;
  bool fixedRepeat = false;
  std::uint32_t depth = 0;         // blocks open around it
  std::uint32_t countedOpen = 0;   // counted repeats around it that are no list
  bool afterTopLevelList = false;  // the line after a list's end, at the top
};

// Facts for each line, and one more for the place after the last.
std::vector<LineFacts> lineFacts(const std::vector<std::string>& lines);

// Whether two changes cannot stand in one layout: they are the same, or both
// change one line.
bool clash(const LayoutChange& a, const LayoutChange& b);

}  // namespace cachesift
