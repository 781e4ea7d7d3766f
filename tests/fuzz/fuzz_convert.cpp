// The fuzzer's bytes as a cache file and as a CSV file, by the layouts built
// in and by made ones: each conversion must run to its end or refuse, without
// crashing, reading out of bounds or leaking. That well-formed caches come
// back byte for byte is the unit tests' random round trip.
#include <string>

#include "app/cache_document.h"
#include "catalogue/catalogue.h"
#include "io/byte_sink.h"
#include "io/console.h"
#include "support/made_layout.h"

namespace {

using namespace cachesift;

// Converts cache file bytes to CSV and that CSV back; gives the cache made.
std::string throughCsv(std::string_view cacheBytes, CapturingConsole& console,
                       const FormatCatalogue& layouts) {
  CacheDocument cache(console, layouts), csv(console, layouts);
  if (!cache.loadCacheBytes(cacheBytes)) {
    return {};  // no sink made: most inputs are no cache, and a sink takes a megabyte
  }
  StringSink csvBytes, cacheAgain;
  cache.decodeRecords();
  cache.formatCsv(csvBytes);
  if (csv.loadCsvBytes(csvBytes.bytes())) {
    csv.rebuildHeader();
    csv.formatCache(cacheAgain);
  }
  return cacheAgain.bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  buildCatalogue();
  // The layouts built in, and made ones of bit fields, counted groups and
  // conditions.
  static const FormatCatalogue made = [] {
    FormatCatalogue catalogue;
    const LayoutFileText file{"made.layout", kMadeLayout};
    fillCatalogue(catalogue, std::span(&file, 1));
    return catalogue;
  }();
  CapturingConsole ignored;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const FormatCatalogue* layouts : {&formatCatalogue(), &made}) {
    throughCsv(bytes, ignored, *layouts);
    // As CSV: a cache of it, and that cache back through CSV.
    CacheDocument csv(ignored, *layouts);
    if (csv.loadCsvBytes(bytes)) {
      StringSink cache;
      csv.rebuildHeader();
      csv.formatCache(cache);
      throughCsv(cache.bytes(), ignored, *layouts);
    }
  }
  return 0;
}
