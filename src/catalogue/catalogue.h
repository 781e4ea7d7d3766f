#pragma once

// The process-wide catalogue of layouts and the layout files built in.

#include <span>
#include <string>
#include <string_view>

#include "catalogue/format_definition.h"

namespace cachesift {

// The process-wide catalogue of known layouts. It is empty until
// buildCatalogue() has run and is never changed afterwards.
const FormatCatalogue& formatCatalogue();

// A layout file: its name, as messages give it, and its text.
struct LayoutFileText {
  std::string_view name;
  std::string_view text;
};
// The layout files built into the tool.
std::span<const LayoutFileText> layoutFiles();

// Fills the catalogue from the layout files built into the tool and the
// user's, once, and gives what is wrong with them (nothing for the built-in
// ones: the tests see to that); later calls do nothing, so definitions
// already handed out stay valid.
std::string buildCatalogue(std::span<const LayoutFileText> userFiles = {});

// Reads the layout files into `catalogue`, the built-in layouts first, then
// by client build; adds the layouts that read records as bytes. Gives what is
// wrong with a file, a line each: a file with a fault is left out, and of two
// layouts of one cache for one build the first is kept. The user's files are
// read the same way, apart from the built-in ones: their layouts may name the
// builds of a built-in one, and are then tried first.
std::string fillCatalogue(FormatCatalogue& catalogue, std::span<const LayoutFileText> files,
                          std::span<const LayoutFileText> userFiles = {});

}  // namespace cachesift
