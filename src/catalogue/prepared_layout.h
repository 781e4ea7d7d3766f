#pragma once

// A layout as the record engine runs it, worked out once per layout and held
// with it: its fixed repeats of plain fields unrolled, so that their numbers
// make long runs, and each node's step.

#include <cstdint>
#include <vector>

#include "catalogue/field_kinds.h"
#include "catalogue/format_definition.h"

namespace cachesift {

// A run's cells are formatted into room reserved at once; the record engine
// checks that this many fit.
inline constexpr std::uint32_t kMostRunCells = 1024;

// A node as the engine runs it. Numbers that follow each other are a run:
// checked, formatted and written together.
struct Step {
  using Cell = CellForm;
  std::uint8_t bytes = 0;  // of a number
  std::uint8_t bits = 0;   // of its value, which a signed one extends to 64
  bool isSigned = false;
  bool real = false;  // a float that must be finite to come back
  Cell cell = Cell::kNone;
  // At a run's first number: the node after the run, its bytes, its cells,
  // and whether checking it needs no more than its length. At a list: the
  // bytes of one element.
  std::uint32_t runEnd = 0;
  std::uint32_t runBytes = 0;
  std::uint32_t runCells = 0;
  bool plain = true;
  // Whether the run is only words shown as integers, each in the column
  // after the last: those are read and written in a tighter loop.
  bool words = false;
};

struct PreparedLayout {
  FormatDefinition program;           // the nodes as the engine runs them
  std::vector<std::uint32_t> origin;  // each program node's node in the layout
  std::vector<Step> steps;            // one per program node
  // Whether a row's cells can be written in one pass, in order: no count or
  // length without a column, no condition.
  bool streamed = true;
};

PreparedLayout prepareLayout(const FormatDefinition& layout);

}  // namespace cachesift
