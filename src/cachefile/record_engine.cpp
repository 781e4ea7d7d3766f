// The record engine's scratch, over a layout prepared once.
#include "cachefile/record_engine.h"

#include "csv/number_text.h"

namespace cachesift {

// A run's cells are formatted into room reserved at once.
static_assert(kMostRunCells * (kMaxNumberCell + 1) <= ByteSink::kMaxReserve);

RecordEngine::RecordEngine(const FormatDefinition& layout)
    : prepared_(layout.prepared()), slots_(layout.slotCount) {}

}  // namespace cachesift
