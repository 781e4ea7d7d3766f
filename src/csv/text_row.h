#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "csv/text_to_integer.h"

namespace cachesift {

// One CSV line divided into cells. A cell never holds a zero byte (a zero
// byte ends a line's content), so the cells are kept back to back in one
// buffer, each followed by a zero byte: one allocation per line, and no more
// memory than the line itself.
class TextRow {
 public:
  TextRow() = default;
  TextRow(std::initializer_list<std::string_view> cells) {
    for (std::string_view cell : cells) {
      appendCell(cell);
    }
  }

  // REQUIRES: `cell` holds no zero byte.
  void appendCell(std::string_view cell);
  std::size_t cellCount() const { return cellCount_; }

  // Cell k, or an empty text past the last cell. Takes time proportional to
  // k: walk a whole row with a Cursor instead.
  std::string_view cell(std::size_t k) const;

  // Removes the first `count` bytes of cell 0. REQUIRES: cell 0 has them.
  void dropCell0Prefix(std::size_t count) { cells_.erase(0, count); }

  // Walks the cells from the first to the last.
  class Cursor {
   public:
    explicit Cursor(const TextRow& row)
        : next_(row.cells_.c_str()), end_(next_ + row.cells_.size()), left_(row.cellCount_) {}
    bool done() const { return left_ == 0; }
    // REQUIRES: !done().
    std::string_view next() {
      const char* const start = next_;
      while (*next_ != '\0') {  // cells are mostly a few digits: no call to strlen
        ++next_;
      }
      --left_;
      return {start, static_cast<std::size_t>(next_++ - start)};
    }

    // The next cell read by textToInteger, in one pass over it (no number
    // reading goes past a cell's zero byte). REQUIRES: !done().
    std::uint32_t nextAsInteger() {
      std::uint32_t value;
      const char* stop = readInteger(next_, end_, value);
      while (*stop != '\0') {  // the rest of a cell like "12abc"
        ++stop;
      }
      next_ = stop + 1;
      --left_;
      return value;
    }

   private:
    const char* next_;
    const char* end_;
    std::size_t left_;
  };

  bool operator==(const TextRow&) const = default;

 private:
  friend TextRow splitCsvLine(std::string_view line);

  std::string cells_;
  std::size_t cellCount_ = 0;
};

}  // namespace cachesift
