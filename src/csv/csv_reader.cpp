// CSV to cache, first steps: the rows, the first row's layout and the header.

#include "csv/csv_reader.h"

#include <charconv>
#include <cstring>
#include <string>

#include "app/cache_document.h"
#include "catalogue/catalogue.h"
#include "csv/earlier_columns.h"
#include "csv/text_to_integer.h"
#include "io/byte_scan.h"
#include "io/console.h"
#include "io/file_io.h"

namespace cachesift {
namespace {

constexpr char kEndOfFile = 0x1A;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kNoLayoutMessage = "Header does not match any known WDB file.\n";

// Whether a cell is a decimal number as the tool writes a header word.
bool isNumber(std::string_view cell) {
  if (cell.starts_with('-')) {
    cell.remove_prefix(1);
  }
  return !cell.empty() && cell.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

const FormatDefinition* CacheDocument::layoutOfMark(std::string_view mark,
                                                    const std::array<char, 4>& signature) const {
  std::string_view number = mark.substr(kLayoutMark.size());
  const bool user = number.ends_with(kUserMark);
  number.remove_suffix(user ? kUserMark.size() : 0);
  std::uint32_t firstBuild = 0;
  const auto [end, error] =
      std::from_chars(number.data(), number.data() + number.size(), firstBuild);
  if (error != std::errc() || end != number.data() + number.size()) {
    return nullptr;
  }
  for (const FormatDefinition* layout : catalogue.candidates(signature, firstBuild)) {
    if (layout->clientBuild == firstBuild && layout->user == user) {
      return layout;
    }
  }
  return nullptr;
}

CsvRows splitCsvRows(std::string_view file) {
  file = file.substr(0, file.find(kEndOfFile));
  const char* const start = file.data();
  CsvRows result;
  // A row a line at most: the rows of a large file are not copied as they grow.
  result.rows.reserve(countByte(file.data(), file.data() + file.size(), '\n') + 1);
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

bool CacheDocument::loadCsvBytes(std::string_view fileBytes) {
  CsvRows csv = splitCsvRows(fileBytes);
  std::vector<TextRow>& read = csv.rows;
  const auto printUnclosed = [&] {
    console.print("A quoted cell that starts on line " + std::to_string(csv.unclosedLine) +
                  " is never closed.\n");
  };
  if (read.empty() && csv.unclosedLine != 0) {
    printUnclosed();
    return false;
  }
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
  // The signature and the client build name the layout, as in a cache's
  // header, unless the seventh cell names by kLayoutMark the layout that
  // fitted the cache's records best. A build with no layout of its own, from
  // 9506 on, was read as bytes when the header's sixth word stands in the
  // first row.
  const std::uint32_t key = wordFromChars(first.cell(0));
  const std::uint32_t build = textToInteger(first.cell(1));
  const FormatCatalogue::Match match = catalogue.findBySignature(fourChars(key), build);
  if (match.layout != nullptr || match.asBytes != nullptr) {
    console.print("Signature matches " +
                  (match.layout != nullptr ? match.layout : match.asBytes)->fileName + "\n");
  }
  const std::string mark = first.cell(6);
  if (match.layout == nullptr && match.asBytes == nullptr) {
    definition = nullptr;
  } else if (build >= 9506 && mark.starts_with(kLayoutMark)) {
    definition = layoutOfMark(mark, fourChars(key));
    if (definition == nullptr) {
      rows.push_back(std::move(first));
      console.print("The layout that the first row names is no layout of " +
                    (match.layout != nullptr ? match.layout : match.asBytes)->fileName + ".\n");
      return false;
    }
    layoutByFit = definition != match.layout;
  } else if (match.asBytes != nullptr && isNumber(first.cell(5))) {
    definition = match.asBytes;
    console.print("No layout of client build " + std::to_string(build) +
                  "; records are written as bytes.\n");
  } else {
    definition = match.layout;
  }
  if (definition != nullptr && definition != match.asBytes && definition->framed()) {
    console.print(definition->buildsLine(layoutByFit));
  }
  if (definition == nullptr) {
    rows.push_back(std::move(first));
    console.print(kNoLayoutMessage);
    return false;
  }
  if (csv.unclosedLine != 0) {
    rows.push_back(std::move(first));
    printUnclosed();
    return false;
  }
  // A CSV written when a counted group had fewer elements with columns lacks
  // the later ones: empty cells go there, so that every cell stands under its
  // own name and the CSV comes back as it did.
  const bool earlier = read.size() > 1 && !definition->asBytes;
  if (const auto missing = earlier ? earlierColumns(read[1], *definition) : std::nullopt) {
    withAddedColumns_ = withColumnsAdded(read, *missing, read[1].cellCount());
    const bool byteOrderMark = std::string_view(withAddedColumns_).starts_with(kByteOrderMark);
    read = splitCsvRows(withAddedColumns_).rows;
    if (byteOrderMark) {
      read.front().dropCell0Prefix(kByteOrderMark.size());
    }
    console.print(
        "The CSV has the columns of an earlier version of this layout, with fewer "
        "elements in its groups; its cells are read under their names.\n");
  }
  // A record row of another cell count has lost or gained cells on the way
  // (a text that the CSV form cannot carry, a lost comma); the cache writer
  // fills or drops cells without a word, so say so here.
  // A record kept as bytes has cells of its own.
  std::size_t unevenRows = 0;
  for (std::size_t r = 2; r < read.size(); ++r) {
    const std::size_t cells = read[r].cellCount();
    unevenRows +=
        cells != 0 && cells != definition->columns.size() &&
        !std::string_view(read[r].cell(definition->framing().sizeColumn)).ends_with(kAsBytesMark);
  }
  const std::size_t count = read.size();
  // Moved whole: a second table of a large file's rows would cost as much
  // again.
  rows = std::move(read);
  console.print(std::to_string(count) + " records loaded.\n");
  if (unevenRows > 0) {
    console.print("WARNING: " + std::to_string(unevenRows) +
                  " record rows do not have the layout's " +
                  std::to_string(definition->columns.size()) +
                  " cells;\n"
                  "         missing cells are written as 0 or empty text, extra cells are "
                  "dropped.\n");
  }
  return true;
}

bool CacheDocument::loadCsv(const std::string& path) {
  const ReadStatus status = readWholeFile(path, input);
  if (status == ReadStatus::kCannotOpen) {
    console.print("Failed to open file\n");
  }
  return acceptRead(status) && loadCsvBytes(input.view());
}

void CacheDocument::rebuildHeader() {
  const TextRow& first = rows.front();
  header.signature = wordFromChars(first.cell(0));
  header.headerWord1 = textToInteger(first.cell(1));
  header.headerTag = wordFromChars(first.cell(2));
  header.recordBytes = textToInteger(first.cell(3));
  header.headerWord4 = textToInteger(first.cell(4));
  header.headerWord5 =
      definition->headerSize() == kLongHeaderSize ? textToInteger(first.cell(5)) : 0;
}

}  // namespace cachesift
