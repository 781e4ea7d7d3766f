#pragma once

// A cache through CSV and back for the fuzz targets: its records must come
// back byte for byte, or it aborts.
#include <cstdlib>
#include <string>

#include "app/cache_document.h"
#include "cachefile/record_frame.h"
#include "catalogue/catalogue.h"
#include "io/byte_sink.h"
#include "io/console.h"

namespace fuzzing {

using namespace cachesift;

// The bytes of a document's records, as its body frames them.
inline std::string_view recordBytes(const CacheDocument& document) {
  FrameReader frames(*document.definition, document.body);
  RecordFrame frame;
  for (std::uint32_t r = 0; r < document.recordCount && frames.next(frame); ++r) {
    frames.skipTo(frame.end);
  }
  return document.body.substr(0, frames.offset());
}

// Converts cache file bytes to CSV and that CSV back; gives the cache made.
inline std::string throughCsv(std::string_view cacheBytes, CapturingConsole& console,
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

}  // namespace fuzzing
