#pragma once

#include <string_view>
#include <vector>

#include "csv/text_row.h"

namespace cachesift {

// Divides one line (without its line end) into cells. The line's content
// ends at its first zero byte. A cell that starts with a double quote ends at
// the next double quote followed by a comma, and loses those quotes; any
// other cell ends at the next comma. The line's last cell needs no comma: an
// unquoted one runs to the line's end, a quoted one to a double quote that is
// the line's last byte. A quoted cell that is never closed is dropped, and so
// is everything after it. Nothing is trimmed.
TextRow splitCsvLine(std::string_view line);

// Divides a CSV file into rows, one per line. The file ends at its first
// byte 1A, a line at LF, and a CR just before that LF is dropped; the last
// line may lack its LF. Lines of any length are read.
std::vector<TextRow> splitCsvRows(std::string_view file);

}  // namespace cachesift
