// Whole conversions in memory: exact bytes for known inputs, and round trips.
#include <gtest/gtest.h>

#include "io/console.h"
#include "samples/sample_maker.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

// One record of every layout, its signature line and CSV, against layouts.txt
// (LF line ends there): it pins every layout's signature, file name, column
// names and field types. The CSV comes back as the same cache.
TEST(Conversion, EveryLayoutAsInLayoutsTxt) {
  std::string all;
  std::uint32_t seed = 100;
  for (const FormatDefinition& layout : layouts()) {
    const std::string cache = samples::makeCache(layout, 1, seed++);
    const Converted csv = cacheToCsv(cache);
    all += csv.console.substr(0, csv.console.find('\n') + 1) + csv.file;
    EXPECT_EQ(csvToCache(csv.file).file, cache) << layout.fileName;
  }
  for (std::size_t crlf; (crlf = all.find("\r\n")) != std::string::npos;) {
    all.erase(crlf, 1);
  }
  EXPECT_EQ(all, readFile(CACHESIFT_TESTS_DIR "/app/layouts.txt"));
}

// Well-formed caches of every layout with many random records come back byte
// for byte through CSV.
TEST(Conversion, RandomCachesRoundTrip) {
  for (const FormatDefinition& layout : layouts()) {
    for (std::uint32_t seed : {11u, 12u, 13u}) {
      SCOPED_TRACE(layout.fileName + " seed " + std::to_string(seed));
      const std::string cache = samples::makeCache(layout, 300, seed);
      ASSERT_EQ(csvToCache(cacheToCsv(cache).file).file, cache);
    }
  }
}

TEST(Samples, AreTheGeneratorsOutput) {
  std::uint32_t seed = 1;
  for (const FormatDefinition& layout : layouts()) {
    EXPECT_EQ(readFile(std::string(CACHESIFT_SAMPLES_DIR) + "/" + layout.fileName),
              samples::makeCache(layout, 12, seed++))
        << layout.fileName;
  }
}

// The rules no built-in layout reaches.
TEST(FindBySignature, DuplicateSignaturesPrintTwiceAndGiveTheLater) {
  FormatCatalogue catalogue;
  FormatDefinition d;
  d.startLayout("first.wdb", "ABCD");
  catalogue.append(d);
  d.startLayout("second.wdb", "ABCD");
  catalogue.append(d);
  CapturingConsole console;
  EXPECT_EQ(catalogue.findBySignature({'A', 'B', 'C', 'D'}, console), &catalogue.definitions()[1]);
  EXPECT_EQ(catalogue.findBySignature({'A', 'B', 'C', 'd'}, console), nullptr);
  EXPECT_EQ(console.text(), "Signature matches first.wdb\nSignature matches second.wdb\n");
}

TEST(FormatDefinition, AddFieldStopsAt256) {
  FormatDefinition d;
  for (int i = 1; i < 300; ++i) {
    d.addField(FT_FLOAT, "f" + std::to_string(i));
  }
  EXPECT_EQ(d.fieldCount, 256u);
  EXPECT_EQ(d.nextField, 256u);
  EXPECT_EQ(d.fieldNames[255], "f256");
  EXPECT_EQ(d.fieldTypes[255], FT_FLOAT);
}

}  // namespace
}  // namespace cachesift::testing
