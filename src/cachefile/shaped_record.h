#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/format_definition.h"

namespace cachesift {

// One cell of a record read by the general walk of a layout's nodes: what
// the CSV shows in one column. Texts and bytes refer into the record.
struct FieldCell {
  enum class Kind : std::uint8_t { kEmpty, kUnsigned, kSigned, kFloat, kDouble, kText, kHex };
  Kind kind = Kind::kEmpty;
  std::uint64_t value = 0;  // an integer's value, widened; a float's bits
  std::string_view bytes;   // a text's, without its zero; kHex's
};

// Why a record could not be written: the text in `column` (counted from 0) is
// longer than the `most` bytes that its length field can say.
struct ShapedRecordError {
  std::uint32_t column = 0;
  std::uint64_t most = 0;
};

// Reads and writes the records of one layout by the general walk of its
// nodes, keeping its scratch from record to record.
class ShapedRecords {
 public:
  explicit ShapedRecords(const FormatDefinition& layout);

  // Reads the fields of one record, the bytes after its key and entry size,
  // into `cells` (one per column from column 2 on; a column of an element or
  // a condition that the record lacks stays empty). False when the fields do
  // not take exactly the record's bytes, or would not come back as they are
  // from the cells' texts: a count past its repeat's most, or whose last
  // element shows nothing; a count or length whose user a condition left out
  // and that an empty user would not give; bits left unused that are not
  // zero; a sized text that holds a zero byte; a float that is not a number.
  // `lostTexts` counts the texts that hold the byte 1A, which the CSV form
  // cannot carry.
  bool read(std::string_view record, std::vector<FieldCell>& cells, std::uint32_t& lostTexts);

  // Appends the fields of one record from the texts of its cells, columns 2
  // on (missing ones count as empty); each count and length that has no
  // column is computed from the cells it measures. A counted repeat counts
  // the elements up to the last one whose cells are not all empty; an empty
  // element before it is written with zeros and empty texts.
  bool write(const std::vector<std::string_view>& texts, std::string& out,
             ShapedRecordError& error);

 private:
  const FormatDefinition& layout_;
  std::vector<std::uint64_t> slots_;
};

// The bytes that hexadecimal text stands for, two digits a byte, up to the
// first pair that is not two digits.
std::string bytesFromHex(std::string_view text);

}  // namespace cachesift
