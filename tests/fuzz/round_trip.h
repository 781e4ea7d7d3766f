#pragma once

// A cache through CSV and back for the fuzz targets: its records must come
// back byte for byte, or it aborts.
#include <cstdlib>
#include <string>

#include "cachefile/conversion.h"
#include "catalogue/catalogue.h"
#include "io/byte_sink.h"

namespace fuzzing {

using namespace cachesift;

// Converts cache file bytes to CSV and that CSV back; gives the cache made.
inline std::string throughCsv(std::string_view cacheBytes, const FormatCatalogue& layouts) {
  const LoadedCache cache = loadCacheBytes(cacheBytes, layouts);
  if (!cache.ok) {
    return {};  // no sink made: most inputs are no cache, and a sink takes a megabyte
  }
  const DecodedRecords records = decodeRecords(cache);
  StringSink csvBytes, cacheAgain;
  formatCsv(cache, records, csvBytes);
  const LoadedCsv csv = loadCsvBytes(csvBytes.bytes(), layouts);
  std::string refusal;
  const bool back = csv.ok && formatCache(csv, headerOfCsv(csv), cacheAgain, refusal);
  // Both directions take the same layout (a derived one: the same base and
  // changes, as the CSV's first row names them); one that frames its records gives
  // the bytes of those it took back after the header, then the end marker,
  // but where a text holds the byte 1A, as the console warns.
  const FormatDefinition* const layout = cache.choice.layout;
  const auto& derived = cache.choice.derived;
  const auto& named = csv.choice.derived;
  const bool same =
      layout == csv.choice.layout ||
      (derived && named && derived->base == named->base && derived->changes == named->changes);
  if (back && same && layout->framed() && records.console.find("1A") == std::string::npos) {
    const std::string taken = std::string(cache.body.substr(0, cache.choice.walk.end)) +
                              std::string(layout->framing().keyBytes + 4, '\0');
    if (cacheAgain.bytes().substr(layout->headerSize()) != taken) {
      std::abort();
    }
  }
  return cacheAgain.bytes();
}

// Converts CSV bytes to a cache; gives it, or nothing where it is refused.
inline std::string toCache(std::string_view csvBytes, const FormatCatalogue& layouts) {
  const LoadedCsv csv = loadCsvBytes(csvBytes, layouts);
  StringSink cache;
  std::string refusal;
  return csv.ok && formatCache(csv, headerOfCsv(csv), cache, refusal) ? cache.bytes() : "";
}

}  // namespace fuzzing
