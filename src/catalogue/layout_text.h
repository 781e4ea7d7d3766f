#pragma once

// Reading layout files, and the column table of a layout read.

#include <string>
#include <string_view>
#include <vector>

#include "catalogue/format_definition.h"

namespace cachesift {

// The layouts of one layout file (src/catalogue/layouts/*.layout), or what is
// wrong with it: the fault, `error`, on line `line`, and no layout is given.
struct LayoutFile {
  std::vector<FormatDefinition> layouts;
  std::string error;
  std::size_t line = 0;
};

// Reads a layout file: a "builds" line, then per cache file a "cache" line
// and a line per field; the README's section on layout files tells the form.
LayoutFile readLayoutFile(std::string_view text);

// Appends the columns of the fields after a layout's key and entry size,
// whose nodes are named by `names` (a `#` in a name stands for the number of
// an element, the outermost repeat's first): each field's column once, each
// repeat's as many times as it has elements with columns.
void addColumns(FormatDefinition& layout, const std::vector<std::string>& names);

}  // namespace cachesift
