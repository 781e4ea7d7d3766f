#include "csv/csv_reader.h"

#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

TEST(SplitCsvLine, DividesCellsByTheQuoteAndCommaRule) {
  struct Case {
    std::string line;
    TextRow cells;
  };
  const Case cases[] = {
      {"1,\"x,y\",2,", {"1", "x,y", "2"}},
      {"1,2", {"1", "2"}},
      {"1,2,", {"1", "2"}},
      {"\"abc,1,", {}},
      {"", {}},
      {",,", {"", ""}},
      {" a , b ,", {" a ", " b "}},
      {"\"\",x\"y,\"a\"b\",", {"", "x\"y", "a\"b"}},
      {"a\"\",b,", {"a\"\"", "b"}},
      {"\"a\",b\",", {"a", "b\""}},
      {std::string("1,2\0,3,", 7), {"1", "2"}},
      {std::string("\0a,", 3), {}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.line);
    EXPECT_EQ(splitCsvLine(test.line), test.cells);
  }
}

TEST(SplitCsvRows, LineEndsCarriageReturnsAndEndOfFile) {
  struct Case {
    const char* name;
    std::string file;
    std::vector<TextRow> rows;
  };
  const Case cases[] = {
      {"CR LF", "a,\r\nb,\r\n", {{"a"}, {"b"}}},
      {"LF only", "a,\nb,\n", {{"a"}, {"b"}}},
      {"no final line end", "a,\nb,", {{"a"}, {"b"}}},
      {"empty line at the end", "a,\n\n", {{"a"}, {}}},
      {"CR not before LF stays", "a\r,b,\r", {{"a\r", "b", "\r"}}},
      {"1A ends the file", "a,\n\"x\x1Ay\",z,\nb,\n", {{"a"}, {}}},
      {"1A after a line end",
       "a,\n\x1A"
       "b,\n",
       {{"a"}}},
      {"empty file", "", {}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    EXPECT_EQ(splitCsvRows(test.file), test.rows);
  }
}

TEST(SplitCsvRows, ReadsLinesOfAnyLength) {
  const std::string longCell(50000, 'q');
  const std::vector<TextRow> rows = splitCsvRows("a,\n\"" + longCell + "\",\nb,\n");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].cell(0), longCell);
  EXPECT_EQ(rows[2].cell(0), "b");
}

TEST(CsvReader, WorkedExampleRowsAndHeader) {
  buildCatalogue();
  Conversion c;
  ASSERT_TRUE(c.document.loadCsvBytes(kWorkedCsv));
  EXPECT_EQ(c.console.text(), "Signature matches itemnamecache.wdb\n3 records loaded.\n");
  const std::vector<TextRow> expected = {{"BDNW", "7", "abcd", "8", "1"},
                                         {"ItemID", "Entry Size", "Item Name", "InventorySlot"},
                                         {"25", "15", "Blue Lamp", "13"}};
  EXPECT_EQ(c.document.rows, expected);
  c.document.rebuildHeader();
  EXPECT_EQ(c.document.header.encode(),
            WdbHeader::decode(header("BDNW", 7, "abcd", 8, 1)).encode());
}

TEST(CsvReader, FirstRowNamesTheLayout) {
  const std::string match = "Signature matches itemnamecache.wdb\n";
  const std::string noMatch = "Header does not match any known WDB file.\n";
  struct Case {
    std::string csv;
    std::string console;
    std::string signatureCell;  // cell 0 of row 0 after loading
  };
  const Case cases[] = {
      {"\xEF\xBB\xBF"
       "BDNW,7,abcd,8,1,\n",
       match + "1 records loaded.\n", "BDNW"},
      {"\xEF\xBB\xBF\"BDNW\",7,\n", noMatch, "\"BDNW\""},
      {"BDNWX,7,\n", match + "1 records loaded.\n", "BDNWX"},
      {"BDN,7,\n", noMatch, "BDN"},
      {"bdnw,7,\n", noMatch, "bdnw"},
      {"\"BDNW\",7,\n", match + "1 records loaded.\n", "BDNW"},
      {"BDNW,7,\n\xEF\xBB\xBF"
       "a,\n",
       match + "2 records loaded.\n", "BDNW"},
      {"", noMatch, ""},
      {"\n", noMatch, ""},
      {"BDNW\nBDNW,7,\n", match + "2 records loaded.\n", "BDNW"},
      {"\x1A"
       "BDNW,\n",
       noMatch, ""},
  };
  buildCatalogue();
  for (const Case& test : cases) {
    SCOPED_TRACE(test.csv);
    Conversion c;
    const bool loaded = c.document.loadCsvBytes(test.csv);
    EXPECT_EQ(loaded, test.console.starts_with(match));
    EXPECT_EQ(c.console.text(), test.console);
    if (!c.document.rows.empty()) {
      EXPECT_EQ(c.document.rows[0].cell(0), test.signatureCell);
    }
  }
}

TEST(CsvReader, ABomOnALaterLineStays) {
  buildCatalogue();
  Conversion c;
  ASSERT_TRUE(
      c.document.loadCsvBytes("BDNW,7,\n\xEF\xBB\xBF"
                              "a,\n"));
  EXPECT_EQ(c.document.rows[1].cell(0),
            "\xEF\xBB\xBF"
            "a");
}

TEST(RebuildHeader, ConvertsCellsAndFillsMissingOnes) {
  struct Case {
    std::string firstLine;
    std::string headerBytes;
  };
  const Case cases[] = {
      {"BDNW, 12,12abc,-1,abc,", header("BDNW", 12, "12ab", 0xFFFFFFFF, 0)},
      {"BDNW,4294967295,ab,+8,007,extra,",
       header("BDNW", 0xFFFFFFFF, bytes({'a', 'b', 0, 0}), 8, 7)},
      {"BDNW,", header("BDNW", 0, bytes({0, 0, 0, 0}), 0, 0)},
      {"BDNW,5,,", header("BDNW", 5, bytes({0, 0, 0, 0}), 0, 0)},
  };
  buildCatalogue();
  for (const Case& test : cases) {
    SCOPED_TRACE(test.firstLine);
    Conversion c;
    ASSERT_TRUE(c.document.loadCsvBytes(test.firstLine + "\n"));
    c.document.rebuildHeader();
    const auto encoded = c.document.header.encode();
    EXPECT_EQ(std::string(encoded.begin(), encoded.end()), test.headerBytes);
  }
}

}  // namespace
}  // namespace cachesift::testing
