#include <gtest/gtest.h>

#include "csv/csv_reader.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

// Spreadsheets write no comma after a line's last cell.
TEST(SplitCsvLine, KeepsALastCellWithoutAComma) {
  const std::pair<std::string, TextRow> cases[] = {{"1,2", {"1", "2"}},
                                                   {"1,\"a b\"", {"1", "a b"}},
                                                   {"1,\"\"", {"1", ""}},
                                                   {"1,\"a,b", {"1"}},
                                                   {"BDNW", {"BDNW"}},
                                                   {"\"", {}},
                                                   {"a,\"b\",c", {"a", "b", "c"}}};
  for (const auto& [line, cells] : cases) {
    SCOPED_TRACE(line);
    EXPECT_EQ(splitCsvLine(line), cells);
  }
}

const std::string kLoaded = "Signature matches itemnamecache.wdb\n";

TEST(Warnings, TextsThatTheCsvCannotCarry) {
  const std::string warning =
      " texts hold a double quote before a comma, a line break or the byte 1A;\n"
      "         they will not come back from the CSV as they are.\n";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"Blue Lamp", "a,b", "\"x\"", "x\"", "a\r", ""}, ""},
      {{"say \"hi\", then", "a\nb", "a\x1A", "ok", "\","}, "WARNING: 4" + warning}};
  for (const auto& [texts, expected] : cases) {
    std::string cache = header("BDNW", 7, "abcd", 8, 1);
    for (const std::string& text : texts) {
      cache += word(25) + word(15) + text + bytes({0}) + word(13);
    }
    EXPECT_EQ(cacheToCsv(cache + std::string(8, '\0')),
              kLoaded + std::to_string(texts.size()) + " records loaded.\n" + expected);
  }
}

TEST(Warnings, RecordRowsWithAnotherCellCount) {
  const std::string warning =
      "WARNING: 3 record rows do not have the layout's 4 cells;\n"
      "         missing cells are written as 0 or empty text, extra cells are dropped.\n";
  const std::pair<std::string, std::string> cases[] = {
      {"25,15,\"a,b\",13\n\n", "4 records loaded.\n"},
      {"25,15,\"a\",13,9,\n25,15,\"a\"\n25,15,\"a\",b\",13,\n25,1,\"\",2,\n",
       "6 records loaded.\n" + warning}};
  for (const auto& [records, expected] : cases) {
    EXPECT_EQ(csvToCache("BDNW,7,abcd,8,1,\nnames\n" + records), kLoaded + expected);
  }
}

}  // namespace
}  // namespace cachesift::testing
