// The fuzzer's bytes as a user's layout file, then, after a line "===", as a
// cache and a CSV read by its layouts: no crash, hang or unbounded read, and
// no layout taken whose cache name is more than a plain file name.
#include "catalogue/cache_name.h"
#include "fuzz/round_trip.h"

using namespace cachesift;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  constexpr std::string_view kSplit = "\n===\n";
  const std::size_t split = std::min(bytes.find(kSplit), bytes.size());
  const LayoutFileText file{"layouts/fuzz.layout", bytes.substr(0, split)};
  const std::string_view rest = bytes.substr(std::min(split + kSplit.size(), bytes.size()));
  FormatCatalogue layouts;
  // Faults name the file, as a user's.
  for (const LayoutFault& fault : fillCatalogue(layouts, {}, std::span(&file, 1))) {
    if (fault.file != file.name || !fault.user ||
        !fault.message().starts_with("Layout file layouts/fuzz.layout")) {
      std::abort();
    }
  }
  // A layout taken names a plain file name, never a path to write to.
  for (const FormatDefinition& layout : layouts.definitions()) {
    if (!isPlainCacheName(layout.fileName)) {
      std::abort();
    }
  }
  fuzzing::throughCsv(rest, layouts);
  fuzzing::throughCsv(fuzzing::toCache(rest, layouts), layouts);
  return 0;
}
