#pragma once

#include "catalogue/format_definition.h"

namespace cachesift {

// The process-wide catalogue of known layouts. It is empty until
// buildCatalogue() has run and is never changed afterwards.
const FormatCatalogue& formatCatalogue();

// Fills the catalogue with the nine built-in layouts and the layouts of the
// client builds that have their own, once; later calls do nothing, so
// definitions already handed out stay valid.
void buildCatalogue();

// Appends the layouts of the client builds that have their own.
void addClientBuildLayouts(FormatCatalogue& catalogue);

}  // namespace cachesift
