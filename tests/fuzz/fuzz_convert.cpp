// Any bytes, as a cache file and as a CSV file: each conversion must run to
// its end or refuse, without crashing, reading out of bounds or leaking.
#include <cstddef>
#include <cstdint>

#include "app/cache_document.h"
#include "catalogue/catalogue.h"
#include "io/byte_sink.h"
#include "io/console.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cachesift;
  buildCatalogue();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CapturingConsole console;
  CacheDocument cache(console), csv(console);
  StringSink sink;
  if (cache.loadCacheBytes(bytes)) {
    cache.decodeRecords();
    cache.formatCsv(sink);
  }
  if (csv.loadCsvBytes(bytes)) {
    csv.rebuildHeader();
    csv.formatCache(sink);
  }
  return 0;
}
