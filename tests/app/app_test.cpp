// Whole conversions in memory: every layout, round trips; and the app's own rules.
#include <gtest/gtest.h>

#include "samples/sample_maker.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

// One record of each built-in layout, its signature line and CSV, against
// layouts.txt (LF line ends there): their CSV stays byte for byte, signature,
// file name, column names and field types. The CSV comes back as the cache.
// The layouts of client builds are data, checked on the client's own caches.
TEST(Conversion, EveryLayoutAsInLayoutsTxt) {
  std::string all;
  std::uint32_t seed = 100;
  for (const FormatDefinition& layout : layouts()) {
    const std::uint32_t layoutSeed = seed++;
    if (layout.framed()) {
      continue;
    }
    const std::string cache = samples::makeCache(layout, 1, layoutSeed);
    const Converted csv = cacheToCsv(cache);
    all += csv.console.substr(0, csv.console.find('\n') + 1) + csv.file;
    EXPECT_EQ(csvToCache(csv.file).file, cache) << layout.fileName;
  }
  for (std::size_t crlf; (crlf = all.find("\r\n")) != std::string::npos;) {
    all.erase(crlf, 1);
  }
  EXPECT_EQ(all, readFile(CACHESIFT_TESTS_DIR "/app/layouts.txt"));
}

// Well-formed caches of every layout with many random records (300, or 40 of a
// layout whose records hold up to some thousand cells) come back byte for
// byte through CSV: texts of invented words, and of random bytes full of
// double quotes, commas, CR and LF. Floats that are NaN, infinite, -0 or
// subnormal come back too, the records that the CSV cannot show kept as bytes;
// that is the only warning.
TEST(Conversion, RandomCachesRoundTrip) {
  layouts();
  for (const FormatCatalogue* catalogue : {&formatCatalogue(), &madeLayouts()}) {
    for (const FormatDefinition& layout : catalogue->definitions()) {
      for (std::uint32_t seed : {11u, 12u, 13u}) {
        for (samples::Texts texts : {samples::Texts::kAny, samples::Texts::kRandomBytes}) {
          SCOPED_TRACE(layout.fileName + " seed " + std::to_string(seed));
          const auto floats = seed == 13 ? samples::Floats::kSpecial : samples::Floats::kDecimals;
          const std::string cache = samples::makeCache(
              layout, layout.columns.size() <= 256 ? 300 : 40, seed, texts, floats);
          const Converted csv = cacheToCsv(cache, catalogue);
          const Converted back = csvToCache(csv.file, catalogue);
          ASSERT_EQ(back.file, cache);
          // Only records of special floats are kept as bytes, and nothing else warns.
          const std::string console = csv.console + back.console;
          const std::size_t warning = console.find("WARNING");
          ASSERT_TRUE(warning == std::string::npos ||
                      (floats == samples::Floats::kSpecial &&
                       console.find("WARNING", warning + 1) == std::string::npos &&
                       console.find(" records do not fit the layout;") != std::string::npos))
              << console;
        }
      }
    }
  }
}

// The bundled samples, made by an earlier build of the tool, still read whole
// by the layouts that made them, without a warning, and come back byte for
// byte: a layout changed so that caches written before no longer read, or
// read otherwise, shows here.
TEST(Samples, ReadWholeByTheirLayoutsAndComeBack) {
  for (const FormatDefinition& layout : layouts()) {
    const std::string cache =
        readFile(std::string(CACHESIFT_SAMPLES_DIR) + "/" + samples::samplePath(layout));
    const Converted csv = cacheToCsv(cache);
    EXPECT_EQ(csv.console.find("WARNING"), std::string::npos) << csv.console;
    EXPECT_NE(csv.console.find(layout.framed() ? layout.buildsLine(false) : "records loaded"),
              std::string::npos)
        << csv.console;
    EXPECT_EQ(csvToCache(csv.file).file, cache) << layout.fileName;
  }
}

}  // namespace
}  // namespace cachesift::testing
