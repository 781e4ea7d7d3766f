#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "csv/text_to_integer.h"
#include "io/byte_scan.h"

namespace cachesift {

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
  TextRow() = default;

  // Divides the row at the front of `file`, which runs to the end of the
  // file, and removes it with its line end. False when a quoted cell is still
  // open at the end of the file: `file` then starts at its opening quote.
  bool read(std::string_view& file);

  std::size_t cellCount() const { return cellCount_; }

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

    // The cell's text; it lasts until the next call. REQUIRES: !done().
    std::string_view next() {
      --left_;
      std::string_view cell;
      if (*next_ == '"') {
        cell = quotedCell();
      } else {
        const char* const start = next_;
        next_ = findByte(next_, end_, ',');
        cell = {start, static_cast<std::size_t>(next_ - start)};
        next_ += next_ != end_ ? 1 : 0;
      }
      cell.remove_prefix(dropped_);
      dropped_ = 0;
      return cell;
    }

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
    // The text of the quoted cell at next_, which it passes with its comma.
    std::string_view quotedCell();

    const char* next_;
    const char* end_;
    std::size_t left_;
    std::size_t dropped_;
    bool multiLine_;
    // A cell's text where it differs from its bytes: "" or CR LF in it.
    std::string unescaped_;
  };

 private:
  std::string_view line_;  // the row's bytes without its last line end
  std::size_t cellCount_ = 0;
  std::size_t cell0Dropped_ = 0;
  bool multiLine_ = false;
};

}  // namespace cachesift
