#pragma once

// A CSV row and its cells, read where they stand in the file.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cachefile/coding.h"
#include "csv/text_to_integer.h"
#include "io/byte_scan.h"

namespace cachesift {

// A cell of a CSV row as it stands in the file: a quoted cell's bytes without
// its quotes, and whether they must be unescaped to give its text.
struct CellText {
  std::string_view bytes;
  bool escaped = false;
};

// One CSV row divided into cells, read where it stands: the row copies
// nothing, and the file's bytes must outlive it.
//
// A row is a line, or several when a quoted cell holds line ends. A cell that
// starts with a double quote is quoted: in it "" is one double quote, and a
// double quote that is not one of such a pair ends the cell when a comma
// follows it (the comma goes too) or the line's end does (the row ends too).
// Any other double quote, and every line end, is part of the text; a line
// end as an LF. Any other cell ends at the next comma or at its line's end.
// After a comma that ends a line there is no further cell. A line's content
// ends at its first zero byte: the rest of that line is ignored, and a quoted
// cell still open there is dropped. Nothing is trimmed.
class TextRow {
 public:
  // Appends the text of a quoted cell's bytes to `out` (a ByteSink or a
  // std::string): "" as one double quote, CR LF as LF.
  template <typename Out>
  static void unescape(std::string_view bytes, Out& out);

  TextRow() = default;

  // Divides the row at the front of `file`, which runs to the end of the
  // file, and removes it with its line end. False when a quoted cell is still
  // open at the end of the file: `file` then starts at its opening quote.
  bool read(std::string_view& file);

  std::size_t cellCount() const { return cellCount_; }
  // The row's bytes in the file, without its last line end.
  std::string_view bytes() const { return line_; }

  // Cell k, or an empty text past the last cell. Takes time proportional to
  // k: walk a whole row with a Cursor instead.
  std::string cell(std::size_t k) const;

  // Removes the first `count` bytes of cell 0. REQUIRES: cell 0 has them.
  void dropCell0Prefix(std::size_t count) { cell0Dropped_ = count; }

  // Walks the cells from the first to the last.
  class Cursor {
   public:
    explicit Cursor(const TextRow& row)
        : next_(row.line_.data()),
          end_(next_ + row.line_.size()),
          left_(row.cellCount_),
          dropped_(row.cell0Dropped_),
          multiLine_(row.multiLine_) {}
    bool done() const { return left_ == 0; }

    // The cell's bytes as they stand in the file, a quoted cell's without its
    // quotes. Where escaped() says so, its text is unescape() of them. Numbers
    // may be read from the bytes: "" or a line end stops a number as " or an
    // LF does. REQUIRES: !done().
    std::string_view next() {
      --left_;
      std::string_view cell;
      if (*next_ == '"') {
        const QuotedCell quoted = closeQuotedCell(next_ + 1, end_, multiLine_);
        cell = {next_ + 1, static_cast<std::size_t>(quoted.close - next_ - 1)};
        escaped_ = quoted.escaped;
        next_ = quoted.close + 1;
      } else {
        const char* const start = next_;
        next_ = findByte(next_, end_, ',');
        cell = {start, static_cast<std::size_t>(next_ - start)};
        escaped_ = false;
      }
      next_ += next_ != end_ ? 1 : 0;  // the comma
      cell.remove_prefix(dropped_);
      dropped_ = 0;
      return cell;
    }
    // Whether the last cell's text differs from its bytes.
    bool escaped() const { return escaped_; }

    // The next cell's text. REQUIRES: !done().
    std::string nextText();

    // The next cell read by textToInteger, in one pass over an unquoted
    // cell: the number ends at the latest at the comma. REQUIRES: !done().
    std::uint32_t nextAsInteger() {
      if (end_ - next_ >= 8 && dropped_ == 0) {  // most cells: up to seven digits and a comma
        std::uint32_t value;
        const int count = leadingDigits(loadEightBytes(next_), value);
        if (count < 8 && next_[count] == ',') {
          next_ += count + 1;
          --left_;
          return value;
        }
      }
      if (*next_ == '"' || dropped_ != 0) {
        return textToInteger(next());
      }
      --left_;
      std::uint32_t value;
      next_ = readInteger(next_, end_, value);
      while (next_ != end_ && *next_ != ',') {  // the rest of a cell like "12abc"
        ++next_;
      }
      next_ += next_ != end_ ? 1 : 0;
      return value;
    }

   private:
    friend class RowCells;
    struct QuotedCell {
      const char* close;  // the closing quote
      bool escaped;
    };
    // Out of line, and without the cursor, which stays in registers.
    static QuotedCell closeQuotedCell(const char* first, const char* end, bool multiLine);

    const char* next_;
    const char* end_;
    std::size_t left_;
    std::size_t dropped_;
    bool multiLine_;
    bool escaped_ = false;
  };

 private:
  friend class RowCells;
  std::string_view line_;  // the row's bytes without its last line end
  std::size_t cellCount_ = 0;
  std::size_t cell0Dropped_ = 0;
  bool multiLine_ = false;
};

// A row's cells at hand, and which of them are filled (not empty), kept from
// row to row. A split row keeps its cells whole, found without a search per
// cell, as rows of today's layouts have over a thousand cells: a cell is
// read at once, as often as the writer asks for it.
class RowCells {
 public:
  // The cells of `row`, as a Cursor walks them.
  void split(const TextRow& row);
  // The cells given.
  void assign(std::span<const CellText> cells);

  std::size_t size() const { return size_; }
  // Cell k, or an empty one past the last.
  CellText operator[](std::size_t k) const { return k < size_ ? cells_[k] : CellText{}; }
  // Cell k read by textToInteger; a short number of a split row in one step.
  std::uint32_t integer(std::size_t k) const {
    const std::string_view text = (*this)[k].bytes;
    if (!text.empty() && text.size() < 8 && rowEnd_ != nullptr && rowEnd_ - text.data() >= 8) {
      std::uint32_t value;
      if (leadingDigits(loadEightBytes(text.data()), value) == static_cast<int>(text.size())) {
        return value;
      }
    }
    return textToInteger(text);
  }
  // Writes cells [first, first + count) read by textToInteger as 4-byte
  // little-endian words from `out`, a row's words in a tight loop; gives the
  // end.
  char* words(std::size_t first, std::size_t count, char* out) const {
    for (std::size_t k = first; k < first + count; ++k, out += 4) {
      encodeFixed32(reinterpret_cast<unsigned char*>(out), integer(k));
    }
    return out;
  }
  // The end of the bytes that may be read from a cell, a word at a time: the
  // split row's end; null for cells given.
  const char* readableEnd() const { return rowEnd_; }
  // The first or the last filled cell of [first, last), or `last` when none.
  std::size_t firstFilled(std::size_t first, std::size_t last) const;
  std::size_t lastFilled(std::size_t first, std::size_t last) const;

 private:
  void markFilled();

  std::size_t size_ = 0;
  std::vector<CellText> cells_;  // a quoted cell's without its quotes
  // The end of a split row's bytes, up to which numbers may be read a word
  // at a time; null for cells given.
  const char* rowEnd_ = nullptr;
  std::vector<std::uint64_t> filled_;  // a bit per cell
  std::vector<std::uint64_t> commas_;  // a bit per byte of the row
};

// A row's cells read once each, in order, as the built-in layouts take them:
// without dividing the row first.
class StreamedCells {
 public:
  explicit StreamedCells(const TextRow& row) : cursor_(row) {}

  // Cell k, or an empty one past the last. REQUIRES: k is past the last asked.
  CellText operator[](std::size_t k) {
    if (!skipTo(k)) {
      return {};
    }
    ++at_;
    const std::string_view bytes = cursor_.next();
    return {bytes, cursor_.escaped()};
  }
  std::uint32_t integer(std::size_t k) {
    if (!skipTo(k)) {
      return 0;
    }
    ++at_;
    return cursor_.nextAsInteger();
  }
  char* words(std::size_t first, std::size_t count, char* out) {
    for (std::size_t k = first; k < first + count; ++k, out += 4) {
      const std::uint32_t value = integer(k);
      encodeFixed32(reinterpret_cast<unsigned char*>(out), value);
    }
    return out;
  }

 private:
  // Passes the cells before k; false when the row has no cell k.
  bool skipTo(std::size_t k) {
    for (; at_ < k && !cursor_.done(); ++at_) {
      cursor_.next();
    }
    return at_ == k && !cursor_.done();
  }

  TextRow::Cursor cursor_;
  std::size_t at_ = 0;  // the cell the cursor is at
};

template <typename Out>
void TextRow::unescape(std::string_view bytes, Out& out) {
  static constexpr std::array<char, 4> kEscapes = {'"', '\r', '"', '\r'};
  const char* c = bytes.data();
  const char* const end = c + bytes.size();
  for (;;) {
    const char* const stop = findAnyOf(c, end, kEscapes);
    out.append(std::string_view(c, static_cast<std::size_t>(stop - c)));
    if (stop == end) {
      return;
    }
    // A lone quote or CR stands for itself.
    const bool pair = stop + 1 != end && stop[1] == (*stop == '"' ? '"' : '\n');
    out.append(std::string_view(stop + (pair ? 1 : 0), 1));
    c = stop + (pair ? 2 : 1);
  }
}

}  // namespace cachesift
