#include "csv/csv_reader.h"

#include <string>

#include "app/cache_document.h"
#include "app/console.h"
#include "app/file_io.h"
#include "catalogue/catalogue.h"
#include "csv/text_to_integer.h"

namespace cachesift {
namespace {

constexpr char kEndOfFile = 0x1A;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kNoLayoutMessage = "Header does not match any known WDB file.\n";

}  // namespace

TextRow splitCsvLine(std::string_view line) {
  line = line.substr(0, line.find('\0'));
  TextRow row;
  while (true) {
    std::string_view terminator = ",";
    if (!line.empty() && line.front() == '"') {
      line.remove_prefix(1);
      terminator = "\",";
    }
    const std::size_t end = line.find(terminator);
    if (end == std::string_view::npos) {
      return row;
    }
    row.appendCell(line.substr(0, end));
    line.remove_prefix(end + terminator.size());
  }
}

std::vector<TextRow> splitCsvRows(std::string_view file) {
  file = file.substr(0, file.find(kEndOfFile));
  std::vector<TextRow> rows;
  while (!file.empty()) {
    const std::size_t lf = file.find('\n');
    std::string_view line = file.substr(0, lf);
    file.remove_prefix(lf == std::string_view::npos ? file.size() : lf + 1);
    if (lf != std::string_view::npos && !line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    rows.push_back(splitCsvLine(line));
  }
  return rows;
}

bool CacheDocument::loadCsvBytes(std::string_view fileBytes) {
  std::vector<TextRow> read = splitCsvRows(fileBytes);
  // Without a first cell there is nothing to name the layout.
  if (read.empty() || read.front().cellCount() == 0) {
    if (!read.empty()) {
      rows.push_back(std::move(read.front()));
    }
    console.print(kNoLayoutMessage);
    return false;
  }
  TextRow& first = read.front();
  if (first.cell(0).starts_with(kByteOrderMark)) {
    first.dropCell0Prefix(kByteOrderMark.size());
  }
  const std::uint32_t key = wordFromChars(first.cell(0));
  const FormatDefinition* match = formatCatalogue().findBySignature(fourChars(key), console);
  if (match == nullptr) {
    rows.push_back(std::move(first));
    console.print(kNoLayoutMessage);
    return false;
  }
  definition = match;
  const std::size_t count = read.size();
  rows.insert(rows.end(), std::make_move_iterator(read.begin()),
              std::make_move_iterator(read.end()));
  console.print(std::to_string(count) + " records loaded.\n");
  return true;
}

bool CacheDocument::loadCsv(const std::string& path) {
  FileContents contents;
  switch (readWholeFile(path, contents)) {
    case ReadStatus::kCannotOpen:
      console.print("Failed to open file\n");
      return false;
    case ReadStatus::kTooLarge:
      console.print(kTooLargeMessage);
      return false;
    case ReadStatus::kOk:
      break;
  }
  return loadCsvBytes(contents.view());
}

void CacheDocument::rebuildHeader() {
  const TextRow& first = rows.front();
  header.signature = wordFromChars(first.cell(0));
  header.headerWord1 = textToInteger(first.cell(1));
  header.headerTag = wordFromChars(first.cell(2));
  header.recordBytes = textToInteger(first.cell(3));
  header.headerWord4 = textToInteger(first.cell(4));
}

}  // namespace cachesift
