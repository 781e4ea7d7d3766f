#pragma once

// A CSV written when a layout's counted groups had fewer elements with
// columns: which of today's columns it lacks, and its rows with those cells
// added, empty, so that every cell stands under its own name again.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "catalogue/format_definition.h"
#include "csv/text_row.h"

namespace cachesift {

// The columns of `layout`, in order, that the names row `names` lacks, where
// it is the layout's own names row but for columns of counted groups' later
// elements. Nothing where it lacks none, or names other columns.
std::optional<std::vector<std::size_t>> earlierColumns(const TextRow& names,
                                                       const FormatDefinition& layout);

// The text of `rows` (each ended by an LF) with an empty cell added at each
// of the `missing` columns to every record row (row 2 on) whose cells reach
// that far; a row that holds all `namesCount` cells gets the missing columns
// after its last cell too. A row of a record kept as bytes is too short to
// get any.
std::string withColumnsAdded(std::span<const TextRow> rows, std::span<const std::size_t> missing,
                             std::size_t namesCount);

}  // namespace cachesift
