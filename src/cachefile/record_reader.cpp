// Cache to CSV: the record engine's walk of a record's fields, which checks
// whether the record fits and, formatting, writes its cells.
#include <algorithm>
#include <array>
#include <cstring>

#include "cachefile/coding.h"
#include "cachefile/number_steps.h"
#include "cachefile/record_engine.h"
#include "catalogue/field_kinds.h"
#include "csv/number_text.h"
#include "csv/text_marks.h"
#include "io/byte_scan.h"

namespace cachesift {
namespace {

using Kind = FieldKind;

// Walks a record's fields: checks them, and for kFormat writes their cells.
template <bool kFormat>
class Reader {
 public:
  Reader(const FormatDefinition& layout, const std::vector<Step>& steps,
         std::vector<std::uint64_t>& slots, const char* at, const char* end, ByteSink* sink,
         FitMiss* miss = nullptr)
      : layout_(layout),
        nodes_(layout.nodes),
        steps_(steps),
        slots_(slots),
        at_(reinterpret_cast<const unsigned char*>(at)),
        end_(reinterpret_cast<const unsigned char*>(end)),
        sink_(sink),
        framed_(layout.framed()),
        start_(at_),
        miss_(miss) {}

  const char* read() {
    const auto last = static_cast<std::uint32_t>(nodes_.size());
    if (!walk(FormatDefinition::kFirstFieldNode, last) || (!align() && !fail(last - 1, at_))) {
      return nullptr;
    }
    if (framed_ && at_ != end_) {
      failAs(FitMiss::What::kBytesLeft, last, at_, static_cast<std::uint64_t>(end_ - at_));
      return nullptr;
    }
    return reinterpret_cast<const char*>(at_);
  }
  std::uint32_t lostTexts = 0;

 private:
  std::size_t left() const { return static_cast<std::size_t>(end_ - at_); }

  // Keeps, where asked, where the record first stopped fitting: at `node`,
  // whose field starts at `at`, for the reason last set. Gives false.
  bool fail(std::uint32_t node, const unsigned char* at) {
    if (miss_ != nullptr && !missed_) {
      *miss_ = {what_, node, static_cast<std::uint64_t>(at - start_), value_};
      missed_ = true;
    }
    return false;
  }
  bool failAs(FitMiss::What what, std::uint32_t node, const unsigned char* at,
              std::uint64_t value = 0) {
    what_ = what;
    value_ = value;
    return fail(node, at);
  }

  // Where fields of fixed sizes from node `first`, which start at `at`, have
  // just `bytes` left: the one that runs past the end, with its own start.
  bool cutOff(std::uint32_t first, const unsigned char* at, std::size_t bytes) {
    std::uint32_t i = first;
    for (; steps_[i].bytes <= bytes; bytes -= steps_[i++].bytes) {
      at += steps_[i].bytes;
    }
    return failAs(FitMiss::What::kPastEnd, i, at);
  }

  // The bits of a partly read byte that no field took must be zero: written
  // back they are.
  bool align() {
    const bool clean = (bitByte_ & ((1u << bitsLeft_) - 1)) == 0;
    bitsLeft_ = 0;
    what_ = FitMiss::What::kUnusedBits;
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
    if (!align()) {
      return fail(first, at_);
    }
    if (left() < run.runBytes) {
      return cutOff(first, at_, left());
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
      if (step.real && !finite(step, value)) {
        return failAs(FitMiss::What::kNotANumber, i, at_ - step.bytes);
      }
      const LayoutNode& node = nodes_[i];
      if (node.slot >= 0) {
        slots_[node.slot] = value;
      }
      if (kFormat && node.column >= 0) {
        // A 64-bit number is quoted: a spreadsheet keeps it as text, where
        // as a number it would keep 15 digits.
        const bool quoted = step.bytes == 8 && step.cell != Step::Cell::kF64;
        *out = '"';
        out = writeCell(out + (quoted ? 1 : 0), step, value);
        *out = '"';
        out += quoted ? 1 : 0;
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
      nul = framed_ ? appendQuotedText<5>(*sink_, first, last, {'\0', '"', '\n', '\r', '\xE2'})
                    : appendQuotedText<3>(*sink_, first, last, {'\0', '"', '\n'});
      sink_->append(std::string_view("\","));
    } else {
      nul = findAnyOf<2>(first, last, {'\0', '\x1A'});
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
      const char* const end = text.data() + text.size();
      if (framed_) {
        appendQuotedText<4>(*sink_, text.data(), end, {'"', '\n', '\r', '\xE2'});
      } else {
        appendQuotedText<2>(*sink_, text.data(), end, {'"', '\n'});
      }
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

  // The elements of a list: each field's values in a cell of its own, in
  // element order, separated by spaces.
  bool list(std::uint32_t at) {
    const LayoutNode& node = nodes_[at];
    const std::uint64_t times = slots_[node.ref];
    const std::uint32_t size = steps_[at].runBytes;
    if (!align()) {
      return fail(at, at_);
    }
    if (times > node.most) {
      return failAs(FitMiss::What::kPastMost, at, at_, times);
    }
    if (left() < times * size) {
      // In the first element that the record cuts off.
      const std::size_t rest = left() % size;
      return cutOff(at + 1, at_ + left() - rest, rest);
    }
    const unsigned char* const first = at_;
    at_ += times * size;
    shown_ |= times != 0;
    std::uint32_t offset = 0;
    for (std::uint32_t i = at + 1; i < node.end; offset += steps_[i++].bytes) {
      const Step& step = steps_[i];
      if (!kFormat && !step.real) {
        continue;
      }
      if (kFormat && times != 0) {
        sink_->append('"');
      }
      for (std::uint64_t e = 0; e < times; ++e) {
        const std::uint64_t value = loadNumber(first + e * size + offset, step);
        if (step.real && !finite(step, value)) {
          return failAs(FitMiss::What::kNotANumber, i, first + e * size + offset);
        }
        if constexpr (kFormat) {
          char* out = sink_->reserve(kMaxNumberCell + 1);
          *out = ' ';
          sink_->commit(writeCell(out + (e != 0 ? 1 : 0), step, value));
        }
      }
      if constexpr (kFormat) {
        sink_->append(times != 0 ? std::string_view("\",") : std::string_view(","));
      }
    }
    return true;
  }

  bool walk(std::uint32_t first, std::uint32_t last) {
    using What = FitMiss::What;
    for (std::uint32_t i = first; i < last; ++i) {
      const LayoutNode& node = nodes_[i];
      const unsigned char* const start = at_;
      switch (node.kind) {
        case Kind::kBits: {
          std::uint64_t value = 0;
          if (!bits(node.size, value)) {
            return failAs(What::kPastEnd, i, start);
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
            return fail(i, start);
          }
          break;
        case Kind::kText:
          if (!align()) {
            return fail(i, start);
          }
          if (!text()) {
            return failAs(What::kPastEnd, i, start);
          }
          break;
        case Kind::kSizedText:
        case Kind::kSizedTextZ:
        case Kind::kSizedTextZ0:
          if (!align()) {
            return fail(i, start);
          }
          if (!sizedText(node)) {
            return failAs(slots_[node.ref] > left() ? What::kPastEnd : What::kNotBack, i, start,
                          slots_[node.ref]);
          }
          break;
        case Kind::kHex:
        case Kind::kHexRest:
          if (!align()) {
            return fail(i, start);
          }
          if (!hex(node.kind == Kind::kHex ? node.size : left())) {
            return failAs(What::kPastEnd, i, start);
          }
          break;
        case Kind::kRepeat: {
          if (node.list) {
            if (!list(i)) {
              return false;
            }
            i = node.end - 1;
            break;
          }
          const std::uint64_t times = node.ref >= 0 ? slots_[node.ref] : node.size;
          if (node.ref >= 0 && times > node.most) {
            return failAs(What::kPastMost, i, start, times);
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
            return failAs(What::kLastEmpty, i, start, times);
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
            return failAs(What::kNotBack, i, start);
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
  bool shown_ = false;                // whether a cell since the element's start shows something
  const unsigned char* const start_;  // of the record's fields
  FitMiss* const miss_;
  bool missed_ = false;
  FitMiss::What what_ = FitMiss::What::kNotBack;
  std::uint64_t value_ = 0;
};

}  // namespace

const char* RecordEngine::check(const char* at, const char* end, std::uint32_t& lostTexts) {
  Reader<false> reader(prepared_.program, prepared_.steps, slots_, at, end, nullptr);
  const char* const fieldsEnd = reader.read();
  lostTexts = reader.lostTexts;
  return fieldsEnd;
}

const char* RecordEngine::format(const char* at, const char* end, ByteSink& sink) {
  return Reader<true>(prepared_.program, prepared_.steps, slots_, at, end, &sink).read();
}

std::optional<FitMiss> RecordEngine::miss(const char* at, const char* end) {
  FitMiss miss;
  if (Reader<false>(prepared_.program, prepared_.steps, slots_, at, end, nullptr, &miss).read() !=
      nullptr) {
    return std::nullopt;
  }
  // The layout's node for the program's; past the last, the record's end.
  miss.node = miss.node < prepared_.origin.size() ? prepared_.origin[miss.node] : kPastLastField;
  return miss;
}

}  // namespace cachesift
