#pragma once

// The process-wide catalogue of layouts and the layout files built in.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/format_definition.h"

namespace cachesift {

// The process-wide catalogue of known layouts, built by the first call of
// buildCatalogue() (here without the user's files, where none came first) and
// never changed afterwards.
const FormatCatalogue& formatCatalogue();

// A layout file: its name, as messages give it, and its text.
struct LayoutFileText {
  std::string_view name;
  std::string_view text;
};
// The layout files built into the tool.
std::span<const LayoutFileText> layoutFiles();

// What is wrong with a layout file: the fault on `line`, for which the file
// is left out; or, without a line, a second layout of a cache for a build,
// which alone is left out.
struct LayoutFault {
  std::string file;  // as messages name it
  std::size_t line = 0;
  std::string what;
  bool user = false;  // a file of the user's, not one built in
  // The console's line for it.
  std::string message() const;
  bool operator==(const LayoutFault&) const = default;
};

// Fills the catalogue from the layout files built into the tool and the
// user's, once, and gives what is wrong with them (nothing for the built-in
// ones: the tests see to that); later calls give the same, and change
// nothing, so definitions already handed out stay valid.
const std::vector<LayoutFault>& buildCatalogue(std::span<const LayoutFileText> userFiles = {});

// Reads the layout files into `catalogue`, the built-in layouts first, then
// by client build; adds the layouts that read records as bytes. Gives what is
// wrong with the files: a file with a fault is left out, and of two layouts
// of one cache for one build the first is kept. The user's files are read the
// same way, apart from the built-in ones: their layouts may name the builds
// of a built-in one, and are then tried first.
std::vector<LayoutFault> fillCatalogue(FormatCatalogue& catalogue,
                                       std::span<const LayoutFileText> files,
                                       std::span<const LayoutFileText> userFiles = {});

}  // namespace cachesift
