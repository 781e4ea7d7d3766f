#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <random>

#include "app/byte_sink.h"
#include "catalogue/catalogue.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

TEST(CsvWriter, WorkedExampleByteForByte) {
  std::string csv;
  EXPECT_EQ(cacheToCsv(kWorkedCache, &csv),
            "Signature matches itemnamecache.wdb\n1 records loaded.\n");
  EXPECT_EQ(csv, kWorkedCsv);
}

TEST(CsvWriter, CacheWithoutRecordsGivesTwoLines) {
  std::string csv;
  cacheToCsv(header("NDRW", 0xFFFFFFFF, bytes({'a', 0, 'b', 'c'}), 0x80000000, 5), &csv);
  EXPECT_EQ(csv, "NDRW,-1,a,-2147483648,5,\r\nColumn 1,Column 2,Column 3,Column 4,\r\n");
}

TEST(CsvWriter, CreatureColumnNamesNumberUnnamedColumns) {
  std::string csv;
  cacheToCsv(header("BOMW", 0, "enUS", 76, 0), &csv);
  EXPECT_EQ(csv,
            "BOMW,0,enUS,76,0,\r\n"
            "CreatureID,Entry Size,Name 1,Name 2,Name 3,Name 4,Description,Column 8,Column 9,"
            "TypeID,FamilyID,FlagID,Column 13,SpellDataID,IconID,IconID2,IconID3,IconID4,"
            "Column 19,Column 20,Column 21,\r\n");
}

TEST(CsvWriter, CreatureRecordCells) {
  std::string record = word(7) + word(60) + "Grey Owl" + '\0' + "%d %s" + '\0' +
                       std::string("a\nb") + '\0' + "say \"hi\", ok" + '\0' + '\0' + '\0';
  for (std::uint32_t i = 0; i < 10; ++i) {
    record += word(i == 0 ? 0xFFFFFFFF : i);
  }
  record += word(std::bit_cast<std::uint32_t>(-2.5f)) + word(std::bit_cast<std::uint32_t>(1e10f));
  record += bytes({0xC8});
  std::string csv;
  cacheToCsv(header("BOMW", 0, "en\nU", 76, 0) + record + std::string(8, '\0'), &csv);
  // The record line: past the header row (18 bytes, its tag broken in two) and the names.
  const std::size_t thirdLine = csv.find("\r\n", 20) + 2;
  EXPECT_EQ(csv.substr(0, 12), "BOMW,0,en\r\nU");
  EXPECT_EQ(csv.substr(thirdLine),
            "7,60,\"Grey Owl\",\"%d %s\",\"a\r\nb\",\"say \"hi\", ok\",\"\",\"\","
            "4294967295,1,2,3,4,5,6,7,8,9,-2.500000,10000000000.000000,200,\r\n");
}

TEST(CsvWriter, LongTextsAreWrittenWhole) {
  const std::string text(100000, 'x');
  std::string csv;
  cacheToCsv(header("XTIW", 0, "", 4, 0) + word(1) + word(4) + text + '\0', &csv);
  EXPECT_EQ(csv, "XTIW,0,,4,0,\r\nEntryID,Entry Size,Text,\r\n1,4,\"" + text + "\",\r\n");
}

// A layout of every writer rule, for the flags no built-in layout uses.
FormatDefinition everyTypeLayout() {
  FormatDefinition d;
  d.startLayout("every.wdb", "EVRY");
  for (int type : std::initializer_list<int>{FT_UNSIGNED, FT_SIGNED, FT_FLOAT, FT_FLOAT, FT_FLOAT,
                                             FT_FLOAT, FT_BITS16, FT_BITS32, FT_BYTE, 0}) {
    d.addField(static_cast<std::uint8_t>(type), type == FT_SIGNED ? "100%d" : "");
  }
  return d;
}

TEST(CsvWriter, EveryFieldRule) {
  const FormatDefinition d = everyTypeLayout();
  Conversion c;
  c.document.definition = &d;
  c.document.header.signature = wordFromChars("EVRY");
  DecodedRecord record{};
  const std::uint32_t values[] = {0xFFFFFFFF, 0xFFFFFFFF, 0x7FC00000, 0xFFC00000, 0x7F800000,
                                  0xFF800000, 0xFFFF0000, 0xFFFF0000, 0x00012345, 0x80000000};
  std::copy(std::begin(values), std::end(values), record.slots.begin());
  c.document.records.push_back(record);
  StringSink sink;
  ASSERT_TRUE(c.document.formatCsv(sink));
  EXPECT_EQ(sink.bytes(),
            "EVRY,0,,0,0,\r\n"
            "Column 1,100%d,Column 3,Column 4,Column 5,Column 6,Column 7,Column 8,Column 9,"
            "Column 10,\r\n"
            "4294967295,-1,nan,-nan,inf,-inf,0000000000000000,11111111111111110000000000000000,"
            "74565,2147483648,\r\n");
}

TEST(CsvWriter, FloatsPrintAsPrintfPrintsThem) {
  const float samples[] = {0.0f,           -0.0f,      1.5f,        0.1f,
                           0.0078125f,     0.0000001f, 123456.789f, 3.4028235e38f,
                           -3.4028235e38f, 1e-45f,     16777217.0f, 2.5e-7f};
  std::mt19937 random(7);
  std::vector<float> values(std::begin(samples), std::end(samples));
  while (values.size() < 20000) {
    const float value = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
    if (!std::isnan(value) && !std::isinf(value)) {
      values.push_back(value);
    }
  }
  FormatDefinition d;
  d.startLayout("f.wdb", "FLTS");
  d.addField(FT_FLOAT, "");
  Conversion c;
  c.document.definition = &d;
  c.document.header.signature = wordFromChars("FLTS");
  std::string expected = "FLTS,0,,0,0,\r\nColumn 1,\r\n";
  for (float value : values) {
    DecodedRecord record{};
    record.slots[0] = std::bit_cast<std::uint32_t>(value);
    c.document.records.push_back(record);
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
    expected += std::string(text) + ",\r\n";
  }
  StringSink sink;
  c.document.formatCsv(sink);
  EXPECT_EQ(sink.bytes(), expected);
}

}  // namespace
}  // namespace cachesift::testing
