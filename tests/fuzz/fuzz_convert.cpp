// The fuzzer's bytes, two ways:
// - as a cache file and as a CSV file: each conversion must run to its end or
//   refuse, without crashing, reading out of bounds or leaking;
// - as the values of a well-formed cache file (texts of any bytes but what
//   the CSV form cannot carry), which must come back byte for byte through
//   CSV, without a warning.
#include <cstdlib>
#include <string>

#include "app/cache_document.h"
#include "catalogue/catalogue.h"
#include "io/byte_sink.h"
#include "io/console.h"
#include "samples/sample_maker.h"

namespace {

using namespace cachesift;

// Both conversions of `bytes`, as far as they go; the CSV made from a cache
// is read back, and the cache it gives is returned.
std::string convert(std::string_view bytes, CapturingConsole& console) {
  CacheDocument cache(console), csv(console);
  StringSink csvBytes, cacheBytes;
  if (cache.loadCacheBytes(bytes)) {
    cache.decodeRecords();
    cache.formatCsv(csvBytes);
  }
  if (csv.loadCsvBytes(csvBytes.bytes())) {
    csv.rebuildHeader();
    csv.formatCache(cacheBytes);
  }
  return cacheBytes.bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  buildCatalogue();
  CapturingConsole ignored;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  convert(bytes, ignored);
  CacheDocument csv(ignored);
  StringSink cacheBytes;
  if (csv.loadCsvBytes(bytes)) {
    csv.rebuildHeader();
    csv.formatCache(cacheBytes);
  }

  const std::uint8_t* const end = data + size;
  const auto byte = [&] { return data < end ? *data++ : 0u; };  // then zeros
  const auto word = [&] { return byte() | byte() << 8 | byte() << 16 | byte() << 24; };
  const auto& layouts = formatCatalogue().definitions();
  const FormatDefinition& layout = layouts[byte() % layouts.size()];
  const std::uint32_t records = byte() % 16;
  std::string cache = samples::makeCache(layout, records, word, samples::Texts::kRandomBytes);
  for (std::size_t i = 4; i < 20; ++i) {  // header words, and a tag the CSV form can carry
    const char c = static_cast<char>(byte());
    const bool unsafe = std::string_view("\0\n\x1A,\"", 5).find(c) != std::string_view::npos;
    cache[i] = i >= 8 && i < 12 && unsafe ? 'T' : c;
  }
  CapturingConsole console;
  if (convert(cache, console) != cache ||
      console.text().find(" texts hold ") != std::string::npos ||
      console.text().find(" record rows ") != std::string::npos) {
    std::abort();
  }
  return 0;
}
