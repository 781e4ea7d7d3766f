#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <random>

#include "csv/csv_reader.h"
#include "io/byte_sink.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

const std::string kBom = "\xEF\xBB\xBF";

// Rows as text: each cell followed by "|", each row by "/".
std::string joined(const std::vector<TextRow>& rows) {
  std::string text;
  for (const TextRow& row : rows) {
    for (TextRow::Cursor cells(row); !cells.done();) {
      text += std::string(cells.next()) + "|";
    }
    text += "/";
  }
  return text;
}

TEST(SplitCsvRows, LinesAndCells) {
  const std::string longCell(50000, 'q');
  const std::pair<std::string, std::string> cases[] = {
      {"1,\"x,y\",2,", "1|x,y|2|/"},
      {"1,2", "1|2|/"},
      {"1,2,", "1|2|/"},
      {"BDNW", "BDNW|/"},
      {"1,\"a b\"", "1|a b|/"},
      {"1,\"\"", "1||/"},
      {"1,\"a,b", "1|/"},
      {"\"", "/"},
      {"a,\"b\",c", "a|b|c|/"},
      {"\"abc,1,", "/"},
      {",,", "||/"},
      {",\"a,b\",", "|a,b|/"},
      {" a , b ,", " a | b |/"},
      {"\"\",x\"y,\"a\"b\",", "|x\"y|a\"b|/"},
      {"a\"\",b,", "a\"\"|b|/"},
      {"\"a\",b\",", "a|b\"|/"},
      {std::string("1,2\0,3,", 7), "1|2|/"},
      {std::string("\0a,", 3), "/"},
      {"a,\r\nb,\r\n", "a|/b|/"},
      {"a,\nb,", "a|/b|/"},
      {"a,\n\n", "a|//"},
      {"a\r,b,\r", "a\r|b|\r|/"},
      {"a,\n\"x\x1Ay\",z,\nb,\n", "a|//"},
      {"a,\n\x1A"
       "b,\n",
       "a|/"},
      {"", ""},
      {"a,\n\"" + longCell + "\",\nb,\n", "a|/" + longCell + "|/b|/"}};
  for (const auto& [file, rows] : cases) {
    EXPECT_EQ(joined(splitCsvRows(file)), rows) << file.substr(0, 20);
  }
}

TEST(CsvReader, FirstRowNamesTheLayoutAndRowsOfAnotherCellCountAreCounted) {
  const std::string match = "Signature matches itemnamecache.wdb\n";
  const std::string noMatch = "Header does not match any known WDB file.\n";
  const std::string uneven =
      "WARNING: 3 record rows do not have the layout's 4 cells;\n"
      "         missing cells are written as 0 or empty text, extra cells are dropped.\n";
  // The file, the console, and the rows kept (as above).
  const std::string cases[][3] = {
      {kBom + "BDNW,7,\n", match + "1 records loaded.\n", "BDNW|7|/"},
      {kBom + "\"BDNW\",7,\n", noMatch, "\"BDNW\"|7|/"},
      {"BDNWX,7,\n" + kBom + "a,\n", match + "2 records loaded.\n", "BDNWX|7|/" + kBom + "a|/"},
      {"BDN,7,\n", noMatch, "BDN|7|/"},
      {"bdnw,7,\n", noMatch, "bdnw|7|/"},
      {"\"BDNW\",7,\n", match + "1 records loaded.\n", "BDNW|7|/"},
      {"", noMatch, ""},
      {"\n", noMatch, "/"},
      {"\x1A"
       "BDNW,\n",
       noMatch, ""},
      {"BDNW\n1\n25,15,\"a,b\",13\n\n", match + "4 records loaded.\n", "BDNW|/1|/25|15|a,b|13|//"},
      {"BDNW\n1\n1,2,\"a\",3,9,\n1,2,\"a\"\n1,2,\"a\",b\",3,\n",
       match + "5 records loaded.\n" + uneven, "BDNW|/1|/1|2|a|3|9|/1|2|a|/1|2|a|b\"|3|/"}};
  layouts();  // builds the catalogue
  for (const auto& [csv, console, rows] : cases) {
    Conversion c;
    EXPECT_EQ(c.document.loadCsvBytes(csv), console.starts_with(match)) << csv;
    EXPECT_EQ(c.console.text(), console) << csv;
    EXPECT_EQ(joined(c.document.rows), rows) << csv;
  }
}

TEST(RebuildHeader, ConvertsCellsAndFillsMissingOnes) {
  const std::pair<std::string, std::string> cases[] = {
      {"BDNW,7,abcd,8,1,", header("BDNW", 7, "abcd", 8, 1)},
      {"BDNW, 12,12abc,-1,abc,", header("BDNW", 12, "12ab", 0xFFFFFFFF, 0)},
      {"BDNW,4294967295,ab,+8,007,extra,", header("BDNW", 0xFFFFFFFF, "ab", 8, 7)},
      {"BDNW,", header("BDNW", 0, "", 0, 0)},
      {"BDNW,5,,", header("BDNW", 5, "", 0, 0)}};
  for (const auto& [firstLine, headerBytes] : cases) {
    EXPECT_EQ(csvToCache(firstLine + "\n").file, headerBytes + std::string(8, '\0')) << firstLine;
  }
}

TEST(CsvWriter, HeaderWordsTextsAndNumbers) {
  EXPECT_EQ(cacheToCsv(header("NDRW", 0xFFFFFFFF, bytes({'a', 0, 'b', 'c'}), 0x80000000, 5)).file,
            "NDRW,-1,a,-2147483648,5,\r\nColumn 1,Column 2,Column 3,Column 4,\r\n");
  std::string record = word(7) + word(60) + "Grey Owl" + '\0' + "%d %s" + '\0' + "a\nb" + '\0' +
                       "say \"hi\", ok" + '\0' + '\0' + '\0' + word(0xFFFFFFFF);
  for (std::uint32_t i = 1; i < 10; ++i) {
    record += word(i);
  }
  record += word(std::bit_cast<std::uint32_t>(-2.5f)) + word(std::bit_cast<std::uint32_t>(1e10f));
  const std::string csv =
      cacheToCsv(header("BOMW", 0, "en\nU", 76, 0) + record + bytes({0xC8})).file;
  EXPECT_EQ(csv.substr(0, 20), "BOMW,0,en\r\nU,76,0,\r\n");
  EXPECT_EQ(csv.substr(csv.find("\r\n", 20) + 2),
            "7,60,\"Grey Owl\",\"%d %s\",\"a\r\nb\",\"say \"hi\", ok\",\"\",\"\","
            "4294967295,1,2,3,4,5,6,7,8,9,-2.500000,10000000000.000000,200,\r\n");
  const std::string text(100000, 'x');
  EXPECT_EQ(cacheToCsv(header("XTIW", 0, "", 4, 0) + word(1) + word(4) + text + '\0').file,
            "XTIW,0,,4,0,\r\nEntryID,Entry Size,Text,\r\n1,4,\"" + text + "\",\r\n");
}

// The CSV of records of a made-up layout with the given field types.
std::string formatRecords(const std::vector<int>& types, const std::vector<std::uint32_t>& slots) {
  FormatDefinition d;
  for (int type : types) {
    d.addField(static_cast<std::uint8_t>(type), type == FT_SIGNED ? "100%d" : "");
  }
  std::string body;  // a byte field is one byte, any other a word
  for (std::size_t i = 0; i < slots.size(); ++i) {
    body += types[i % types.size()] == FT_BYTE ? std::string(1, char(slots[i])) : word(slots[i]);
  }
  Conversion c;
  c.document.definition = &d;
  c.document.body = body;
  c.document.recordCount = static_cast<std::uint32_t>(slots.size() / types.size());
  StringSink sink;
  c.document.formatCsv(sink);
  return sink.bytes();
}

TEST(CsvWriter, EveryFieldRule) {
  EXPECT_EQ(formatRecords({FT_UNSIGNED, FT_SIGNED, FT_FLOAT, FT_FLOAT, FT_FLOAT, FT_FLOAT,
                           FT_BITS16, FT_BITS32, FT_BYTE, 0},
                          {0xFFFFFFFF, 0xFFFFFFFF, 0x7FC00000, 0xFFC00000, 0x7F800000, 0xFF800000,
                           0xFFFF0000, 0xFFFF0000, 0xC8, 0x80000000}),
            ",0,,0,0,\r\n"
            "Column 1,100%d,Column 3,Column 4,Column 5,Column 6,Column 7,Column 8,Column 9,"
            "Column 10,\r\n"
            "4294967295,-1,nan,-nan,inf,-inf,0000000000000000,11111111111111110000000000000000,"
            "200,2147483648,\r\n");
  // Numbers are written from their digit count, which grows at each power of ten.
  EXPECT_EQ(formatRecords({FT_UNSIGNED, FT_UNSIGNED}, {99999999, 100000000, 999999999, 1000000000}),
            ",0,,0,0,\r\nColumn 1,Column 2,\r\n99999999,100000000,\r\n999999999,1000000000,\r\n");
}

TEST(CsvWriter, FloatsPrintAsPrintfPrintsThem) {
  std::vector<std::uint32_t> bits;
  std::string expected = ",0,,0,0,\r\nColumn 1,\r\n";
  std::mt19937 random(7);
  for (float value : {0.0f, -0.0f, 0.0078125f, 0.0000001f, 3.4028235e38f, 1e-45f, 2.5e-7f}) {
    bits.push_back(std::bit_cast<std::uint32_t>(value));
  }
  while (bits.size() < 20000) {
    bits.push_back(static_cast<std::uint32_t>(random()));
    const double value = std::bit_cast<float>(bits.back());
    if (!std::isfinite(value)) {
      bits.pop_back();
    }
  }
  for (std::uint32_t value : bits) {
    char text[64];
    std::snprintf(text, sizeof text, "%f,\r\n", static_cast<double>(std::bit_cast<float>(value)));
    expected += text;
  }
  EXPECT_EQ(formatRecords({FT_FLOAT}, bits), expected);
}

}  // namespace
}  // namespace cachesift::testing
