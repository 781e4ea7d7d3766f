#include "csv/text_row.h"

#include <cstring>

#include "io/byte_scan.h"

namespace cachesift {
namespace {

// The first `byte` in [first, last), or `last`. The C library's search, as
// lines are long and the texts in them short.
const char* find(const char* first, const char* last, char byte) {
  const void* const hit = std::memchr(first, byte, static_cast<std::size_t>(last - first));
  return hit != nullptr ? static_cast<const char*>(hit) : last;
}

// Where the next quoted cell starts in a run of unquoted cells: the first
// double quote right after a comma, or `last`. REQUIRES: *first is no quote.
const char* findQuotedCellStart(const char* first, const char* last) {
  for (const char* quote = find(first, last, '"'); quote != last;
       quote = find(quote + 1, last, '"')) {
    if (quote[-1] == ',') {
      return quote;
    }
  }
  return last;
}

// The end of the run of double quotes that starts at `quote`.
const char* endOfQuotes(const char* quote, const char* last) {
  while (quote != last && *quote == '"') {
    ++quote;
  }
  return quote;
}

// Whether a run of double quotes ends a quoted cell: one quote is left over
// from the pairs, and a comma or the content's end follows.
bool closesCell(const char* run, const char* runEnd, const char* last) {
  return (runEnd - run) % 2 != 0 && (runEnd == last || *runEnd == ',');
}

}  // namespace

bool TextRow::read(std::string_view& file) {
  const char* const start = file.data();
  const char* const end = start + file.size();
  // The line being divided: its LF (or the file's end), and the end of its
  // content, which a CR before the LF or the first zero byte cuts short.
  const char* lineEnd;
  const char* contentEnd;
  bool cut;
  const auto takeLine = [&](const char* first) {
    lineEnd = find(first, end, '\n');
    contentEnd = lineEnd != end && lineEnd != first && lineEnd[-1] == '\r' ? lineEnd - 1 : lineEnd;
    const char* const nul = find(first, contentEnd, '\0');
    cut = nul != contentEnd;
    contentEnd = nul;
  };
  takeLine(start);
  const char* at = start;
  while (at != contentEnd) {
    if (*at != '"') {
      // A run of unquoted cells lasts up to the next quoted cell, or to the
      // content's end: in it every comma ends a cell.
      const char* const quoted = findQuotedCellStart(at, contentEnd);
      cellCount_ += countByte(at, quoted, ',');
      if (quoted == contentEnd) {
        // Bytes after the last comma are the line's last cell, as
        // spreadsheets write it; after a trailing comma there is no cell.
        cellCount_ += contentEnd[-1] != ',' ? 1 : 0;
        break;
      }
      at = quoted;
      continue;
    }
    const char* const open = at;
    const char* quote = open + 1;
    const char* runEnd;
    for (;;) {
      quote = find(quote, contentEnd, '"');
      if (quote == contentEnd) {
        if (cut) {
          break;  // dropped, with the rest of its line
        }
        if (lineEnd == end) {
          file = {open, static_cast<std::size_t>(end - open)};
          return false;
        }
        multiLine_ = true;  // the cell goes on on the next line
        quote = lineEnd + 1;
        takeLine(quote);
        continue;
      }
      runEnd = endOfQuotes(quote, contentEnd);
      if (closesCell(quote, runEnd, contentEnd)) {
        break;
      }
      quote = runEnd;
    }
    if (quote == contentEnd) {
      break;
    }
    ++cellCount_;
    at = runEnd != contentEnd ? runEnd + 1 : runEnd;
  }
  line_ = {start, static_cast<std::size_t>(contentEnd - start)};
  file.remove_prefix(static_cast<std::size_t>(lineEnd - start) + (lineEnd != end ? 1 : 0));
  return true;
}

TextRow::Cursor::QuotedCell TextRow::Cursor::closeQuotedCell(const char* first, const char* end,
                                                             bool multiLine) {
  // The row was divided already: its cells are closed.
  const char* quote = find(first, end, '"');
  const char* runEnd = endOfQuotes(quote, end);
  bool escaped = multiLine;  // CR LF may stand for a text's LF
  while (!closesCell(quote, runEnd, end)) {
    escaped = true;
    quote = find(runEnd, end, '"');
    runEnd = endOfQuotes(quote, end);
  }
  return {runEnd - 1, escaped || runEnd - quote > 1};
}

std::string TextRow::Cursor::nextText() {
  const std::string_view bytes = next();
  std::string text;
  if (escaped_) {
    unescape(bytes, text);
  } else {
    text = bytes;
  }
  return text;
}

std::string TextRow::cell(std::size_t k) const {
  if (k >= cellCount_) {
    return {};
  }
  Cursor cursor(*this);
  for (std::size_t i = 0; i < k; ++i) {
    cursor.next();
  }
  return cursor.nextText();
}

}  // namespace cachesift
