#include "csv/csv_reader.h"

#include <cstring>
#include <string>

#include "app/cache_document.h"
#include "io/console.h"
#include "io/file_io.h"
#include "catalogue/catalogue.h"
#include "csv/text_to_integer.h"

namespace cachesift {
namespace {

constexpr char kEndOfFile = 0x1A;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kNoLayoutMessage = "Header does not match any known WDB file.\n";

// Where a quoted cell ends: the first double quote directly followed by a
// comma, or npos.
std::size_t findQuoteComma(std::string_view text) {
  for (std::size_t quote = text.find('"'); quote != std::string_view::npos;
       quote = text.find('"', quote + 1)) {
    if (quote + 1 < text.size() && text[quote + 1] == ',') {
      return quote;
    }
  }
  return std::string_view::npos;
}

// Where the next quoted cell starts: the first double quote right after a
// comma, or npos.
std::size_t findQuotedCellStart(std::string_view text) {
  for (std::size_t quote = text.find('"'); quote != std::string_view::npos;
       quote = text.find('"', quote + 1)) {
    if (quote > 0 && text[quote - 1] == ',') {
      return quote;
    }
  }
  return std::string_view::npos;
}

}  // namespace

TextRow splitCsvLine(std::string_view line) {
  line = line.substr(0, line.find('\0'));
  // Every cell but an unquoted last one is followed by at least one byte of
  // the line that it drops, so the cells and their zero bytes fit in the
  // line's length plus one: they are copied into one buffer of that size, cut
  // to what was used at the end.
  TextRow row;
  row.cells_.resize(line.size() + 1);
  char* out = row.cells_.data();
  while (!line.empty()) {
    if (line.front() == '"') {
      std::size_t close = findQuoteComma(line.substr(1));
      const bool last = close == std::string_view::npos;
      if (last) {
        // Spreadsheets write no comma after a line's last cell: a quoted cell
        // that the line's last byte closes is kept; an unclosed one is not.
        if (line.size() < 2 || line.back() != '"') {
          break;
        }
        close = line.size() - 2;
      }
      std::memcpy(out, line.data() + 1, close);
      out += close;
      *out++ = '\0';
      ++row.cellCount_;
      if (last) {
        break;
      }
      line.remove_prefix(close + 3);
      continue;
    }
    // A run of unquoted cells lasts up to the next quoted cell, or to the
    // line's end: in it every comma ends a cell, and becomes the cell's zero
    // byte.
    const std::size_t quoted = findQuotedCellStart(line);
    const std::size_t runEnd = quoted != std::string_view::npos ? quoted : line.size();
    const char* in = line.data();
    std::size_t commas = 0;  // a local, so that the loop vectorizes
    for (std::size_t i = 0; i < runEnd; ++i) {
      const char c = in[i];
      out[i] = c == ',' ? '\0' : c;
      commas += c == ',';
    }
    row.cellCount_ += commas;
    out += runEnd;
    if (quoted == std::string_view::npos) {
      // Bytes after the last comma are the line's last cell, as spreadsheets
      // write it; after a trailing comma there is no cell.
      if (line.back() != ',') {
        *out++ = '\0';
        ++row.cellCount_;
      }
      break;
    }
    line.remove_prefix(runEnd);
  }
  row.cells_.resize(static_cast<std::size_t>(out - row.cells_.data()));
  return row;
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
  // A record row of another cell count has lost or gained cells on the way
  // (a text that the CSV form cannot carry, a lost comma); the cache writer
  // fills or drops cells without a word, so say so here.
  std::size_t unevenRows = 0;
  for (std::size_t r = 2; r < read.size(); ++r) {
    const std::size_t cells = read[r].cellCount();
    unevenRows += cells != 0 && cells != match->fieldCount;
  }
  const std::size_t count = read.size();
  rows.insert(rows.end(), std::make_move_iterator(read.begin()),
              std::make_move_iterator(read.end()));
  console.print(std::to_string(count) + " records loaded.\n");
  if (unevenRows > 0) {
    console.print("WARNING: " + std::to_string(unevenRows) +
                  " record rows do not have the layout's " + std::to_string(match->fieldCount) +
                  " cells;\n"
                  "         missing cells are written as 0 or empty text, extra cells are "
                  "dropped.\n");
  }
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
