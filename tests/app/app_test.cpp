// Whole conversions in memory: every layout, round trips; and the app's own rules.
#include <gtest/gtest.h>

#include <algorithm>

#include "samples/sample_maker.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

// Records written byte by byte from the forms of the caches that the built-in
// layouts read, and the CSV that each must give: the header row's words, the
// column names and each field's cell. The CSV comes back as the cache.
TEST(Conversion, BuiltInLayoutsReadWorkedRecords) {
  const std::string creature =
      word(7) + word(62) + "A" + bytes({0}) + "B" + bytes({0, 0, 0}) + "Desc" + bytes({0}) + "X" +
      bytes({0}) + word(1) + word(2) + word(3) + word(4) + word(5) + word(6) + word(7) + word(8) +
      word(9) + word(10) + bytes({0, 0, 0xC0, 0x3F}) + bytes({0, 0, 0x10, 0xC0}) + bytes({200});
  const std::string pageText = word(19) + word(7) + "Pg" + bytes({0}) + word(0xFFFFFFFF);
  const struct {
    std::string cache, csv;
  } cases[] = {
      {header("BOMW", 6005, "enUS", 76, 4) + creature + word(0) + word(0),
       "BOMW,6005,enUS,76,4,\r\nCreatureID,Entry Size,Name 1,Name 2,Name 3,Name 4,Description,"
       "Column 8,Column 9,TypeID,FamilyID,FlagID,Column 13,SpellDataID,IconID,IconID2,IconID3,"
       "IconID4,Column 19,Column 20,Column 21,\r\n"
       "7,62,\"A\",\"B\",\"\",\"\",\"Desc\",\"X\",1,2,3,4,5,6,7,8,9,10,1.500000,-2.250000,200,"
       "\r\n"},
      {header("XTPW", 6005, "deDE", 8, 4) + pageText + word(0) + word(0),
       "XTPW,6005,deDE,8,4,\r\nItemID,Entry Size,Page Text,NextPageID,\r\n"
       "19,7,\"Pg\",4294967295,\r\n"},
      {header("NDRW", 1, "enGB", 8, 4) + word(4) + word(8) + word(5) + word(6) + word(0) + word(0),
       "NDRW,1,enGB,8,4,\r\nColumn 1,Column 2,Column 3,Column 4,\r\n4,8,5,6,\r\n"},
  };
  for (const auto& [cache, csv] : cases) {
    EXPECT_EQ(cacheToCsv(cache).file, csv);
    EXPECT_EQ(csvToCache(csv).file, cache);
  }
  // The other forms by their signature, key column and count of columns.
  const struct {
    std::string_view signature, key;
    std::size_t columns;
  } forms[] = {{"BOGW", "ObjectID", 35}, {"BDIW", "ItemID", 133}, {"BDNW", "ItemID", 4},
               {"XTIW", "EntryID", 3},   {"CPNW", "EntryID", 82}, {"TSQW", "QuestID", 69}};
  for (const auto& [signature, key, columns] : forms) {
    const auto layout = std::ranges::find_if(layouts(), [&](const FormatDefinition& l) {
      return std::string_view(l.signature.data(), 4) == signature;
    });
    ASSERT_NE(layout, layouts().end()) << signature;
    EXPECT_EQ(layout->columns.size(), columns) << signature;
    EXPECT_EQ(layout->columns[0].name, key) << signature;
  }
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
