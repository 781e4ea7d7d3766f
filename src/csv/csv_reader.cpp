// Dividing a CSV file into its rows.
#include "csv/csv_reader.h"

#include "io/byte_scan.h"
#include "io/system.h"

namespace cachesift {
namespace {

constexpr char kEndOfFile = 0x1A;

}  // namespace

CsvRows splitCsvRows(std::string_view file) {
  file = file.substr(0, file.find(kEndOfFile));
  const char* const start = file.data();
  CsvRows result;
  // A row a line at most: the rows of a large file are not copied as they grow.
  result.rows.reserve(countByte(file.data(), file.data() + file.size(), '\n') + 1);
  os::mapAtOnce(result.rows.data(), result.rows.capacity() * sizeof(TextRow));
  while (!file.empty()) {
    TextRow& row = result.rows.emplace_back();
    if (!row.read(file)) {
      result.rows.pop_back();
      result.unclosedLine = countByte(start, file.data(), '\n') + 1;
      break;
    }
  }
  return result;
}

}  // namespace cachesift
