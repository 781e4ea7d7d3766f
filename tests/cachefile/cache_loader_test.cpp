#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

// A "BDNW" record (id, entry size, name, slot) as the file holds it.
std::string nameRecord(std::uint32_t id, std::uint32_t entrySize, std::string_view name,
                       std::uint32_t slot) {
  return word(id) + word(entrySize) + std::string(name) + '\0' + word(slot);
}

const std::string kNameHeader = header("BDNW", 7, "abcd", 8, 1);

// Loads and decodes in memory; returns the console text.
std::string decode(Conversion& c, std::string_view file) {
  buildCatalogue();
  if (c.document.loadCacheBytes(file)) {
    c.document.decodeRecords();
  }
  return c.console.text();
}

TEST(CacheLoader, WorkedExampleGivesOneRecord) {
  Conversion c;
  EXPECT_EQ(decode(c, kWorkedCache), "Signature matches itemnamecache.wdb\n1 records loaded.\n");
  ASSERT_EQ(c.document.records.size(), 1u);
  const auto& slots = c.document.records[0].slots;
  EXPECT_EQ(slots[0], 25u);
  EXPECT_EQ(slots[1], 15u);
  EXPECT_STREQ(c.document.body.get() + slots[2], "Blue Lamp");
  EXPECT_EQ(slots[3], 13u);
  EXPECT_EQ(c.document.bodySize, 30u);
  EXPECT_EQ(c.document.header.headerWord1, 7u);
  EXPECT_EQ(c.document.header.recordBytes, 8u);
}

TEST(CacheLoader, RefusesUnknownSignaturesAndShortFiles) {
  struct Case {
    std::string file;
    std::string console;
  };
  const std::string noMatch = "Header does not match any known WDB file.\n";
  const Case cases[] = {
      {"", noMatch},
      {"BDN", noMatch},
      {header("bdnw", 0, "abcd", 8, 0), noMatch},
      {header("WNDB", 0, "abcd", 8, 0), noMatch},
      {"XXXX" + std::string(10, 'a'), noMatch},
      {"BDNW",
       "Signature matches itemnamecache.wdb\nThe file is too short to hold a WDB header.\n"},
      {kWorkedCache.substr(0, 19),
       "Signature matches itemnamecache.wdb\nThe file is too short to hold a WDB header.\n"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.file.size());
    Conversion c;
    EXPECT_EQ(decode(c, test.file), test.console);
    EXPECT_EQ(c.document.body, nullptr);
    EXPECT_TRUE(c.document.records.empty());
  }
}

TEST(CacheLoader, WarnsWhenRecordBytesSuggestAnotherFieldCount) {
  const std::string warning =
      "WARNING: Number of fields does not match definition,\n"
      "         Temporarily adjusting fieldsize, this may be an older/newer version.\n\n"
      "NEW FIELD INFO:\n\tNew fields: ";
  struct Case {
    std::uint32_t recordBytes;
    const char* newFields;  // nullptr: no warning
  };
  // The creature layout has 21 fields: recordBytes / 4 + 2 == 21 for 76..79.
  const Case cases[] = {{0, "-19"},      {75, "-1"},           {76, nullptr}, {79, nullptr},
                        {80, "1"},       {1012, "234"},        {1015, "234"}, {1016, nullptr},
                        {5000, nullptr}, {0xFFFFFFFF, nullptr}};
  for (const Case& test : cases) {
    SCOPED_TRACE(test.recordBytes);
    Conversion c;
    const std::string text = decode(c, header("BOMW", 0, "enUS", test.recordBytes, 0));
    std::string expected = "Signature matches creaturecache.wdb\n";
    if (test.newFields != nullptr) {
      expected += warning + test.newFields + "\n\n";
    }
    EXPECT_EQ(text, expected + "0 records loaded.\n");
  }
}

TEST(RecordDecoder, EndRules) {
  struct Case {
    const char* name;
    std::string body;
    std::size_t records;
  };
  const std::string one = nameRecord(25, 15, "Blue Lamp", 13);
  const std::string two = nameRecord(26, 4, "", 1);
  const Case cases[] = {
      {"empty body", "", 0},
      {"four bytes", bytes({1, 0, 0, 0}), 0},
      {"only the end marker", std::string(8, '\0'), 0},
      {"no end marker", one + two, 2},
      {"one trailing byte", one + bytes({0xFF}), 1},
      {"four trailing bytes", one + bytes({0xFF, 0xFF, 0xFF, 0xFF}), 1},
      {"record id 0", one + word(0) + word(99) + "x" + '\0' + word(1), 1},
      {"entry size 0", one + nameRecord(27, 0, "a", 1), 1},
      {"entry size 3", one + nameRecord(27, 3, "a", 1), 1},
      {"entry size 4", one + nameRecord(27, 4, "a", 1), 2},
      {"after the end marker", one + std::string(8, '\0') + two, 1},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    Conversion c;
    EXPECT_EQ(decode(c, kNameHeader + test.body), "Signature matches itemnamecache.wdb\n" +
                                                      std::to_string(test.records) +
                                                      " records loaded.\n");
    EXPECT_EQ(c.document.records.size(), test.records);
  }
}

TEST(RecordDecoder, CutOffRecordsAreDroppedWithoutReadingPastTheBody) {
  const std::string one = nameRecord(25, 15, "Blue Lamp", 13);
  const std::string cut = nameRecord(26, 15, "Red Lamp", 14);
  // Every length of the second record short of whole: id only, part of the
  // entry size, part of the text (no NUL), part of the last number.
  for (std::size_t keep = 1; keep < cut.size(); ++keep) {
    SCOPED_TRACE(keep);
    Conversion c;
    // The body's buffer has exactly its size: the sanitizers catch a read
    // past it.
    decode(c, kNameHeader + one + cut.substr(0, keep));
    EXPECT_EQ(c.document.records.size(), 1u);
  }
}

TEST(RecordDecoder, SlotsHoldWidenedBytesAndRawBits) {
  buildCatalogue();
  // Creature layout: 6 texts, 10 words, 2 floats, one byte.
  std::string record = word(1) + word(4) + std::string(6, '\0');
  for (int i = 0; i < 10; ++i) {
    record += word(0xFFFFFFFF);
  }
  record += word(0xC0200000) + word(0x7FC00000) + bytes({0xFF});
  Conversion c;
  decode(c, header("BOMW", 0, "", 76, 0) + record);
  ASSERT_EQ(c.document.records.size(), 1u);
  const auto& slots = c.document.records[0].slots;
  EXPECT_EQ(slots[8], 0xFFFFFFFFu);
  EXPECT_EQ(slots[18], 0xC0200000u);
  EXPECT_EQ(slots[20], 255u);
}

TEST(RecordDecoder, StopsAt65535Records) {
  std::string file = header("NDRW", 0, "", 8, 0);
  for (std::uint32_t id = 1; id <= 65537; ++id) {
    file += word(id) + word(4) + word(0) + word(0);
  }
  Conversion c;
  EXPECT_EQ(decode(c, file), "Signature matches wowcache.wdb\n65535 records loaded.\n");
  EXPECT_EQ(c.document.records.back().slots[0], 65535u);
}

TEST(RecordDecoder, LayoutsOfFewerThanThreeFieldsReadIdAndSizeOnly) {
  FormatDefinition small;
  small.startLayout("small.wdb", "SMAL");
  small.addField(FT_UNSIGNED, "Id");
  small.addField(FT_STRING, "Entry Size");  // positions 0 and 1 are always words
  CapturingConsole console;
  CacheDocument document(console);
  document.definition = &small;
  const std::string body = word(1) + word(5) + word(2) + word(6) + word(0) + word(0);
  document.body = std::make_unique<char[]>(body.size());
  std::copy(body.begin(), body.end(), document.body.get());
  document.bodySize = body.size();
  document.decodeRecords();
  ASSERT_EQ(document.records.size(), 2u);
  EXPECT_EQ(document.records[1].slots[0], 2u);
  EXPECT_EQ(document.records[1].slots[1], 6u);
}

}  // namespace
}  // namespace cachesift::testing
