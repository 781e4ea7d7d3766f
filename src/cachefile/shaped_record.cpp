#include "cachefile/shaped_record.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "csv/text_to_float.h"
#include "csv/text_to_integer.h"

namespace cachesift {
namespace {

using Kind = FieldKind;

// Bytes of a number kind, or 0.
std::uint32_t numberBytes(Kind kind) {
  switch (kind) {
    case Kind::kU8:
    case Kind::kI8:
      return 1;
    case Kind::kU16:
    case Kind::kI16:
      return 2;
    case Kind::kU32:
    case Kind::kI32:
    case Kind::kF32:
      return 4;
    case Kind::kU64:
    case Kind::kI64:
    case Kind::kF64:
      return 8;
    default:
      return 0;
  }
}

bool isSigned(Kind kind) {
  return kind == Kind::kI8 || kind == Kind::kI16 || kind == Kind::kI32 || kind == Kind::kI64;
}

// A field's value as its bytes or bits hold it, a signed one widened with its
// sign, so that a count or condition sees the same value read and written.
std::uint64_t fieldValue(const LayoutNode& node, std::uint64_t value) {
  const std::uint32_t bits = node.kind == Kind::kBits ? node.size : numberBytes(node.kind) * 8;
  if (bits == 64 || node.kind == Kind::kF32) {
    return value;
  }
  const std::uint64_t sign = std::uint64_t{1} << (bits - 1);
  value &= (sign << 1) - 1;
  return isSigned(node.kind) ? (value ^ sign) - sign : value;
}

// The largest count or length that a field can hold.
std::uint64_t capacity(const LayoutNode& node) {
  if (node.kind == Kind::kBits) {
    return (std::uint64_t{1} << node.size) - 1;
  }
  const std::uint32_t bits = numberBytes(node.kind) * 8 - (isSigned(node.kind) ? 1 : 0);
  return bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
}

class Reader {
 public:
  Reader(const FormatDefinition& layout, std::string_view record, std::vector<FieldCell>& cells,
         std::vector<std::uint64_t>& slots)
      : layout_(layout),
        nodes_(layout.nodes),
        at_(reinterpret_cast<const unsigned char*>(record.data())),
        end_(at_ + record.size()),
        cells_(cells),
        slots_(slots) {}

  bool read() {
    return walk(0, static_cast<std::uint32_t>(nodes_.size()), 0) && align() && at_ == end_;
  }
  std::uint32_t lostTexts = 0;

 private:
  // The bits of a partly read byte that no field took must be zero: written
  // back they are.
  bool align() {
    const bool clean = (bitByte_ & ((1u << bitsLeft_) - 1)) == 0;
    bitsLeft_ = 0;
    return clean;
  }

  // The next `count` bits, the most significant first, a byte's worth at a
  // time.
  bool bits(std::uint32_t count, std::uint64_t& value) {
    while (count > 0) {
      if (bitsLeft_ == 0) {
        if (at_ == end_) {
          return false;
        }
        bitByte_ = *at_++;
        bitsLeft_ = 8;
      }
      const std::uint32_t take = std::min(count, bitsLeft_);
      bitsLeft_ -= take;
      value = value << take | ((bitByte_ >> bitsLeft_) & ((1u << take) - 1));
      count -= take;
    }
    return true;
  }

  // Whether cells show nothing in the CSV: no number, no text, no byte.
  bool allEmpty(std::uint32_t first, std::uint32_t count) const {
    for (std::uint32_t c = first; c < first + count; ++c) {
      const FieldCell& cell = cells_[c];
      if (cell.kind != FieldCell::Kind::kEmpty && !cell.bytes.empty()) {
        return false;
      }
      if (cell.kind != FieldCell::Kind::kEmpty && cell.kind != FieldCell::Kind::kText &&
          cell.kind != FieldCell::Kind::kHex) {
        return false;
      }
    }
    return true;
  }

  // Whether the counts and lengths whose users the if `node` left out hold
  // what those users' empty cells give when written back.
  bool measuresAsEmpty(std::uint32_t node) const {
    for (const auto& [ifNode, measure] : layout_.measuresLeftOut) {
      const LayoutNode& counted = nodes_[measure];
      const std::uint64_t empty = nodes_[counted.user].kind == Kind::kSizedTextZ ? 1 : 0;
      if (ifNode == node && slots_[counted.slot] != empty) {
        return false;
      }
    }
    return true;
  }

  bool text(std::size_t length, FieldCell& cell) {
    const char* const text = reinterpret_cast<const char*>(at_);
    if (std::memchr(text, '\0', length) != nullptr) {
      return false;
    }
    cell = {FieldCell::Kind::kText, 0, {text, length}};
    lostTexts += std::memchr(text, '\x1A', length) != nullptr ? 1 : 0;
    return true;
  }

  bool walk(std::uint32_t first, std::uint32_t last, std::uint32_t base) {
    for (std::uint32_t i = first; i < last; ++i) {
      const LayoutNode& node = nodes_[i];
      FieldCell cell;
      std::uint64_t value = 0;
      // A field of whole bytes starts at a whole byte; bits and blocks do not.
      if (node.kind != Kind::kBits && node.kind != Kind::kRepeat && node.kind != Kind::kIf &&
          !align()) {
        return false;
      }
      const auto left = static_cast<std::size_t>(end_ - at_);
      switch (node.kind) {
        case Kind::kBits:
          if (!bits(node.size, value)) {
            return false;
          }
          cell = {FieldCell::Kind::kUnsigned, value, {}};
          break;
        case Kind::kAlign:
          continue;
        case Kind::kText: {
          const void* const nul = std::memchr(at_, '\0', left);
          if (nul == nullptr) {
            return false;
          }
          text(static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - at_), cell);
          at_ += cell.bytes.size() + 1;
          break;
        }
        case Kind::kSizedText:
        case Kind::kSizedTextZ:
        case Kind::kSizedTextZ0: {
          const std::uint64_t length = slots_[node.ref];
          const bool empty = node.kind == Kind::kSizedTextZ0 && length == 0;
          const bool zero = node.kind != Kind::kSizedText && !empty;
          // A textz0 of its zero alone would come back as no byte.
          if (length > left || (zero && (length == 0 || at_[length - 1] != 0)) ||
              (node.kind == Kind::kSizedTextZ0 && length == 1) ||
              !text(length - (zero ? 1 : 0), cell)) {
            return false;
          }
          at_ += length;
          break;
        }
        case Kind::kHex:
        case Kind::kHexRest: {
          const std::size_t size = node.kind == Kind::kHex ? node.size : left;
          if (size > left) {
            return false;
          }
          cell = {FieldCell::Kind::kHex, 0, {reinterpret_cast<const char*>(at_), size}};
          at_ += size;
          break;
        }
        case Kind::kRepeat: {
          const std::uint64_t times = node.ref >= 0 ? slots_[node.ref] : node.size;
          if (node.ref >= 0 && times > node.most) {
            return false;
          }
          for (std::uint32_t e = 0; e < times; ++e) {
            if (!walk(i + 1, node.end, base + node.column + e * node.columns)) {
              return false;
            }
          }
          // Written back, a count is that of the elements up to the last one
          // whose cells are not all empty.
          if (node.ref >= 0 && times > 0 &&
              allEmpty(base + node.column + (times - 1) * node.columns, node.columns)) {
            return false;
          }
          i = node.end - 1;
          continue;
        }
        case Kind::kIf:
          if ((slots_[node.ref] == node.value) == node.equal) {
            if (!walk(i + 1, node.end, base)) {
              return false;
            }
          } else if (!measuresAsEmpty(i)) {
            return false;
          }
          i = node.end - 1;
          continue;
        default: {  // a number
          const std::uint32_t bytes = numberBytes(node.kind);
          if (bytes > left) {
            return false;
          }
          for (std::uint32_t b = bytes; b-- > 0;) {
            value = value << 8 | at_[b];
          }
          at_ += bytes;
          const bool real = node.kind == Kind::kF32 || node.kind == Kind::kF64;
          // A float that is not a number or is infinite would come back as 0.
          if (real && (~value & (bytes == 4 ? 0x7F800000 : 0x7FF0000000000000)) == 0) {
            return false;
          }
          cell = {real ? (bytes == 4 ? FieldCell::Kind::kFloat : FieldCell::Kind::kDouble)
                  : isSigned(node.kind) ? FieldCell::Kind::kSigned
                                        : FieldCell::Kind::kUnsigned,
                  fieldValue(node, value),
                  {}};
        }
      }
      if (node.slot >= 0) {
        slots_[node.slot] = cell.value;
      }
      if (node.column >= 0) {
        cells_[base + node.column] = cell;
      }
    }
    return true;
  }

  const FormatDefinition& layout_;
  const std::vector<LayoutNode>& nodes_;
  const unsigned char* at_;
  const unsigned char* const end_;
  std::vector<FieldCell>& cells_;
  std::vector<std::uint64_t>& slots_;
  unsigned bitByte_ = 0;
  unsigned bitsLeft_ = 0;
};

// The cells of a record as a CSV row gives them: texts, from column 2 on.
class TextCells {
 public:
  explicit TextCells(const std::vector<std::string_view>& texts) : texts_(texts) {}
  std::string_view text(std::uint32_t column) const {
    return column < texts_.size() ? texts_[column] : std::string_view();
  }
  bool empty(std::uint32_t column) const { return text(column).empty(); }
  std::uint64_t number(const LayoutNode& node, std::uint32_t column) const {
    switch (node.kind) {
      case Kind::kF32:
        return std::bit_cast<std::uint32_t>(textToFloat(text(column)));
      case Kind::kF64:
        return std::bit_cast<std::uint64_t>(textToDouble(text(column)));
      case Kind::kU64:
      case Kind::kI64:
        return textToInteger64(text(column));
      default:
        return textToInteger(text(column));
    }
  }
  void appendBytes(std::string& out, std::uint32_t column) const {
    out += bytesFromHex(text(column));
  }

 private:
  const std::vector<std::string_view>& texts_;
};

template <typename Cells>
class Writer {
 public:
  Writer(const FormatDefinition& layout, const Cells& cells, std::string& out,
         std::vector<std::uint64_t>& slots)
      : nodes_(layout.nodes), cells_(cells), out_(out), slots_(slots) {}

  bool write() {
    const bool ok = walk(0, static_cast<std::uint32_t>(nodes_.size()), 0);
    align();
    return ok;
  }
  ShapedRecordError error;

 private:
  void align() {
    if (bitsUsed_ != 0) {
      out_.push_back(static_cast<char>(bitByte_ << (8 - bitsUsed_)));
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
        out_.push_back(static_cast<char>(bitByte_));
        bitByte_ = bitsUsed_ = 0;
      }
    }
  }

  // The value of a count or length that has no column: what its user holds.
  bool measure(const LayoutNode& node, std::uint32_t base, std::uint64_t& value) {
    const LayoutNode& user = nodes_[node.user];
    const std::uint32_t column = base + user.column;
    if (user.kind == Kind::kRepeat) {
      value = 0;
      for (std::uint32_t e = user.most; e > 0 && value == 0; --e) {
        for (std::uint32_t c = 0; c < user.columns; ++c) {
          value = cells_.empty(column + (e - 1) * user.columns + c) ? value : e;
        }
      }
      return true;
    }
    const std::uint64_t zero = user.kind == Kind::kSizedText ? 0 : 1;
    const std::size_t size = cells_.text(column).size();
    value = size == 0 && user.kind == Kind::kSizedTextZ0 ? 0 : size + zero;
    if (value > capacity(node)) {
      error = {column, capacity(node) - zero};
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
          out_.append(cells_.text(column));
          out_.push_back('\0');
          break;
        case Kind::kSizedTextZ0:
          out_.append(cells_.text(column));
          if (!cells_.text(column).empty()) {
            out_.push_back('\0');
          }
          break;
        case Kind::kSizedText:
          out_.append(cells_.text(column));
          break;
        case Kind::kHex:
        case Kind::kHexRest: {
          const std::size_t before = out_.size();
          cells_.appendBytes(out_, column);
          if (node.kind == Kind::kHex) {
            out_.resize(before + node.size);
          }
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
          if ((slots_[node.ref] == node.value) == node.equal && !walk(i + 1, node.end, base)) {
            return false;
          }
          i = node.end - 1;
          break;
        default: {  // a number or bits
          std::uint64_t value =
              node.column >= 0 ? fieldValue(node, cells_.number(node, column)) : 0;
          if (node.user >= 0 && !measure(node, base, value)) {
            return false;
          }
          if (node.slot >= 0) {
            slots_[node.slot] = value;
          }
          if (node.kind == Kind::kBits) {
            writeBits(value, node.size);
            break;
          }
          char bytes[8];
          for (std::uint32_t b = 0; b < 8; ++b) {
            bytes[b] = static_cast<char>(value >> (8 * b));
          }
          out_.append(bytes, numberBytes(node.kind));
        }
      }
    }
    return true;
  }

  const std::vector<LayoutNode>& nodes_;
  const Cells& cells_;
  std::string& out_;
  std::vector<std::uint64_t>& slots_;
  unsigned bitByte_ = 0;
  unsigned bitsUsed_ = 0;
};

int hexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

}  // namespace

ShapedRecords::ShapedRecords(const FormatDefinition& layout)
    : layout_(layout), slots_(layout.slotCount) {}

bool ShapedRecords::read(std::string_view record, std::vector<FieldCell>& cells,
                         std::uint32_t& lostTexts) {
  cells.assign(layout_.fieldCount - 2, FieldCell());
  Reader reader(layout_, record, cells, slots_);
  const bool fits = reader.read();
  lostTexts = reader.lostTexts;
  return fits;
}

bool ShapedRecords::write(const std::vector<std::string_view>& texts, std::string& out,
                          ShapedRecordError& error) {
  const TextCells cells(texts);
  Writer<TextCells> writer(layout_, cells, out, slots_);
  const bool ok = writer.write();
  error = writer.error;
  return ok;
}

std::string bytesFromHex(std::string_view text) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    const int high = hexDigit(text[i]), low = hexDigit(text[i + 1]);
    if (high < 0 || low < 0) {
      break;
    }
    bytes.push_back(static_cast<char>(high << 4 | low));
  }
  return bytes;
}

}  // namespace cachesift
