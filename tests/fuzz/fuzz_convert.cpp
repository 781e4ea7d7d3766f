// The fuzzer's bytes as a cache file and as a CSV file, by the layouts built
// in and by made ones: each conversion must run to its end or refuse, without
// crashing, reading out of bounds or leaking. A cache that a build's own
// layout reads must come back through its CSV: the records read, byte for
// byte, whether their layout reads them or they are kept as bytes.
#include "fuzz/round_trip.h"
#include "support/made_layout.h"

using namespace cachesift;
using fuzzing::throughCsv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The layouts built in, and made ones of bit fields, counted groups and
  // conditions.
  static const FormatCatalogue made = [] {
    FormatCatalogue catalogue;
    const LayoutFileText file{"made.layout", kMadeLayout};
    if (!fillCatalogue(catalogue, std::span(&file, 1)).empty()) {
      std::abort();
    }
    return catalogue;
  }();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const FormatCatalogue* layouts : {&formatCatalogue(), &made}) {
    throughCsv(bytes, *layouts);
    // As CSV: a cache of it, and that cache back through CSV.
    throughCsv(fuzzing::toCache(bytes, *layouts), *layouts);
  }
  return 0;
}
