#include "support/test_support.h"

#include "support/made_layout.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "cachefile/coding.h"
#include "catalogue/catalogue.h"
#include "io/byte_sink.h"

namespace cachesift::testing {

std::string bytes(std::initializer_list<int> values) {
  return std::string(values.begin(), values.end());
}

std::string word(std::uint32_t value) {
  unsigned char raw[4];
  encodeFixed32(raw, value);
  return std::string(reinterpret_cast<const char*>(raw), 4);
}

std::string header(std::string_view signature, std::uint32_t word1, std::string_view tag,
                   std::uint32_t recordBytes, std::uint32_t word4) {
  const auto four = [](std::string_view code) {
    return std::string(code).append(4, '\0').substr(0, 4);
  };
  return four(signature) + word(word1) + four(tag) + word(recordBytes) + word(word4);
}

Converted cacheToCsv(std::string_view cache, const FormatCatalogue* layouts) {
  buildCatalogue();
  CapturingConsole console;
  CacheDocument document(console, layouts != nullptr ? *layouts : formatCatalogue());
  StringSink sink;
  if (document.loadCacheBytes(cache)) {
    document.decodeRecords();
    document.formatCsv(sink);
  }
  return {console.text(), sink.bytes()};
}

Converted csvToCache(std::string_view csv, const FormatCatalogue* layouts) {
  buildCatalogue();
  CapturingConsole console;
  CacheDocument document(console, layouts != nullptr ? *layouts : formatCatalogue());
  StringSink sink;
  if (document.loadCsvBytes(csv) && (document.rebuildHeader(), document.formatCache(sink))) {
    return {console.text(), sink.bytes()};
  }
  return {console.text(), ""};
}

FormatCatalogue madeCatalogue(std::string_view layoutText) {
  FormatCatalogue catalogue;
  const LayoutFileText file{"made.layout", layoutText};
  EXPECT_EQ(fillCatalogue(catalogue, std::span(&file, 1)), "");
  return catalogue;
}

const std::vector<FormatDefinition>& layouts() {
  buildCatalogue();
  return formatCatalogue().definitions();
}

const FormatCatalogue& madeLayouts() {
  static const FormatCatalogue catalogue = madeCatalogue(kMadeLayout);
  return catalogue;
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace cachesift::testing
