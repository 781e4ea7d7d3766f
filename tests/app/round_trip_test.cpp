#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "samples/sample_maker.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

const std::vector<FormatDefinition>& layouts() {
  buildCatalogue();
  return formatCatalogue().definitions();
}

// Well-formed caches of every layout, with many records and random values,
// come back byte for byte through CSV; and the CSV made from them comes back
// byte for byte through the cache.
TEST(RoundTrip, CacheToCsvToCacheAndCsvToCacheToCsv) {
  for (const FormatDefinition& definition : layouts()) {
    for (std::uint32_t seed : {11u, 12u, 13u}) {
      SCOPED_TRACE(definition.fileName + " seed " + std::to_string(seed));
      const std::string cache = samples::makeCache(definition, 300, seed);
      std::string csv;
      cacheToCsv(cache, &csv);
      std::string cacheAgain;
      csvToCache(csv, &cacheAgain);
      ASSERT_EQ(cacheAgain, cache);
      std::string csvAgain;
      cacheToCsv(cacheAgain, &csvAgain);
      ASSERT_EQ(csvAgain, csv);
    }
  }
}

// The bundled samples are what the generator makes.
TEST(Samples, AreTheGeneratorsOutput) {
  std::uint32_t seed = 1;
  for (const FormatDefinition& definition : layouts()) {
    SCOPED_TRACE(definition.fileName);
    EXPECT_EQ(readFile(std::string(CACHESIFT_SAMPLES_DIR) + "/" + definition.fileName),
              samples::makeCache(definition, 12, seed++));
  }
}

}  // namespace
}  // namespace cachesift::testing
