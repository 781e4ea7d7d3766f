#include "cachefile/record_engine.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "cachefile/coding.h"
#include "csv/number_text.h"
#include "csv/text_row.h"
#include "csv/text_to_float.h"
#include "csv/text_to_integer.h"
#include "io/byte_scan.h"

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

// The largest count or length that a field can hold.
std::uint64_t capacity(const LayoutNode& node) {
  if (node.kind == Kind::kBits) {
    return (std::uint64_t{1} << node.size) - 1;
  }
  const std::uint32_t bits = numberBytes(node.kind) * 8 - (isSigned(node.kind) ? 1 : 0);
  return bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
}

using Step = RecordEngine::Step;

// Fills the steps of nodes [first, last): each number's, and at the first of
// a run of numbers, the run's.
void prepareSteps(const FormatDefinition& layout, std::uint32_t first, std::uint32_t last,
                  std::vector<Step>& steps) {
  // A run's cells are formatted into room reserved at once.
  constexpr std::uint32_t kMostRunCells = ByteSink::kMaxReserve / (kMaxNumberCell + 1);
  std::uint32_t start = last;  // none open
  for (std::uint32_t i = first; i < last; ++i) {
    const LayoutNode& node = layout.nodes[i];
    Step& step = steps[i];
    step.bytes = static_cast<std::uint8_t>(numberBytes(node.kind));
    if (step.bytes == 0) {
      start = last;
      if (node.kind == Kind::kRepeat || node.kind == Kind::kIf) {
        prepareSteps(layout, i + 1, node.end, steps);
        i = node.end - 1;
      }
      continue;
    }
    step.bits = static_cast<std::uint8_t>(node.kind == Kind::kF32 ? 64 : 8 * step.bytes);
    step.isSigned = isSigned(node.kind);
    step.real = layout.framed() && (node.kind == Kind::kF32 || node.kind == Kind::kF64);
    using Cell = Step::Cell;
    switch (node.kind) {
      case Kind::kU64:
        step.cell = Cell::kU64;
        break;
      case Kind::kI64:
        step.cell = Cell::kI64;
        break;
      case Kind::kF32:
        step.cell = layout.framed() ? Cell::kExactF32 : Cell::kF32;
        break;
      case Kind::kF64:
        step.cell = Cell::kF64;
        break;
      default:
        step.cell = step.isSigned ? Cell::kI32 : Cell::kU32;
    }
    // A run of words in consecutive columns is kept apart from other numbers.
    const bool word = (step.cell == Step::Cell::kU32 || step.cell == Step::Cell::kI32) &&
                      step.bytes == 4 && node.slot < 0 && node.user < 0 && node.column >= 0;
    if (start == last || steps[start].runCells == kMostRunCells || steps[start].words != word ||
        (word && node.column != layout.nodes[i - 1].column + 1)) {
      start = i;
      step.words = word;
    }
    Step& run = steps[start];
    run.runEnd = i + 1;
    run.runBytes += step.bytes;
    run.runCells += node.column >= 0 ? 1 : 0;
    run.plain &= node.slot < 0 && !step.real;
  }
}

// Whether nodes [first, last) are fields that nothing refers to, and no block.
bool plainBody(const std::vector<LayoutNode>& nodes, std::uint32_t first, std::uint32_t last) {
  return std::all_of(nodes.begin() + first, nodes.begin() + last, [](const LayoutNode& node) {
    return node.kind != Kind::kRepeat && node.kind != Kind::kIf && node.slot < 0 && node.ref < 0 &&
           node.user < 0;
  });
}

// Copies nodes [first, last) into `out`, their columns moved by `shift`, and
// each fixed repeat of plain fields as that many copies of its body; `index`
// gets where each node that stays a node went.
void unroll(const std::vector<LayoutNode>& nodes, std::uint32_t first, std::uint32_t last,
            std::int32_t shift, std::vector<LayoutNode>& out, std::vector<std::uint32_t>& index) {
  constexpr std::uint32_t kMostUnrolled = 4096;
  for (std::uint32_t i = first; i < last; ++i) {
    const LayoutNode& node = nodes[i];
    index[i] = static_cast<std::uint32_t>(out.size());
    if (node.kind == Kind::kRepeat && node.ref < 0 && plainBody(nodes, i + 1, node.end) &&
        node.size * (node.end - i - 1) <= kMostUnrolled) {
      for (std::uint32_t e = 0; e < node.size; ++e) {
        unroll(nodes, i + 1, node.end,
               shift + node.column + static_cast<std::int32_t>(e * node.columns), out, index);
      }
      i = node.end - 1;
      continue;
    }
    out.push_back(node);
    out.back().column += node.column >= 0 ? shift : 0;
    if (node.kind == Kind::kRepeat || node.kind == Kind::kIf) {
      // A repeat's body counts its columns from its element's first.
      unroll(nodes, i + 1, node.end, node.kind == Kind::kIf ? shift : 0, out, index);
      out[index[i]].end = static_cast<std::uint32_t>(out.size());
      i = node.end - 1;
    }
  }
}

FormatDefinition program(const FormatDefinition& layout) {
  FormatDefinition program;
  program.clientBuild = layout.clientBuild;
  program.slotCount = layout.slotCount;
  std::vector<std::uint32_t> index(layout.nodes.size());
  unroll(layout.nodes, 0, static_cast<std::uint32_t>(layout.nodes.size()), 0, program.nodes, index);
  for (LayoutNode& node : program.nodes) {
    node.user = node.user >= 0 ? static_cast<std::int32_t>(index[node.user]) : -1;
  }
  for (const auto& [ifNode, measure] : layout.measuresLeftOut) {
    program.measuresLeftOut.emplace_back(index[ifNode], index[measure]);
  }
  return program;
}

// A value as `step` reads it from its little-endian bytes.
std::uint64_t loadNumber(const unsigned char* at, const Step& step) {
  std::uint64_t raw;
  switch (step.bytes) {
    case 1:
      raw = at[0];
      break;
    case 2:
      raw = at[0] | std::uint32_t{at[1]} << 8;
      break;
    case 4:
      raw = decodeFixed32(at);
      break;
    default:
      return decodeFixed32(at) | std::uint64_t{decodeFixed32(at + 4)} << 32;
  }
  // A signed one widened with its sign, so that a count or condition sees the
  // same value read and written.
  const std::uint64_t sign = std::uint64_t{1} << (step.bits - 1);
  return step.isSigned ? (raw ^ sign) - sign : raw;
}

void storeNumber(char* out, std::uint64_t value, const Step& step) {
  if (step.bytes == 4) {
    encodeFixed32(reinterpret_cast<unsigned char*>(out), static_cast<std::uint32_t>(value));
    return;
  }
  for (std::uint32_t b = 0; b < step.bytes; ++b) {
    out[b] = static_cast<char>(value >> (8 * b));
  }
}

// A number's cell, without its comma.
char* writeCell(char* out, const Step& step, std::uint64_t value) {
  using Cell = Step::Cell;
  switch (step.cell) {
    case Cell::kI32:
      return writeSigned(out, static_cast<std::int32_t>(value));
    case Cell::kU64:
      return writeDecimal64(out, value);
    case Cell::kI64:
      return writeSigned64(out, static_cast<std::int64_t>(value));
    case Cell::kF32:
      return writeFloat(out, static_cast<std::uint32_t>(value));
    case Cell::kExactF32:
      return writeExactFloat(out, static_cast<std::uint32_t>(value));
    case Cell::kF64:
      return writeExactDouble(out, value);
    default:
      return writeDecimal(out, static_cast<std::uint32_t>(value));
  }
}

// Writes a text cell's inside from [text, last): every double quote twice,
// every LF as CR LF, up to the first of `stops` that is neither, which is
// returned (or `last`).
const char* appendQuotedText(ByteSink& sink, const char* text, const char* last,
                             const std::array<char, 4>& stops) {
  for (;;) {
    const char* const stop = findAnyOf(text, last, stops);
    sink.append(std::string_view(text, static_cast<std::size_t>(stop - text)));
    if (stop == last || (*stop != '"' && *stop != '\n')) {
      return stop;
    }
    sink.append(*stop == '"' ? std::string_view("\"\"") : std::string_view("\r\n"));
    text = stop + 1;
  }
}

// Walks a record's fields: checks them, and for kFormat writes their cells.
template <bool kFormat>
class Reader {
 public:
  Reader(const FormatDefinition& layout, const std::vector<Step>& steps,
         std::vector<std::uint64_t>& slots, const char* at, const char* end, ByteSink* sink)
      : layout_(layout),
        nodes_(layout.nodes),
        steps_(steps),
        slots_(slots),
        at_(reinterpret_cast<const unsigned char*>(at)),
        end_(reinterpret_cast<const unsigned char*>(end)),
        sink_(sink),
        framed_(layout.framed()) {}

  const char* read() {
    if (!walk(FormatDefinition::kFirstFieldNode, static_cast<std::uint32_t>(nodes_.size())) ||
        !align() || (framed_ && at_ != end_)) {
      return nullptr;
    }
    return reinterpret_cast<const char*>(at_);
  }
  std::uint32_t lostTexts = 0;

 private:
  std::size_t left() const { return static_cast<std::size_t>(end_ - at_); }

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

  void emptyCells(std::uint64_t count) {
    if constexpr (kFormat) {
      for (std::size_t left = count; left > 0;) {
        const std::size_t chunk = std::min<std::size_t>(left, ByteSink::kMaxReserve);
        char* const out = sink_->reserve(chunk);
        std::memset(out, ',', chunk);
        sink_->commit(out + chunk);
        left -= chunk;
      }
    }
  }

  // The run of numbers that starts at node `first`, least significant byte
  // first.
  bool numbers(std::uint32_t first) {
    const Step& run = steps_[first];
    if (!align() || left() < run.runBytes) {
      return false;
    }
    shown_ |= run.runCells != 0;
    if (!kFormat && run.plain) {
      at_ += run.runBytes;
      return true;
    }
    char* out = kFormat ? sink_->reserve(run.runCells * (kMaxNumberCell + 1)) : nullptr;
    if (kFormat && run.words) {
      for (std::uint32_t i = first; i < run.runEnd; ++i, at_ += 4) {
        const std::uint32_t word = decodeFixed32(at_);
        out = steps_[i].isSigned ? writeSigned(out, static_cast<std::int32_t>(word))
                                 : writeDecimal(out, word);
        *out++ = ',';
      }
      sink_->commit(out);
      return true;
    }
    for (std::uint32_t i = first; i < run.runEnd; ++i) {
      const Step& step = steps_[i];
      const std::uint64_t value = loadNumber(at_, step);
      at_ += step.bytes;
      // A float that is not a number or is infinite would not come back.
      if (step.real &&
          (step.bytes == 4 ? (~value & 0x7F800000) == 0 : (~value & 0x7FF0000000000000) == 0)) {
        return false;
      }
      const LayoutNode& node = nodes_[i];
      if (node.slot >= 0) {
        slots_[node.slot] = value;
      }
      if (kFormat && node.column >= 0) {
        out = writeCell(out, step, value);
        *out++ = ',';
      }
    }
    if constexpr (kFormat) {
      sink_->commit(out);
    }
    return true;
  }

  // A zero-terminated text.
  bool text() {
    const char* const first = reinterpret_cast<const char*>(at_);
    const char* const last = reinterpret_cast<const char*>(end_);
    const char* nul;
    if constexpr (kFormat) {
      sink_->append('"');
      nul = appendQuotedText(*sink_, first, last, {'\0', '"', '\n', '\0'});
      sink_->append(std::string_view("\","));
    } else {
      nul = findAnyOf(first, last, {'\0', '\x1A', '\0', '\x1A'});
      if (nul != last && *nul == '\x1A') {
        ++lostTexts;
        nul = findByte(nul, last, '\0');
      }
    }
    if (nul == last) {
      return false;
    }
    shown_ |= nul != first;
    at_ = reinterpret_cast<const unsigned char*>(nul) + 1;
    return true;
  }

  // A text whose length an earlier field gives.
  bool sizedText(const LayoutNode& node) {
    const std::uint64_t length = slots_[node.ref];
    const bool empty = node.kind == Kind::kSizedTextZ0 && length == 0;
    const bool zero = node.kind != Kind::kSizedText && !empty;
    // A textz0 of its zero alone would come back as no byte.
    if (length > left() || (zero && (length == 0 || at_[length - 1] != 0)) ||
        (node.kind == Kind::kSizedTextZ0 && length == 1)) {
      return false;
    }
    const std::string_view text(reinterpret_cast<const char*>(at_), length - (zero ? 1 : 0));
    if (std::memchr(text.data(), '\0', text.size()) != nullptr) {
      return false;
    }
    if constexpr (kFormat) {
      sink_->append('"');
      appendQuotedText(*sink_, text.data(), text.data() + text.size(), {'"', '\n', '"', '\n'});
      sink_->append(std::string_view("\","));
    } else {
      lostTexts += std::memchr(text.data(), '\x1A', text.size()) != nullptr ? 1 : 0;
    }
    shown_ |= !text.empty();
    at_ += length;
    return true;
  }

  bool hex(std::size_t size) {
    if (size > left()) {
      return false;
    }
    if constexpr (kFormat) {
      appendHex(*sink_, {reinterpret_cast<const char*>(at_), size});
      sink_->append(',');
    }
    shown_ |= size != 0;
    at_ += size;
    return true;
  }

  bool walk(std::uint32_t first, std::uint32_t last) {
    for (std::uint32_t i = first; i < last; ++i) {
      const LayoutNode& node = nodes_[i];
      switch (node.kind) {
        case Kind::kBits: {
          std::uint64_t value = 0;
          if (!bits(node.size, value)) {
            return false;
          }
          if (node.slot >= 0) {
            slots_[node.slot] = value;
          }
          if (node.column >= 0) {
            shown_ = true;
            if constexpr (kFormat) {
              char* const out = sink_->reserve(kMaxNumberCell + 1);
              char* const end = writeDecimal(out, static_cast<std::uint32_t>(value));
              *end = ',';
              sink_->commit(end + 1);
            }
          }
          break;
        }
        case Kind::kAlign:
          if (!align()) {
            return false;
          }
          break;
        case Kind::kText:
          if (!align() || !text()) {
            return false;
          }
          break;
        case Kind::kSizedText:
        case Kind::kSizedTextZ:
        case Kind::kSizedTextZ0:
          if (!align() || !sizedText(node)) {
            return false;
          }
          break;
        case Kind::kHex:
          if (!align() || !hex(node.size)) {
            return false;
          }
          break;
        case Kind::kHexRest:
          if (!align() || !hex(left())) {
            return false;
          }
          break;
        case Kind::kRepeat: {
          const std::uint64_t times = node.ref >= 0 ? slots_[node.ref] : node.size;
          if (node.ref >= 0 && times > node.most) {
            return false;
          }
          bool lastShown = false;
          for (std::uint64_t e = 0; e < times; ++e) {
            const bool outer = shown_;
            shown_ = false;
            if (!walk(i + 1, node.end)) {
              return false;
            }
            lastShown = shown_;
            shown_ = outer || shown_;
          }
          // Written back, a count is that of the elements up to the last one
          // whose cells are not all empty.
          if (node.ref >= 0 && times > 0 && !lastShown) {
            return false;
          }
          if (node.ref >= 0) {
            emptyCells((node.most - times) * node.columns);
          }
          i = node.end - 1;
          break;
        }
        case Kind::kIf:
          if ((slots_[node.ref] == node.value) == node.equal) {
            if (!walk(i + 1, node.end)) {
              return false;
            }
          } else if (!measuresAsEmpty(i)) {
            return false;
          } else {
            emptyCells(node.columns);
          }
          i = node.end - 1;
          break;
        default:
          if (!numbers(i)) {
            return false;
          }
          i = steps_[i].runEnd - 1;
      }
    }
    return true;
  }

  const FormatDefinition& layout_;
  const std::vector<LayoutNode>& nodes_;
  const std::vector<Step>& steps_;
  std::vector<std::uint64_t>& slots_;
  const unsigned char* at_;
  const unsigned char* const end_;
  ByteSink* const sink_;
  const bool framed_;
  unsigned bitByte_ = 0;
  unsigned bitsLeft_ = 0;
  bool shown_ = false;  // whether a cell since the element's start shows something
};

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

// Appends a cell's text.
void appendText(std::string& out, const CellText& cell) {
  if (cell.escaped) {
    TextRow::unescape(cell.bytes, out);
  } else {
    out.append(cell.bytes);
  }
}

class Writer {
 public:
  Writer(const FormatDefinition& layout, const std::vector<Step>& steps, const RowCells& cells,
         std::string& out, std::vector<std::uint64_t>& slots)
      : nodes_(layout.nodes), steps_(steps), cells_(cells), out_(out), slots_(slots) {}

  bool write() {
    const bool ok =
        walk(FormatDefinition::kFirstFieldNode, static_cast<std::uint32_t>(nodes_.size()), 0);
    align();
    return ok;
  }
  RowFault fault;

 private:
  CellText cell(std::uint32_t column) const { return cells_[column]; }
  bool empty(std::uint32_t column) const { return cell(column).bytes.empty(); }

  // A number's cell as its field holds it: an integer wraps modulo its
  // width, as it does when written.
  std::uint64_t number(const Step& step, std::uint32_t column) const {
    const std::string_view text = cell(column).bytes;
    std::uint64_t value;
    switch (step.cell) {
      case Step::Cell::kF32:
      case Step::Cell::kExactF32:
        return std::bit_cast<std::uint32_t>(textToFloat(text));
      case Step::Cell::kF64:
        return std::bit_cast<std::uint64_t>(textToDouble(text));
      case Step::Cell::kU64:
      case Step::Cell::kI64:
        return textToInteger64(text);
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
    const std::size_t at = out_.size();
    out_.resize(at + run.runBytes);
    char* out = out_.data() + at;
    if (run.words) {
      cells_.integers(base + static_cast<std::uint32_t>(nodes_[first].column), run.runEnd - first,
                      [&out](std::uint32_t value) {
                        encodeFixed32(reinterpret_cast<unsigned char*>(out), value);
                        out += 4;
                      });
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
    return true;
  }

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
          out_.push_back('\0');
          break;
        case Kind::kSizedTextZ0:
          appendText(out_, cell(column));
          if (!empty(column)) {
            out_.push_back('\0');
          }
          break;
        case Kind::kSizedText:
          appendText(out_, cell(column));
          break;
        case Kind::kHex:
        case Kind::kHexRest: {
          const std::size_t before = out_.size();
          out_ += bytesFromHex(cell(column).bytes);
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
          if ((slots_[node.ref] == node.value) == node.equal) {
            if (!walk(i + 1, node.end, base)) {
              return false;
            }
          } else {
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
  const RowCells& cells_;
  std::string& out_;
  std::vector<std::uint64_t>& slots_;
  unsigned bitByte_ = 0;
  unsigned bitsUsed_ = 0;
};

}  // namespace

RecordEngine::RecordEngine(const FormatDefinition& layout)
    : program_(program(layout)), slots_(layout.slotCount), steps_(program_.nodes.size()) {
  prepareSteps(program_, FormatDefinition::kFirstFieldNode,
               static_cast<std::uint32_t>(program_.nodes.size()), steps_);
}

const char* RecordEngine::check(const char* at, const char* end, std::uint32_t& lostTexts) {
  Reader<false> reader(program_, steps_, slots_, at, end, nullptr);
  const char* const fieldsEnd = reader.read();
  lostTexts = reader.lostTexts;
  return fieldsEnd;
}

const char* RecordEngine::format(const char* at, const char* end, ByteSink& sink) {
  return Reader<true>(program_, steps_, slots_, at, end, &sink).read();
}

bool RecordEngine::write(const RowCells& cells, std::string& out, RowFault& fault) {
  Writer writer(program_, steps_, cells, out, slots_);
  const bool ok = writer.write();
  fault = writer.fault;
  return ok;
}

}  // namespace cachesift
