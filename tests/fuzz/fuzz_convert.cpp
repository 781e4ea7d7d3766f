// The fuzzer's bytes as a cache file and as a CSV file, by the layouts built
// in and by made ones: each conversion must run to its end or refuse, without
// crashing, reading out of bounds or leaking. A cache that a build's own
// layout reads must come back through its CSV: the records read, byte for
// byte, whether their layout reads them or they are kept as bytes.
#include <cstdlib>
#include <string>

#include "app/cache_document.h"
#include "cachefile/record_frame.h"
#include "catalogue/catalogue.h"
#include "io/byte_sink.h"
#include "io/console.h"
#include "support/made_layout.h"

namespace {

using namespace cachesift;

// The bytes of a document's records, as its body frames them.
std::string_view recordBytes(const CacheDocument& document) {
  FrameReader frames(*document.definition, document.body);
  RecordFrame frame;
  for (std::uint32_t r = 0; r < document.recordCount && frames.next(frame); ++r) {
    frames.skipTo(frame.end);
  }
  return document.body.substr(0, frames.offset());
}

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
  // Both directions take the same layout; one that frames its records gives
  // them back, but where a text holds the byte 1A, as the console warns.
  const bool back = csv.loadCsvBytes(csvBytes.bytes()) && (csv.rebuildHeader(), true) &&
                    csv.formatCache(cacheAgain);
  if (back && cache.definition == csv.definition && cache.definition->framed() &&
      console.text().find("1A") == std::string::npos) {
    CacheDocument again(console, layouts);
    if (!again.loadCacheBytes(cacheAgain.bytes()) ||
        (again.decodeRecords(), recordBytes(again) != recordBytes(cache))) {
      std::abort();
    }
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
