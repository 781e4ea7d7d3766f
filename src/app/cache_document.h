#pragma once

// The state of one conversion and its steps, in both directions.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cachefile/record_frame.h"
#include "cachefile/record_walk.h"
#include "cachefile/wdb_header.h"
#include "catalogue/catalogue.h"
#include "catalogue/format_definition.h"
#include "csv/text_row.h"
#include "io/file_io.h"

namespace cachesift {

class Console;

// What follows the entry size in the CSV row of a record that its layout does
// not read; the row's next cell holds the record's bytes.
inline constexpr std::string_view kAsBytesMark = " bytes";
// What starts the first row's seventh cell of a CSV whose layout was chosen
// because it fits the records best; the layout's first build follows, and
// kUserMark where the layout is from a user's file.
inline constexpr std::string_view kLayoutMark = "layout ";
inline constexpr std::string_view kUserMark = " user";

// The state of one conversion. Each step of a direction is an operation on
// it; the driver calls them in order, and each relies on what the step before
// it filled. A step that fails prints its own messages and returns false.
//
// The steps come in two layers: the ones taking a path read or write the
// file, and call the ones taking bytes or a sink, which do the conversion in
// memory and are what tests and fuzzers drive.
struct CacheDocument {
  // The layouts come from `layouts`, the process-wide catalogue unless a test
  // or fuzzer brings layouts of its own.
  explicit CacheDocument(Console& out, const FormatCatalogue& layouts = formatCatalogue())
      : console(out), catalogue(layouts) {}
  ~CacheDocument() { clear(); }
  CacheDocument(const CacheDocument&) = delete;
  CacheDocument& operator=(const CacheDocument&) = delete;

  // Cache file to CSV.
  bool loadCache(const std::string& path);
  // The body refers into `fileBytes`, which must outlive it.
  bool loadCacheBytes(std::string_view fileBytes);
  void decodeRecords();
  bool writeCsv(const std::string& path) const;  // writes path + ".csv"
  bool formatCsv(ByteSink& sink) const;

  // CSV to cache file.
  bool loadCsv(const std::string& path);
  // The rows refer into `fileBytes`, which must outlive them.
  bool loadCsvBytes(std::string_view fileBytes);
  void rebuildHeader();
  bool writeCache(const std::string& path) const;  // writes into the CSV's directory
  bool formatCache(ByteSink& sink) const;

  // Releases the rows and the body, and the bytes they refer into.
  void clear();

  // The layout of the input; points into the catalogue, which outlives us.
  const FormatDefinition* definition = nullptr;
  // Whether that is not the layout that the build picks, but the one that
  // fits the records best; the CSV then names it.
  bool layoutByFit = false;
  // The layouts tried for a cache by the fit of its records, and that fit.
  std::vector<CandidateFit> layoutsTried;
  // The cache file's bytes after its header; they lie in `input`, or for
  // loadCacheBytes() in the bytes given.
  std::string_view body;
  // How many records from the body's start decodeRecords() found complete.
  std::uint32_t recordCount = 0;
  // Which of them, by number, their layout does not read: they are written as
  // bytes, in order.
  std::vector<std::uint32_t> recordsAsBytes;
  WdbHeader header;
  // The CSV file's lines; they refer into `input`, or for loadCsvBytes() in
  // the bytes given.
  std::vector<TextRow> rows;
  // The input file's bytes, for the steps that read a file.
  FileContents input;
  Console& console;
  const FormatCatalogue& catalogue;

 private:
  bool acceptHeader(std::string_view firstBytes);
  bool acceptBody(std::string_view fileBytes);
  void refuseAfterHeader(std::string_view message);
  // The layout that a mark, a cell that starts with kLayoutMark, names; or
  // nullptr.
  const FormatDefinition* layoutOfMark(std::string_view mark,
                                       const std::array<char, 4>& signature) const;
  // The layout for the whole file, now that its records can be seen; for a
  // build's own layouts, with what it makes of the records.
  struct LayoutChoice {
    const FormatDefinition* layout = nullptr;
    bool byFit = false;  // not the layout that the build picks, but the one that fits best
    RecordWalk walk;
    std::vector<CandidateFit> tried;
  };
  LayoutChoice chooseLayout(std::string_view fileBytes) const;

  // The rows of a CSV of an earlier layout, with the columns it lacks added;
  // its rows then refer into it.
  std::string withAddedColumns_;
  // The layout that reads records as bytes, where the build has none of its
  // own and its file may need it.
  const FormatDefinition* asBytes_ = nullptr;
  // The records as the chosen layout of a build's own reads them, for
  // decodeRecords().
  RecordWalk framedWalk_;
  // Whether the input was read whole; a file too large for memory says so.
  bool acceptRead(ReadStatus status);
};

}  // namespace cachesift
