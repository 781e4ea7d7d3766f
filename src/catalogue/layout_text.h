#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "catalogue/format_definition.h"

namespace cachesift {

// The layouts of one layout file (src/catalogue/layouts/*.layout), or what is
// wrong with it: `error` names the line and the fault, and no layout is given.
struct LayoutFile {
  std::vector<FormatDefinition> layouts;
  std::string error;
};

// Reads a layout file: a "builds" line, then per cache file a "cache" line
// and a line per field; the README's section on layout files tells the form.
LayoutFile readLayoutFile(std::string_view text);

}  // namespace cachesift
