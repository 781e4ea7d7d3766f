#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "csv/text_to_integer.h"
#include "io/byte_scan.h"

namespace cachesift {

// One CSV line divided into cells, read where the line stands: the row
// copies nothing, and the line's bytes must outlive it.
//
// The line's content ends at its first zero byte. A cell that starts with a
// double quote ends at the next double quote followed by a comma, and loses
// those quotes; any other cell ends at the next comma. The line's last cell
// needs no comma: an unquoted one runs to the line's end, a quoted one to a
// double quote that is the line's last byte. A quoted cell that is never
// closed is dropped, and so is everything after it. Nothing is trimmed.
class TextRow {
 public:
  TextRow() = default;
  // `line` is without its line end.
  explicit TextRow(std::string_view line);

  std::size_t cellCount() const { return cellCount_; }

  // Cell k, or an empty text past the last cell. Takes time proportional to
  // k: walk a whole row with a Cursor instead.
  std::string_view cell(std::size_t k) const;

  // Removes the first `count` bytes of cell 0. REQUIRES: cell 0 has them.
  void dropCell0Prefix(std::size_t count) { cell0Dropped_ = count; }

  // Walks the cells from the first to the last.
  class Cursor {
   public:
    explicit Cursor(const TextRow& row)
        : next_(row.line_.data()),
          end_(next_ + row.line_.size()),
          left_(row.cellCount_),
          dropped_(row.cell0Dropped_) {}
    bool done() const { return left_ == 0; }

    // REQUIRES: !done().
    std::string_view next() {
      --left_;
      std::string_view cell;
      if (*next_ == '"') {
        cell = quotedCell(next_, end_);
        next_ = cell.data() + cell.size() + 1;
        next_ += next_ != end_ ? 1 : 0;  // its comma
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
    // The text of the quoted cell that starts at `open`, up to its closing quote.
    static std::string_view quotedCell(const char* open, const char* end);

    const char* next_;
    const char* end_;
    std::size_t left_;
    std::size_t dropped_;
  };

 private:
  std::string_view line_;
  std::size_t cellCount_ = 0;
  std::size_t cell0Dropped_ = 0;
};

}  // namespace cachesift
