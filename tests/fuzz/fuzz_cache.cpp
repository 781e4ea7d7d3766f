// Any bytes as a cache file: loading, decoding and writing the CSV must not
// crash, read out of bounds or leak, whatever the bytes.
#include <cstddef>
#include <cstdint>

#include "app/byte_sink.h"
#include "app/cache_document.h"
#include "app/console.h"
#include "catalogue/catalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  cachesift::buildCatalogue();
  cachesift::CapturingConsole console;
  cachesift::CacheDocument document(console);
  if (document.loadCacheBytes({reinterpret_cast<const char*>(data), size})) {
    document.decodeRecords();
    cachesift::StringSink sink;
    document.formatCsv(sink);
  }
  return 0;
}
