// Dividing CSV rows into cells.

#include "csv/text_row.h"

#include <algorithm>
#include <bit>
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
// Rows have a quoted cell every few cells: an inline search.
const char* findQuotedCellStart(const char* first, const char* last) {
  for (const char* quote = findByte(first, last, '"'); quote != last;
       quote = findByte(quote + 1, last, '"')) {
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
      // Quoted cells are short, most of them empty: an inline search.
      quote = findByte(quote, contentEnd, '"');
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
  // The row was divided already: its cells are closed. Most are short, a
  // name or empty, so the search is inline rather than the C library's, and
  // an empty cell is closed at once.
  if (first != end && *first == '"' && (first + 1 == end || first[1] == ',')) {
    return {first, multiLine};
  }
  const char* quote = findByte(first, end, '"');
  const char* runEnd = endOfQuotes(quote, end);
  bool escaped = multiLine;  // CR LF may stand for a text's LF
  while (!closesCell(quote, runEnd, end)) {
    escaped = true;
    quote = findByte(runEnd, end, '"');
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

namespace {

// A bit per byte of [first, first + 64) that is a comma, the first byte's the
// lowest; bytes past `last` are none.
std::uint64_t commaBits(const char* first, const char* last) {
  std::uint64_t bits = 0;
  const auto count = std::min<std::ptrdiff_t>(last - first, 64);
  std::ptrdiff_t i = 0;
#ifdef __SSE2__
  // Sixteen bytes at a time, also in a row's last word, which is most of a
  // short row.
  const __m128i comma = _mm_set1_epi8(',');
  for (; count - i >= 16; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + i));
    bits |=
        std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, comma)))}
        << i;
  }
#endif
  for (; i < count; ++i) {
    bits |= std::uint64_t{first[i] == ','} << i;
  }
  return bits;
}

}  // namespace

void RowCells::split(const TextRow& row) {
  // The commas are found at once, so that each cell's end does not wait for
  // a search from the last one's.
  const char* const begin = row.line_.data();
  const char* const end = begin + row.line_.size();
  commas_.resize((row.line_.size() + 63) / 64);
  for (std::size_t w = 0; w < commas_.size(); ++w) {
    commas_[w] = commaBits(begin + 64 * w, end);
  }
  // The comma bits not yet taken: those of word w from the one found last.
  std::size_t w = 0;
  std::uint64_t bits = commas_.empty() ? 0 : commas_[0];
  const auto nextComma = [&] {
    while (bits == 0) {
      if (++w >= commas_.size()) {
        return end;
      }
      bits = commas_[w];
    }
    const char* const comma = begin + 64 * w + static_cast<std::size_t>(std::countr_zero(bits));
    bits &= bits - 1;
    return comma;
  };
  const std::size_t count = row.cellCount_;
  const std::size_t words = (count + 63) / 64;
  cells_.resize(std::max(cells_.size(), count));
  filled_.assign(words, 0);
  CellText* const out = cells_.data();
  // The filled bits of word `filledWord` of the cells, kept in a register.
  std::uint64_t filled = 0;
  std::size_t filledWord = 0;
  const char* p = begin;
  for (std::size_t k = 0; k < count; ++k) {
    const char* cellEnd;
    bool full;
    if (p + 2 <= end && p[0] == '"' && p[1] == '"' && (p + 2 == end || p[2] == ',')) {
      // "", most of a row's quoted cells: no text, so no commas in it, and the
      // one after it is the next comma found.
      out[k] = {{p + 1, 0}, row.multiLine_};
      full = false;
      cellEnd = nextComma();
      p = cellEnd + (cellEnd != end ? 1 : 0);
    } else if (p != end && *p == '"') {
      const TextRow::Cursor::QuotedCell quoted =
          TextRow::Cursor::closeQuotedCell(p + 1, end, row.multiLine_);
      out[k] = {{p + 1, static_cast<std::size_t>(quoted.close - p - 1)}, quoted.escaped};
      full = quoted.close != p + 1;
      cellEnd = quoted.close + 1;
      p = cellEnd + (cellEnd != end ? 1 : 0);
      // Its commas are text: the next cell's end is searched from here.
      const auto at = static_cast<std::size_t>(p - begin);
      w = at / 64;
      bits = w < commas_.size() ? commas_[w] & (~std::uint64_t{0} << (at % 64)) : 0;
    } else {
      cellEnd = nextComma();
      out[k] = {{p, static_cast<std::size_t>(cellEnd - p)}, false};
      full = cellEnd != p;
      p = cellEnd + (cellEnd != end ? 1 : 0);
      // Empty cells come in runs, as ",,,,": the commas right after this one
      // in its word end one cell each.
      const auto at = static_cast<std::size_t>(cellEnd - begin);
      if (!full && cellEnd != end && (at + 1) / 64 == w) {
        const std::size_t run = std::min<std::size_t>(
            static_cast<std::size_t>(std::countr_one(bits >> ((at + 1) % 64))), count - k - 1);
        for (std::size_t r = 0; r < run; ++r) {
          out[k + 1 + r] = {{p + r, 0}, false};
        }
        bits &= run == 64 ? 0 : ~(((std::uint64_t{1} << run) - 1) << ((at + 1) % 64));
        k += run;
        p += run;
        continue;
      }
    }
    if (full) {
      if (k / 64 != filledWord) {
        filled_[filledWord] = filled;
        filled = 0;
        filledWord = k / 64;
      }
      filled |= std::uint64_t{1} << (k % 64);
    }
  }
  if (count > 0) {
    filled_[filledWord] = filled;
  }
  size_ = count;
  rowEnd_ = end;
  if (count > 0 && row.cell0Dropped_ != 0) {
    out[0].bytes.remove_prefix(row.cell0Dropped_);
    markFilled();
  }
}

void RowCells::assign(std::span<const CellText> cells) {
  cells_.assign(cells.begin(), cells.end());
  size_ = cells_.size();
  rowEnd_ = nullptr;
  markFilled();
}

void RowCells::markFilled() {
  filled_.assign((size_ + 63) / 64, 0);
  for (std::size_t k = 0; k < size_; ++k) {
    filled_[k / 64] |= std::uint64_t{!(*this)[k].bytes.empty()} << (k % 64);
  }
}

std::size_t RowCells::firstFilled(std::size_t first, std::size_t last) const {
  // Cells past the row's last are empty; none filled gives `last` as asked.
  const std::size_t end = std::min(last, size_);
  for (std::size_t k = first; k < end;) {
    const std::uint64_t bits = filled_[k / 64] >> (k % 64);
    if (bits != 0) {
      const std::size_t found = k + static_cast<std::size_t>(std::countr_zero(bits));
      return found < end ? found : last;
    }
    k = (k / 64 + 1) * 64;
  }
  return last;
}

std::size_t RowCells::lastFilled(std::size_t first, std::size_t last) const {
  for (std::size_t k = std::min(last, size_); k > first;) {
    // The bits of the cells below k in k's word, or the word before.
    const std::size_t w = (k - 1) / 64;
    const std::uint64_t bits = filled_[w] & (~std::uint64_t{0} >> (63 - (k - 1) % 64));
    if (bits != 0) {
      const std::size_t found = 64 * w + 63 - static_cast<std::size_t>(std::countl_zero(bits));
      return found >= first ? found : last;
    }
    k = 64 * w;
  }
  return last;
}

}  // namespace cachesift
