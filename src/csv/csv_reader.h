#pragma once

// Dividing a CSV file into its rows.

#include <string_view>
#include <vector>

#include "csv/text_row.h"

namespace cachesift {

// A CSV file divided into rows. The file ends at its first byte 1A, a line
// at LF, and a CR just before that LF is dropped; the last line may lack its
// LF. Lines of any length are read. The rows refer into the file's bytes,
// which must outlive them.
struct CsvRows {
  std::vector<TextRow> rows;  // the complete rows
  // The 1-based line of the opening quote of a quoted cell that the file
  // ends in, or 0.
  std::size_t unclosedLine = 0;
};
CsvRows splitCsvRows(std::string_view file);

}  // namespace cachesift
