// CSV to cache, first steps: the rows, the first row's layout and the header.
#include <string>

#include "cachefile/conversion.h"
#include "csv/csv_reader.h"
#include "csv/earlier_columns.h"
#include "csv/text_to_integer.h"

namespace cachesift {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Whether a cell is a decimal number as the tool writes a header word.
bool isNumber(std::string_view cell) {
  if (cell.starts_with('-')) {
    cell.remove_prefix(1);
  }
  return !cell.empty() && cell.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string unclosed(std::size_t line) {
  return "A quoted cell that starts on line " + std::to_string(line) + " is never closed.\n";
}

// The rows again, with the cells added that a CSV of an earlier layout lacks;
// their bytes are kept in `rewritten`.
void addEarlierColumns(LoadedCsv& csv, std::vector<TextRow>& rows,
                       const std::vector<std::size_t>& missing) {
  auto text = std::make_shared<std::string>(withColumnsAdded(rows, missing, rows[1].cellCount()));
  const bool byteOrderMark = std::string_view(*text).starts_with(kByteOrderMark);
  rows = splitCsvRows(*text).rows;
  if (byteOrderMark) {
    rows.front().dropCell0Prefix(kByteOrderMark.size());
  }
  csv.rewritten = std::move(text);
  csv.console +=
      "The CSV has the columns of an earlier version of this layout, with fewer "
      "elements in its groups; its cells are read under their names.\n";
}

}  // namespace

LoadedCsv loadCsvBytes(std::string_view fileBytes, const FormatCatalogue& catalogue) {
  CsvRows read = splitCsvRows(fileBytes);
  std::vector<TextRow>& rows = read.rows;
  LoadedCsv csv;
  if (rows.empty() && read.unclosedLine != 0) {
    csv.console = unclosed(read.unclosedLine);
    return csv;
  }
  // Without a first cell there is nothing to name the layout.
  if (rows.empty() || rows.front().cellCount() == 0) {
    csv.console = kNoLayoutMessage;
    return csv;
  }
  TextRow& first = rows.front();
  if (first.cell(0).starts_with(kByteOrderMark)) {
    first.dropCell0Prefix(kByteOrderMark.size());
  }
  // The signature and the client build name the layout, as in a cache's
  // header, unless the seventh cell names by kLayoutMark the layout that
  // fitted the cache's records best. A build with no layout of its own, from
  // 9506 on, was read as bytes when the header's sixth word stands in the
  // first row.
  const std::uint32_t build = textToInteger(first.cell(1));
  const std::string mark = first.cell(6);
  ChoiceInput input{
      fourChars(wordFromChars(first.cell(0))), build, {}, isNumber(first.cell(5)), {}};
  if (build >= kLongHeaderFrom && mark.starts_with(kLayoutMark)) {
    input.mark = mark;
  }
  csv.choice = chooseLayout(catalogue, input);
  const FormatDefinition* const layout = csv.choice.layout;
  if (!csv.choice.fileName.empty()) {
    csv.console = signatureLine(csv.choice);
  }
  csv.console += layoutLine(csv.choice, build);
  if (csv.choice.by == ChosenBy::kUnknownMark) {
    return csv;
  }
  if (layout == nullptr) {
    csv.console += kNoLayoutMessage;
    return csv;
  }
  if (read.unclosedLine != 0) {
    csv.console += unclosed(read.unclosedLine);
    return csv;
  }
  // A CSV written when a counted group had fewer elements with columns lacks
  // the later ones: empty cells go there, so that every cell stands under its
  // own name and the CSV comes back as it did.
  if (rows.size() > 1 && !layout->asBytes) {
    if (const auto missing = earlierColumns(rows[1], *layout)) {
      addEarlierColumns(csv, rows, *missing);
    }
  }
  // A record row of another cell count has lost or gained cells on the way
  // (a text that the CSV form cannot carry, a lost comma); the cache writer
  // fills or drops cells without a word, so say so here.
  // A record kept as bytes has cells of its own.
  const std::uint32_t sizeColumn = layout->framing().sizeColumn;
  std::size_t unevenRows = 0;
  for (std::size_t r = 2; r < rows.size(); ++r) {
    const std::size_t cells = rows[r].cellCount();
    unevenRows += cells != 0 && cells != layout->columns.size() &&
                  !std::string_view(rows[r].cell(sizeColumn)).ends_with(kAsBytesMark);
  }
  csv.console += std::to_string(rows.size()) + " records loaded.\n";
  if (unevenRows > 0) {
    csv.console += "WARNING: " + std::to_string(unevenRows) +
                   " record rows do not have the layout's " +
                   std::to_string(layout->columns.size()) +
                   " cells;\n"
                   "         missing cells are written as 0 or empty text, extra cells are "
                   "dropped.\n";
  }
  // Moved whole: a second table of a large file's rows would cost as much
  // again.
  csv.rows = std::move(rows);
  csv.ok = true;
  return csv;
}

WdbHeader headerOfCsv(const LoadedCsv& csv) {
  const TextRow& first = csv.rows.front();
  WdbHeader header;
  header.signature = wordFromChars(first.cell(0));
  header.headerWord1 = textToInteger(first.cell(1));
  header.headerTag = wordFromChars(first.cell(2));
  header.recordBytes = textToInteger(first.cell(3));
  header.headerWord4 = textToInteger(first.cell(4));
  header.headerWord5 =
      csv.choice.layout->headerSize() == kLongHeaderSize ? textToInteger(first.cell(5)) : 0;
  return header;
}

}  // namespace cachesift
