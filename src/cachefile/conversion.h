#pragma once

// The steps of a conversion, each a function of bytes and values: what it
// makes, and what the console should say of it (in `console`, the lines in
// order). Cache to CSV: loadCacheBytes(), decodeRecords(), formatCsv(). CSV to
// cache: loadCsvBytes(), headerOfCsv(), formatCache(). The document in
// src/app runs them in order on files and prints what they say.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cachefile/layout_choice.h"
#include "cachefile/wdb_header.h"
#include "catalogue/format_definition.h"
#include "csv/text_row.h"
#include "io/byte_sink.h"

namespace cachesift {

// What follows the entry size in the CSV row of a record that its layout does
// not read; the row's next cell holds the record's bytes.
inline constexpr std::string_view kAsBytesMark = " bytes";

// Cache to CSV.

// A cache's header, from its first bytes (up to 24), and the layout that its
// signature and build name; not `ok` where it is no known cache's, or the
// bytes are too few for its header.
struct CacheHead {
  WdbHeader header;
  LayoutChoice choice;
  std::string console;
  bool ok = false;
};
CacheHead readCacheHead(std::string_view firstBytes, const FormatCatalogue& catalogue);
// What the console says of a cache refused after its head was read.
std::string refusedAfterHead(const CacheHead& head, std::string_view message);

// A whole cache file: its header, the layout chosen for its records and its
// body, which refers into the file's bytes.
struct LoadedCache {
  WdbHeader header;
  LayoutChoice choice;
  std::string_view body;
  std::string console;
  bool ok = false;
};
LoadedCache loadCacheBody(const CacheHead& head, std::string_view fileBytes,
                          const FormatCatalogue& catalogue);
LoadedCache loadCacheBytes(std::string_view fileBytes, const FormatCatalogue& catalogue);

// How many records from the body's start are complete, and which of them,
// by number, their layout does not read: they are written as bytes.
struct DecodedRecords {
  std::uint32_t count = 0;
  std::vector<std::uint32_t> asBytes;
  std::string console;
};
DecodedRecords decodeRecords(const LoadedCache& cache);

// Writes the CSV: the header row, the column names and a row per record.
bool formatCsv(const LoadedCache& cache, const DecodedRecords& records, ByteSink& sink);

// CSV to cache.

// A CSV file's rows and the layout that its first row names; the rows refer
// into the file's bytes, or into `rewritten`.
struct LoadedCsv {
  std::vector<TextRow> rows;
  LayoutChoice choice;
  std::shared_ptr<const std::string> rewritten;
  std::string console;
  bool ok = false;
};
LoadedCsv loadCsvBytes(std::string_view fileBytes, const FormatCatalogue& catalogue);
// The header that the first row gives.
WdbHeader headerOfCsv(const LoadedCsv& csv);

// Writes the cache: the header, a record per row and the end marker. A row
// that cannot be written is refused, with its line and column in `console`.
bool formatCache(const LoadedCsv& csv, const WdbHeader& header, ByteSink& sink,
                 std::string& console);

// Where the cache file made from a CSV file goes: the CSV file's directory
// (up to its last backslash or slash, whichever comes last), or the current
// directory when the path has neither, under the layout's file name.
std::string cacheOutputPath(std::string_view csvPath, std::string_view fileName);

}  // namespace cachesift
