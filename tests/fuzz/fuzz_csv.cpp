// Any bytes as a CSV file: reading, rebuilding the header and writing the
// cache file must not crash, read out of bounds or leak, whatever the bytes.
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
  if (document.loadCsvBytes({reinterpret_cast<const char*>(data), size})) {
    document.rebuildHeader();
    cachesift::StringSink sink;
    document.formatCache(sink);
  }
  return 0;
}
