#pragma once

// The one engine that reads and writes the fields of a record, for every
// layout: a record's cells in the CSV from its bytes, and its bytes from the
// cells. Whether a record fits its layout is decided here and nowhere else.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/format_definition.h"
#include "io/byte_sink.h"

namespace cachesift {

// A cell of a CSV row as it stands in the file: a quoted cell's bytes without
// its quotes, and whether they must be unescaped to give its text.
struct CellText {
  std::string_view bytes;
  bool escaped = false;
};

// Why a row's cells could not be written, for the cell in `column` (from 0):
// a text longer than the `most` bytes that its length field can say, or a
// filled cell of a field that its condition leaves out of this record.
struct RowFault {
  enum class What : std::uint8_t { kTextTooLong, kLeftOut } what = What::kTextTooLong;
  std::uint32_t column = 0;
  std::uint64_t most = 0;
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

  // Appends the fields of one record from its row's cells (the key's is
  // cells[0]; missing ones count as empty). Each count and length without a
  // column is measured from the cells it measures; a counted repeat counts
  // the elements up to the last one whose cells are not all empty.
  bool write(std::span<const CellText> cells, std::string& out, RowFault& fault);

 private:
  const FormatDefinition& layout_;
  std::vector<std::uint64_t> slots_;
  // Per node: the bytes of the run of fixed fields that it starts, or 0.
  std::vector<std::uint32_t> runs_;
};

}  // namespace cachesift
