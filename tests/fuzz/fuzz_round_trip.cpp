// Makes a well-formed cache file from the fuzzer's bytes (texts of any bytes
// but what the CSV form cannot carry) and aborts unless it comes back byte
// for byte through CSV, without a warning.
#include <cstdlib>
#include <string>

#include "app/cache_document.h"
#include "catalogue/catalogue.h"
#include "io/byte_sink.h"
#include "io/console.h"
#include "samples/sample_maker.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cachesift;
  buildCatalogue();
  const std::uint8_t* const end = data + size;
  const auto byte = [&] { return data < end ? *data++ : 0u; };  // then zeros
  const auto word = [&] { return byte() | byte() << 8 | byte() << 16 | byte() << 24; };
  const auto& layouts = formatCatalogue().definitions();
  const FormatDefinition& layout = layouts[byte() % layouts.size()];
  const std::uint32_t records = byte() % 16;
  std::string cache = samples::makeCache(layout, records, word, samples::Texts::kRandomBytes);
  for (std::size_t i = 4; i < 20; ++i) {  // header words, and a tag the CSV form can carry
    const char c = static_cast<char>(byte());
    cache[i] =
        i >= 8 && i < 12 && std::string_view("\0\n\x1A,\"", 5).find(c) != std::string_view::npos
            ? 'T'
            : c;
  }
  CapturingConsole console;
  CacheDocument toCsv(console), toCache(console);
  StringSink csv, cacheAgain;
  if (!toCsv.loadCacheBytes(cache)) {
    std::abort();
  }
  toCsv.decodeRecords();
  toCsv.formatCsv(csv);
  if (!toCache.loadCsvBytes(csv.bytes())) {
    std::abort();
  }
  toCache.rebuildHeader();
  toCache.formatCache(cacheAgain);
  const std::string& said = console.text();
  if (cacheAgain.bytes() != cache || said.find(" texts hold ") != std::string::npos ||
      said.find(" record rows ") != std::string::npos) {
    std::abort();
  }
  return 0;
}
