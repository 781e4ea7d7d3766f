#include <gtest/gtest.h>

#include "csv/csv_reader.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

// Spreadsheets write no comma after a line's last cell.
TEST(SplitCsvLine, KeepsALastCellWithoutAComma) {
  const std::pair<std::string, TextRow> cases[] = {{"1,2", {"1", "2"}},
                                                   {"1,2,", {"1", "2"}},
                                                   {"1,\"a b\"", {"1", "a b"}},
                                                   {"1,\"\"", {"1", ""}},
                                                   {"1,\"a,b", {"1"}},
                                                   {"BDNW", {"BDNW"}},
                                                   {"", {}},
                                                   {"\"", {}},
                                                   {"a,\"b\",c", {"a", "b", "c"}}};
  for (const auto& [line, cells] : cases) {
    SCOPED_TRACE(line);
    EXPECT_EQ(splitCsvLine(line), cells);
  }
}

}  // namespace
}  // namespace cachesift::testing
