// The fuzzer's bytes, two ways:
// - as a cache file and as a CSV file: each conversion must run to its end or
//   refuse, without crashing, reading out of bounds or leaking;
// - as the values of a well-formed cache file (texts of any bytes but NUL and
//   1A, double quotes, commas, CR and LF among them), which must come back
//   byte for byte through CSV, without a warning.
#include <cstdlib>
#include <string>

#include "app/cache_document.h"
#include "catalogue/catalogue.h"
#include "io/byte_sink.h"
#include "io/console.h"
#include "samples/sample_maker.h"
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

  const std::uint8_t* const end = data + size;
  const auto byte = [&] { return data < end ? *data++ : 0u; };  // then zeros
  const auto word = [&] { return byte() | byte() << 8 | byte() << 16 | byte() << 24; };
  const FormatCatalogue& layouts = byte() % 4 == 0 ? made : formatCatalogue();
  const FormatDefinition& layout = layouts.definitions()[byte() % layouts.definitions().size()];
  const std::uint32_t records = byte() % 16;
  std::string cache = samples::makeCache(layout, records, word, samples::Texts::kRandomBytes);
  // Header words, and a tag the CSV form can carry; not the build word, which
  // picks the layouts.
  for (std::size_t i = 8; i < layout.headerSize(); ++i) {
    const char c = static_cast<char>(byte());
    const bool unsafe = std::string_view("\0\n\x1A,\"", 5).find(c) != std::string_view::npos;
    cache[i] = i >= 8 && i < 12 && unsafe ? 'T' : c;
  }
  CapturingConsole console;
  const bool same = throughCsv(cache, console, layouts) == cache;
  // The header's record size may well warn of another field count; nothing else may.
  for (const char* warning :
       {" bytes after the last record ", " texts hold ", " record rows ", " do not fit "}) {
    if (!same || console.text().find(warning) != std::string::npos) {
      std::abort();
    }
  }
  return 0;
}
