#pragma once

// The state of one conversion and its steps, in both directions: a thin shell
// that reads and writes the files and prints what the conversion's steps
// (src/cachefile/conversion.h) say.

#include <string>
#include <string_view>

#include "cachefile/conversion.h"
#include "catalogue/catalogue.h"
#include "io/file_io.h"

namespace cachesift {

class Console;

// The state of one conversion. The driver calls a direction's steps in order,
// and each relies on what the step before it kept. A step that fails prints
// its own messages and returns false.
class CacheDocument {
 public:
  // The layouts come from `layouts`, the process-wide catalogue unless a test
  // or fuzzer brings layouts of its own.
  explicit CacheDocument(Console& out, const FormatCatalogue& layouts = formatCatalogue())
      : console(out), catalogue(layouts) {}
  CacheDocument(const CacheDocument&) = delete;
  CacheDocument& operator=(const CacheDocument&) = delete;

  // Cache file to CSV. The body refers into `fileBytes`, which must outlive
  // the document's use of it.
  bool loadCache(const std::string& path);
  bool loadCacheBytes(std::string_view fileBytes);
  void decodeRecords();
  bool writeCsv(const std::string& path) const;  // writes path + ".csv"
  bool formatCsv(ByteSink& sink) const;

  // CSV to cache file. The rows refer into `fileBytes`, which must outlive
  // the document's use of them.
  bool loadCsv(const std::string& path);
  bool loadCsvBytes(std::string_view fileBytes);
  void rebuildHeader();
  bool writeCache(const std::string& path) const;  // writes into the CSV's directory
  bool formatCache(ByteSink& sink) const;

  // Releases what was read.
  void clear();

  // The layout chosen, of either direction; nullptr before one is.
  const FormatDefinition* layout() const {
    return cache_.choice.layout ? cache_.choice.layout : csv_.choice.layout;
  }

  Console& console;
  const FormatCatalogue& catalogue;

 private:
  bool acceptRead(ReadStatus status);

  FileContents input_;
  LoadedCache cache_;
  DecodedRecords records_;
  LoadedCsv csv_;
  WdbHeader header_;
};

}  // namespace cachesift
