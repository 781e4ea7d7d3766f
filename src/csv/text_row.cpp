#include "csv/text_row.h"

#include "io/byte_scan.h"

namespace cachesift {
namespace {

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

TextRow::TextRow(std::string_view line) {
  line = line.substr(0, line.find('\0'));
  line_ = line;
  while (!line.empty()) {
    if (line.front() == '"') {
      const std::size_t close = findQuoteComma(line.substr(1));
      if (close == std::string_view::npos) {
        // Spreadsheets write no comma after a line's last cell: a quoted cell
        // that the line's last byte closes is kept; an unclosed one is not.
        cellCount_ += line.size() >= 2 && line.back() == '"' ? 1 : 0;
        break;
      }
      ++cellCount_;
      line.remove_prefix(close + 3);
      continue;
    }
    // A run of unquoted cells lasts up to the next quoted cell, or to the
    // line's end: in it every comma ends a cell.
    const std::size_t quoted = findQuotedCellStart(line);
    const std::size_t runEnd = quoted != std::string_view::npos ? quoted : line.size();
    cellCount_ += countByte(line.data(), line.data() + runEnd, ',');
    if (quoted == std::string_view::npos) {
      // Bytes after the last comma are the line's last cell, as spreadsheets
      // write it; after a trailing comma there is no cell.
      cellCount_ += line.back() != ',' ? 1 : 0;
      break;
    }
    line.remove_prefix(runEnd);
  }
}

std::string_view TextRow::Cursor::quotedCell(const char* open, const char* end) {
  const std::string_view text(open + 1, static_cast<std::size_t>(end - open - 1));
  const std::size_t close = findQuoteComma(text);
  // Without a quote and comma, the line's last byte closes it.
  return text.substr(0, close != std::string_view::npos ? close : text.size() - 1);
}

std::string_view TextRow::cell(std::size_t k) const {
  if (k >= cellCount_) {
    return {};
  }
  Cursor cursor(*this);
  std::string_view cell = cursor.next();
  for (std::size_t i = 0; i < k; ++i) {
    cell = cursor.next();
  }
  return cell;
}

}  // namespace cachesift
