#pragma once

#include <string_view>
#include <vector>

#include "csv/text_row.h"

namespace cachesift {

// Divides a CSV file into rows, one per line. The file ends at its first
// byte 1A, a line at LF, and a CR just before that LF is dropped; the last
// line may lack its LF. Lines of any length are read. The rows refer into
// `file`, which must outlive them.
std::vector<TextRow> splitCsvRows(std::string_view file);

}  // namespace cachesift
