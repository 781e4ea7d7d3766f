// CSV to cache: the record engine's walk that writes a record's fields from
// its row's cells.
#include <algorithm>
#include <bit>
#include <type_traits>

#include "cachefile/coding.h"
#include "cachefile/field_kinds.h"
#include "cachefile/record_engine.h"
#include "csv/number_text.h"
#include "csv/text_to_float.h"
#include "csv/text_to_integer.h"

namespace cachesift {
namespace {

using namespace engine;
using Step = RecordEngine::Step;

void storeNumber(char* out, std::uint64_t value, const Step& step) {
  if (step.bytes == 4) {
    encodeFixed32(reinterpret_cast<unsigned char*>(out), static_cast<std::uint32_t>(value));
    return;
  }
  for (std::uint32_t b = 0; b < step.bytes; ++b) {
    out[b] = static_cast<char>(value >> (8 * b));
  }
}

// The length of a quoted cell's text: "" and CR LF are one byte each.
std::size_t unescapedSize(const CellText& cell) {
  if (!cell.escaped) {
    return cell.bytes.size();
  }
  struct Counter {
    std::size_t size = 0;
    void append(std::string_view bytes) { size += bytes.size(); }
  } counter;
  TextRow::unescape(cell.bytes, counter);
  return counter.size;
}

// Bytes appended to a string, as to a sink: the fields of a framed record
// are measured before they are written.
class StringOut {
 public:
  explicit StringOut(std::string& bytes) : bytes_(bytes) {}
  void append(std::string_view bytes) { bytes_.append(bytes); }
  void append(char byte) { bytes_.push_back(byte); }
  char* reserve(std::size_t count) {
    const std::size_t at = bytes_.size();
    bytes_.resize(at + count);
    return bytes_.data() + at;
  }
  void commit(const char* end) { bytes_.resize(static_cast<std::size_t>(end - bytes_.data())); }

 private:
  std::string& bytes_;
};

// Appends a cell's text.
template <typename Out>
void appendText(Out& out, const CellText& cell) {
  if (cell.escaped) {
    TextRow::unescape(cell.bytes, out);
  } else {
    out.append(cell.bytes);
  }
}

template <typename Out, typename Cells>
class Writer {
 public:
  Writer(const FormatDefinition& layout, const std::vector<Step>& steps, Cells& cells, Out& out,
         std::vector<std::uint64_t>& slots)
      : nodes_(layout.nodes), steps_(steps), cells_(cells), out_(out), slots_(slots) {}

  bool write() {
    const bool ok =
        walk(FormatDefinition::kFirstFieldNode, static_cast<std::uint32_t>(nodes_.size()), 0);
    align();
    return ok;
  }
  RowFault fault;

 private:
  CellText cell(std::uint32_t column) { return cells_[column]; }
  // Only a divided row is looked at ahead: a layout whose rows are read in
  // one pass has no count or length without a column, and no condition.
  static constexpr bool kAhead = std::is_same_v<std::remove_const_t<Cells>, RowCells>;

  // A number's cell as its field holds it: an integer wraps modulo its
  // width, as it does when written.
  std::uint64_t number(const Step& step, std::uint32_t column) {
    std::uint64_t value;
    switch (step.cell) {
      case Step::Cell::kF32:
      case Step::Cell::kExactF32:
        return std::bit_cast<std::uint32_t>(textToFloat(cell(column).bytes));
      case Step::Cell::kF64:
        return std::bit_cast<std::uint64_t>(textToDouble(cell(column).bytes));
      case Step::Cell::kU64:
      case Step::Cell::kI64:
        return textToInteger64(cell(column).bytes);
      default:
        value = cells_.integer(column);
    }
    const std::uint64_t sign = std::uint64_t{1} << (step.bits - 1);
    value &= (sign << 1) - 1;
    return step.isSigned ? (value ^ sign) - sign : value;
  }

  // The run of numbers that starts at node `first`.
  bool numbers(std::uint32_t first, std::uint32_t base) {
    const Step& run = steps_[first];
    char* out = out_.reserve(run.runBytes);
    if (run.words) {
      out = cells_.words(base + static_cast<std::uint32_t>(nodes_[first].column),
                         run.runEnd - first, out);
      out_.commit(out);
      return true;
    }
    for (std::uint32_t i = first; i < run.runEnd; ++i) {
      const Step& step = steps_[i];
      const LayoutNode& node = nodes_[i];
      std::uint64_t value = node.column >= 0 ? number(step, base + node.column) : 0;
      if (node.user >= 0 && !measure(node, base, value)) {
        return false;
      }
      if (node.slot >= 0) {
        slots_[node.slot] = value;
      }
      storeNumber(out, value, step);
      out += step.bytes;
    }
    out_.commit(out);
    return true;
  }

  void align() {
    if (bitsUsed_ != 0) {
      out_.append(static_cast<char>(bitByte_ << (8 - bitsUsed_)));
      bitByte_ = bitsUsed_ = 0;
    }
  }

  // The low `count` bits of `value`, the most significant first, into the
  // partly written byte.
  void writeBits(std::uint64_t value, std::uint32_t count) {
    while (count > 0) {
      const std::uint32_t take = std::min(count, 8 - bitsUsed_);
      count -= take;
      bitByte_ = bitByte_ << take | ((value >> count) & ((1u << take) - 1));
      bitsUsed_ += take;
      if (bitsUsed_ == 8) {
        out_.append(static_cast<char>(bitByte_));
        bitByte_ = bitsUsed_ = 0;
      }
    }
  }

  // The value of a count or length that has no column: what its user holds.
  bool measure(const LayoutNode& node, std::uint32_t base, std::uint64_t& value) {
    if constexpr (kAhead) {
      return measureAhead(node, base, value);
    }
    return false;
  }

  bool measureAhead(const LayoutNode& node, std::uint32_t base, std::uint64_t& value) {
    const LayoutNode& user = nodes_[node.user];
    const std::uint32_t column = base + user.column;
    if (user.kind == Kind::kRepeat) {
      const std::size_t last = column + std::size_t{user.most} * user.columns;
      const std::size_t filled = cells_.lastFilled(column, last);
      value = filled == last ? 0 : (filled - column) / user.columns + 1;
      return true;
    }
    const std::uint64_t zero = user.kind == Kind::kSizedText ? 0 : 1;
    const std::size_t size = unescapedSize(cell(column));
    value = size == 0 && user.kind == Kind::kSizedTextZ0 ? 0 : size + zero;
    if (value > capacity(node)) {
      fault = {RowFault::What::kTextTooLong, column, capacity(node) - zero};
      return false;
    }
    return true;
  }

  bool walk(std::uint32_t first, std::uint32_t last, std::uint32_t base) {
    for (std::uint32_t i = first; i < last; ++i) {
      const LayoutNode& node = nodes_[i];
      const std::uint32_t column = base + static_cast<std::uint32_t>(node.column);
      if (node.kind != Kind::kBits && node.kind != Kind::kRepeat && node.kind != Kind::kIf) {
        align();
      }
      switch (node.kind) {
        case Kind::kAlign:
          break;
        case Kind::kText:
        case Kind::kSizedTextZ:
          appendText(out_, cell(column));
          out_.append('\0');
          break;
        case Kind::kSizedTextZ0: {
          const CellText text = cell(column);
          appendText(out_, text);
          if (!text.bytes.empty()) {
            out_.append('\0');
          }
          break;
        }
        case Kind::kSizedText:
          appendText(out_, cell(column));
          break;
        case Kind::kHex:
        case Kind::kHexRest: {
          std::string bytes = bytesFromHex(cell(column).bytes);
          if (node.kind == Kind::kHex) {
            bytes.resize(node.size);
          }
          out_.append(std::string_view(bytes));
          break;
        }
        case Kind::kRepeat: {
          const std::uint64_t times = node.ref >= 0 ? slots_[node.ref] : node.size;
          for (std::uint32_t e = 0; e < times; ++e) {
            if (!walk(i + 1, node.end, base + node.column + e * node.columns)) {
              return false;
            }
          }
          i = node.end - 1;
          break;
        }
        case Kind::kIf:
          if ((slots_[node.ref] == node.value) == node.equal) {
            if (!walk(i + 1, node.end, base)) {
              return false;
            }
          } else if constexpr (kAhead) {
            // A filled cell that the condition leaves out would be lost.
            const std::size_t filled = cells_.firstFilled(column, column + node.columns);
            if (filled != column + node.columns) {
              fault = {RowFault::What::kLeftOut, static_cast<std::uint32_t>(filled), 0};
              return false;
            }
          }
          i = node.end - 1;
          break;
        case Kind::kBits: {
          std::uint64_t value =
              node.column >= 0 ? textToInteger(cell(column).bytes) & capacity(node) : 0;
          if (node.user >= 0 && !measure(node, base, value)) {
            return false;
          }
          if (node.slot >= 0) {
            slots_[node.slot] = value;
          }
          writeBits(value, node.size);
          break;
        }
        default:
          if (!numbers(i, base)) {
            return false;
          }
          i = steps_[i].runEnd - 1;
      }
    }
    return true;
  }

  const std::vector<LayoutNode>& nodes_;
  const std::vector<Step>& steps_;
  Cells& cells_;
  Out& out_;
  std::vector<std::uint64_t>& slots_;
  unsigned bitByte_ = 0;
  unsigned bitsUsed_ = 0;
};

}  // namespace

namespace {

template <typename Out, typename Cells>
bool writeFields(const FormatDefinition& program, const std::vector<Step>& steps, Cells& cells,
                 Out& out, std::vector<std::uint64_t>& slots, RowFault& fault) {
  Writer writer(program, steps, cells, out, slots);
  const bool ok = writer.write();
  fault = writer.fault;
  return ok;
}

}  // namespace

bool RecordEngine::write(const RowCells& cells, std::string& out, RowFault& fault) {
  StringOut bytes(out);
  return writeFields(program_, steps_, cells, bytes, slots_, fault);
}

bool RecordEngine::write(StreamedCells& cells, std::string& out, RowFault& fault) {
  StringOut bytes(out);
  return writeFields(program_, steps_, cells, bytes, slots_, fault);
}

bool RecordEngine::write(StreamedCells& cells, ByteSink& out, RowFault& fault) {
  return writeFields(program_, steps_, cells, out, slots_, fault);
}

}  // namespace cachesift
