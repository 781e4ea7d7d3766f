#pragma once

// The one engine that reads and writes the fields of a record, for every
// layout: a record's cells in the CSV from its bytes, and its bytes from the
// cells. Whether a record fits its layout is decided here and nowhere else.

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/format_definition.h"
#include "catalogue/prepared_layout.h"
#include "csv/text_row.h"
#include "io/byte_sink.h"

namespace cachesift {

// Why a row's cells could not be written, for the cell in `column` (from 0):
// a text longer than the `most` bytes that its length field can say, a
// filled cell of a field that its condition leaves out of this record, or a
// list cell that does not give its group's elements.
struct RowFault {
  enum class What : std::uint8_t {
    kTextTooLong,
    kLeftOut,
    kListTooLong,  // more values than the list's `most`
    kBadValue,     // a list's value that does not read as its field's number
    kUnevenList,   // a list whose cells hold different numbers of values
  } what = What::kTextTooLong;
  std::uint32_t column = 0;
  std::uint64_t most = 0;
};

// Where a record stops fitting its layout, for the first of those that do
// not: what went wrong, at which of the layout's nodes, and the byte of the
// record's fields (from the first after the entry size) where that field
// starts.
struct FitMiss {
  enum class What : std::uint8_t {
    kPastEnd,     // the field runs past the record's end
    kBytesLeft,   // `value` bytes are left after the last field
    kPastMost,    // a count of `value`, past its group's most
    kLastEmpty,   // a group of `value` elements whose last shows nothing
    kUnusedBits,  // bits left unused before a whole byte are not zero
    kNotANumber,  // a float that is not a number or is infinite
    kNotBack,     // a text, or a count or length left out, that would not come back
  } what = What::kNotBack;
  std::uint32_t node = 0;
  std::uint64_t offset = 0;
  std::uint64_t value = 0;
};
inline constexpr std::uint32_t kPastLastField = UINT32_MAX;

// A framed record's field bytes, written before its frame gives their length:
// the room is kept from record to record and never filled in advance.
class FieldBytes {
 public:
  void clear() { used_ = 0; }
  std::string_view view() const { return {data_.get(), used_}; }

  void append(std::string_view bytes) {
    if (!bytes.empty()) {  // an empty view may have no data pointer at all
      std::memcpy(reserve(bytes.size()), bytes.data(), bytes.size());
      used_ += bytes.size();
    }
  }
  void append(char byte) {
    *reserve(1) = byte;
    ++used_;
  }
  // Room for `count` bytes at the returned pointer; commit() then keeps as
  // many as were written.
  char* reserve(std::size_t count) {
    if (capacity_ - used_ < count) {
      grow(count);
    }
    return data_.get() + used_;
  }
  void commit(const char* end) { used_ = static_cast<std::size_t>(end - data_.get()); }

 private:
  void grow(std::size_t count);

  std::unique_ptr<char[]> data_;
  std::size_t used_ = 0;
  std::size_t capacity_ = 0;
};

// Runs one layout's fields, after the key and entry size, keeping its
// scratch from record to record.
//
// A framed record fits when its fields take exactly its bytes and would come
// back as they are from their cells' texts. It does not fit at: a count past
// its repeat's most, or whose last element shows nothing; a count or length
// whose user a condition left out and that an empty user would not give; bits
// left unused that are not zero; a sized text that holds a zero byte; a float
// that is not a number or is infinite. A record of the built-in layouts, which
// frame nothing, only has to lie within the body; its floats show six
// decimals, as they always have.
class RecordEngine {
 public:
  explicit RecordEngine(const FormatDefinition& layout);

  // Checks the fields that start at `at`: where they end, or nullptr when
  // the record does not fit (a framed one must end at `end`). `lostTexts`
  // counts its texts that hold the byte 1A, which the CSV form cannot carry.
  const char* check(const char* at, const char* end, std::uint32_t& lostTexts);

  // Writes the fields' cells, each with its comma, and an empty cell for each
  // column that the record lacks; gives what check() gives.
  const char* format(const char* at, const char* end, ByteSink& sink);

  // Where the fields that start at `at` stop fitting, or nothing when they fit.
  std::optional<FitMiss> miss(const char* at, const char* end);

  // Appends the fields of one record from its row's cells (the key's is
  // cells[0]; missing ones count as empty). Each count and length without a
  // column is measured from the cells it measures; a counted repeat counts
  // the elements up to the last one whose cells are not all empty.
  bool write(const RowCells& cells, FieldBytes& out, RowFault& fault);
  // The same from cells read once each and in order, for a layout that
  // needs no cell ahead or twice (no count or length without a column, no
  // condition); into a sink where the fields' length is not needed first, as
  // in the built-in layouts, which frame nothing.
  bool write(StreamedCells& cells, FieldBytes& out, RowFault& fault);
  bool write(StreamedCells& cells, ByteSink& out, RowFault& fault);
  // Whether the layout is one such.
  bool streamed() const { return prepared_.streamed; }

 private:
  // The layout as prepared once for running; the engine keeps only the values
  // of a record's counts, lengths and tested fields.
  const PreparedLayout& prepared_;
  std::vector<std::uint64_t> slots_;
};

}  // namespace cachesift
