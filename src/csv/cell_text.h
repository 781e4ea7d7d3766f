#pragma once

#include <string>

#include "cachefile/shaped_record.h"

namespace cachesift {

// The text of a cell of the general walk, as the CSV writer writes it and the
// CSV reader gives it back: a text's bytes, hexadecimal digits, or a number
// (a float with the decimals that read back to it, where there are such).
std::string fieldCellText(const FieldCell& cell);

}  // namespace cachesift
