// CSV to cache: the record engine's walk that writes a record's fields from
// its row's cells.
#include <algorithm>
#include <bit>
#include <charconv>
#include <type_traits>

#include "cachefile/coding.h"
#include "cachefile/record_engine.h"
#include "catalogue/field_kinds.h"
#include "csv/number_text.h"
#include "csv/text_marks.h"
#include "csv/text_to_float.h"
#include "csv/text_to_integer.h"

namespace cachesift {
namespace {

using Kind = FieldKind;

void storeNumber(char* out, std::uint64_t value, const Step& step) {
  if (step.bytes == 4) {
    encodeFixed32(reinterpret_cast<unsigned char*>(out), static_cast<std::uint32_t>(value));
    return;
  }
  for (std::uint32_t b = 0; b < step.bytes; ++b) {
    out[b] = static_cast<char>(value >> (8 * b));
  }
}

// Appends a cell's text: a quoted cell's unescaped, and where `marks`, its
// marks read.
template <typename Out>
void appendText(Out& out, const CellText& cell, bool marks) {
  if (cell.bytes.empty()) {
    return;  // most of a row's texts
  }
  if (marks && holdsMarks(cell.bytes)) {
    std::string text;
    if (cell.escaped) {
      TextRow::unescape(cell.bytes, text);
    } else {
      text = cell.bytes;
    }
    unmark(text, out);
  } else if (cell.escaped) {
    TextRow::unescape(cell.bytes, out);
  } else {
    out.append(cell.bytes);
  }
}

// The length of a cell's text, as appendText() gives it.
std::size_t textSize(const CellText& cell, bool marks) {
  if (cell.bytes.empty() || (!cell.escaped && !(marks && holdsMarks(cell.bytes)))) {
    return cell.bytes.size();
  }
  struct Counter {
    std::size_t size = 0;
    void append(std::string_view bytes) { size += bytes.size(); }
  } counter;
  appendText(counter, cell, marks);
  return counter.size;
}

// The values of a list cell, separated by spaces. Values are a few bytes
// each: a plain loop passes them quicker than a library search per value.
std::string_view nextValue(std::string_view& list) {
  const char* p = list.data();
  const char* const end = p + list.size();
  while (p != end && *p == ' ') {
    ++p;
  }
  const char* const first = p;
  while (p != end && *p != ' ') {
    ++p;
  }
  list = {p, static_cast<std::size_t>(end - p)};
  return {first, static_cast<std::size_t>(p - first)};
}

// How many values a list cell holds: each starts where a space is followed
// by something else, or the cell by something other than a space.
std::size_t valueCount(std::string_view list) {
  std::size_t count = !list.empty() && list[0] != ' ' ? 1 : 0;
  for (std::size_t i = 1; i < list.size(); ++i) {
    count += list[i - 1] == ' ' && list[i] != ' ' ? 1 : 0;
  }
  return count;
}

// The first byte of [p, last) that is no decimal digit.
const char* skipDigits(const char* p, const char* last) {
  while (p != last && isDecimalDigit(*p)) {
    ++p;
  }
  return p;
}

// Reads a list's value as its field's number, the whole of it and within the
// field's range; false when it is none. `readable` says where the bytes that
// may be read end, at least the text's end, or is null.
bool readValue(std::string_view text, const char* readable, const Step& step,
               std::uint64_t& value) {
  const char* const last = text.data() + text.size();
  const bool real = step.cell == Step::Cell::kF32 || step.cell == Step::Cell::kExactF32 ||
                    step.cell == Step::Cell::kF64;
  // Most values: a whole number of up to eight digits, read a word at a time.
  if (!step.isSigned && !real && readable != nullptr && readable - text.data() >= 8) {
    std::uint32_t number;
    if (leadingDigits(loadEightBytes(text.data()), number) == static_cast<int>(text.size()) &&
        !text.empty()) {
      value = number;
      return step.bits >= 32 || number >> step.bits == 0;
    }
  }
  if (real) {
    // Most values are as the CSV writer prints them, and whole numbers so.
    double printed;
    if (readPrintedDecimal(text, printed)) {
      value = step.bytes == 4 ? std::bit_cast<std::uint32_t>(static_cast<float>(printed))
                              : std::bit_cast<std::uint64_t>(printed);
      return true;
    }
    // Sign, digits with an optional point, an optional exponent.
    const char* p = text.data() + (text.starts_with('-') || text.starts_with('+') ? 1 : 0);
    const char* const whole = skipDigits(p, last);
    bool digits = whole != p;
    p = whole;
    if (p != last && *p == '.') {
      p = skipDigits(p + 1, last);
      digits |= p != whole + 1;
    }
    if (!digits) {
      return false;
    }
    if (p != last && (*p == 'e' || *p == 'E')) {
      p += p + 1 != last && (p[1] == '-' || p[1] == '+') ? 2 : 1;
      const char* const exponent = p;
      p = skipDigits(p, last);
      if (p == exponent) {
        return false;
      }
    }
    if (p != last) {
      return false;
    }
    value = step.bytes == 4 ? std::bit_cast<std::uint32_t>(textToFloat(text))
                            : std::bit_cast<std::uint64_t>(textToDouble(text));
    return true;
  }
  if (step.isSigned) {
    std::int64_t number;
    const auto [end, error] = std::from_chars(text.data(), last, number);
    const std::int64_t most = static_cast<std::int64_t>((std::uint64_t{1} << (step.bits - 1)) - 1);
    value = static_cast<std::uint64_t>(number);
    return error == std::errc() && end == last && number <= most && number >= -most - 1;
  }
  const auto [end, error] = std::from_chars(text.data(), last, value);
  return error == std::errc() && end == last && (step.bits == 64 || value >> step.bits == 0);
}

template <typename Out, typename Cells>
class Writer {
 public:
  Writer(const FormatDefinition& layout, const std::vector<Step>& steps, Cells& cells, Out& out,
         std::vector<std::uint64_t>& slots)
      : nodes_(layout.nodes),
        steps_(steps),
        cells_(cells),
        out_(out),
        slots_(slots),
        marks_(layout.framed()) {}

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
      case Step::Cell::kExactF32: {
        const std::string_view text = cell(column).bytes;
        double printed;
        return std::bit_cast<std::uint32_t>(
            readPrintedDecimal(text, printed) ? static_cast<float>(printed) : textToFloat(text));
      }
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

  // The low `count` bits of `value`, the most significant first, after the
  // partly written byte, and the bytes they fill written. A field has 32 bits
  // at most: with the 7 of a partly written byte they fit the word at once.
  void writeBits(std::uint64_t value, std::uint32_t count) {
    bitByte_ = bitByte_ << count | (value & ((std::uint64_t{1} << count) - 1));
    bitsUsed_ += count;
    while (bitsUsed_ >= 8) {
      bitsUsed_ -= 8;
      out_.append(static_cast<char>(bitByte_ >> bitsUsed_));
    }
    bitByte_ &= (std::uint64_t{1} << bitsUsed_) - 1;
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
    if (user.list) {
      return countList(user, column, value);
    }
    if (user.kind == Kind::kRepeat) {
      const std::size_t last = column + std::size_t{user.most} * user.columns;
      const std::size_t filled = cells_.lastFilled(column, last);
      value = filled == last ? 0 : (filled - column) / user.columns + 1;
      return true;
    }
    const std::uint64_t zero = user.kind == Kind::kSizedText ? 0 : 1;
    // Most texts are empty: measured without a call.
    const CellText text = cell(column);
    const std::size_t size = text.bytes.empty() ? 0 : textSize(text, marks_);
    value = size == 0 && user.kind == Kind::kSizedTextZ0 ? 0 : size + zero;
    if (value > capacity(node)) {
      fault = {RowFault::What::kTextTooLong, column, capacity(node) - zero};
      return false;
    }
    return true;
  }

  // The elements of the list `user` whose cells start at `column`: as many as
  // each of its cells holds values.
  bool countList(const LayoutNode& user, std::uint32_t column, std::uint64_t& value) {
    value = valueCount(cell(column).bytes);
    for (std::uint32_t k = column; k < column + user.columns; ++k) {
      const std::size_t count = k == column ? value : valueCount(cell(k).bytes);
      if (count > user.most) {
        fault = {RowFault::What::kListTooLong, k, user.most};
        return false;
      }
      if (count != value) {
        fault = {RowFault::What::kUnevenList, k, 0};
        return false;
      }
    }
    return true;
  }

  // Writes the elements of the list at node `at`, whose count is known.
  bool list(std::uint32_t at, std::uint32_t column) {
    const LayoutNode& node = nodes_[at];
    lists_.resize(node.columns);
    for (std::uint32_t k = 0; k < node.columns; ++k) {
      lists_[k] = cell(column + k).bytes;
    }
    char* out = out_.reserve(slots_[node.ref] * steps_[at].runBytes);
    for (std::uint64_t e = 0; e < slots_[node.ref]; ++e) {
      for (std::uint32_t i = at + 1; i < node.end; ++i) {
        const std::uint32_t k = static_cast<std::uint32_t>(nodes_[i].column);
        std::uint64_t value;
        if (!readValue(nextValue(lists_[k]), cells_.readableEnd(), steps_[i], value)) {
          out_.commit(out);
          fault = {RowFault::What::kBadValue, column + k, 0};
          return false;
        }
        storeNumber(out, value, steps_[i]);
        out += steps_[i].bytes;
      }
    }
    out_.commit(out);
    return true;
  }

  bool walk(std::uint32_t first, std::uint32_t last, std::uint32_t base) {
    for (std::uint32_t i = first; i < last; ++i) {
      const LayoutNode& node = nodes_[i];
      const std::uint32_t column = base + static_cast<std::uint32_t>(node.column);
      // Bits stay unaligned across bit fields, repeats and conditions only;
      // most nodes follow whole bytes, which the first test finds.
      if (bitsUsed_ != 0 && node.kind != Kind::kBits && node.kind != Kind::kRepeat &&
          node.kind != Kind::kIf) {
        align();
      }
      switch (node.kind) {
        case Kind::kAlign:
          break;
        case Kind::kText:
        case Kind::kSizedTextZ:
          appendText(out_, cell(column), marks_);
          out_.append('\0');
          break;
        case Kind::kSizedTextZ0: {
          // Empty, as most are: no bytes at all, and no call.
          const CellText text = cell(column);
          if (!text.bytes.empty()) {
            appendText(out_, text, marks_);
            out_.append('\0');
          }
          break;
        }
        case Kind::kSizedText:
          appendText(out_, cell(column), marks_);
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
          if (node.list) {
            // A list's count is measured from its cells, which only a
            // divided row has at hand.
            if constexpr (kAhead) {
              if (!list(i, column)) {
                return false;
              }
            } else {
              return false;
            }
            i = node.end - 1;
            break;
          }
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
  const bool marks_;           // whether texts show their CRs as marks
  std::uint64_t bitByte_ = 0;  // the bits of the partly written byte
  unsigned bitsUsed_ = 0;
  std::vector<std::string_view> lists_;  // the values of a list's cells not yet read
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

bool RecordEngine::write(const RowCells& cells, FieldBytes& out, RowFault& fault) {
  return writeFields(prepared_.program, prepared_.steps, cells, out, slots_, fault);
}

bool RecordEngine::write(StreamedCells& cells, FieldBytes& out, RowFault& fault) {
  return writeFields(prepared_.program, prepared_.steps, cells, out, slots_, fault);
}

void FieldBytes::grow(std::size_t count) {
  capacity_ = std::max(used_ + count, 2 * capacity_);
  std::unique_ptr<char[]> larger(new char[capacity_]);
  if (used_ > 0) {
    std::memcpy(larger.get(), data_.get(), used_);
  }
  data_ = std::move(larger);
}

bool RecordEngine::write(StreamedCells& cells, ByteSink& out, RowFault& fault) {
  return writeFields(prepared_.program, prepared_.steps, cells, out, slots_, fault);
}

}  // namespace cachesift
