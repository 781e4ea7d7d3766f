#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <type_traits>

#include "app/cache_document.h"
#include "cachefile/shaped_record.h"
#include "csv/decimal_digits.h"
#include "csv/text_to_float.h"
#include "io/byte_scan.h"
#include "io/file_io.h"

namespace cachesift {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Writes bytes that may hold line feeds: every LF becomes CR LF, the line end
// of the file, so the file's bytes are the same on every platform.
void appendText(ByteSink& sink, std::string_view text) {
  std::size_t lf;
  while ((lf = text.find('\n')) != std::string_view::npos) {
    sink.append(text.substr(0, lf));
    sink.append(kLineEnd);
    text.remove_prefix(lf + 1);
  }
  sink.append(text);
}

// Writes the text at `text`, which ends at a NUL before `last`, as the
// inside of a text cell: every double quote twice, every LF as CR LF. Gives
// the byte after the NUL. One scan finds the NUL of a text with neither.
const char* appendTextCell(ByteSink& sink, const char* text, const char* last) {
  static constexpr std::array<char, 4> kStops = {'\0', '"', '\n', '\0'};
  for (;;) {
    const char* const stop = findAnyOf(text, last, kStops);
    sink.append(std::string_view(text, static_cast<std::size_t>(stop - text)));
    if (*stop == '\0') {
      return stop + 1;
    }
    sink.append(*stop == '"' ? std::string_view("\"\"") : kLineEnd);
    text = stop + 1;
  }
}

// Writes `text` as a quoted text cell, with its comma.
void appendQuoted(ByteSink& sink, std::string_view text) {
  sink.append('"');
  for (std::size_t stop; (stop = text.find_first_of("\"\n")) != std::string_view::npos;) {
    sink.append(text.substr(0, stop));
    sink.append(text[stop] == '"' ? std::string_view("\"\"") : kLineEnd);
    text.remove_prefix(stop + 1);
  }
  sink.append(text);
  sink.append("\",");
}

constexpr std::uint64_t kZeroDigits = 0x3030303030303030;  // "00000000"

// "0000" to "9999", each in the bytes of a 32-bit word, the first digit in
// the lowest byte: numbers are written four digits at a time.
constexpr std::array<std::uint32_t, 10000> kFourDigits = [] {
  std::array<std::uint32_t, 10000> words{};
  for (std::uint32_t n = 0; n < 10000; ++n) {
    words[n] = (n / 1000 + 0x30) | (n / 100 % 10 + 0x30) << 8 | (n / 10 % 10 + 0x30) << 16 |
               (n % 10 + 0x30) << 24;
  }
  return words;
}();

// The eight digits of `value` (below 10^8) as text, leading zeros included,
// the first in the lowest byte.
std::uint64_t eightDigitText(std::uint32_t value) {
  return kFourDigits[value / 10000] | std::uint64_t{kFourDigits[value % 10000]} << 32;
}

// Writes `value` in decimal, without a branch per digit (the lengths of a
// record's numbers are hard to predict). Eight bytes are stored at a time,
// up to seven of them past the number.
char* writeDecimal(char* out, std::uint32_t value) {
  constexpr std::uint32_t kHundredMillion = 100'000'000;
  if (value >= kHundredMillion) {
    const std::uint32_t high = value / kHundredMillion;  // 1 to 42
    *out = static_cast<char>('0' + high / 10);
    out += high >= 10 ? 1 : 0;
    *out++ = static_cast<char>('0' + high % 10);
    storeEightBytes(out, eightDigitText(value % kHundredMillion));
    return out + 8;
  }
  const std::uint64_t text = eightDigitText(value);
  // Leading zeros are dropped, all but the last digit.
  const int zeros = std::countr_zero((text - kZeroDigits) | std::uint64_t{1} << 56) / 8;
  storeEightBytes(out, text >> (8 * zeros));
  return out + 8 - zeros;
}

char* writeSigned(char* out, std::int32_t value) {
  if (value < 0) {
    *out++ = '-';
  }
  // The magnitude of INT32_MIN is a word too: negate in unsigned arithmetic.
  return writeDecimal(
      out, value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value));
}

// Room for any cell but a text: a float takes up to a sign, 39 digits, the
// point and six decimals, or written exactly, a sign, "0." and 45 decimals.
constexpr std::size_t kMaxNumberCell = 48;
// Room for a record's number cells, their commas and the line end, and for
// the bytes that eight-byte stores leave past the last.
constexpr std::size_t kMaxRecordRow = kMaxFields * (kMaxNumberCell + 1) + kLineEnd.size() + 8;
static_assert(kMaxRecordRow <= ByteSink::kMaxReserve);

template <typename Integer>
void appendInteger(ByteSink& sink, Integer value) {
  char* const out = sink.reserve(kMaxNumberCell);
  if constexpr (std::is_signed_v<Integer>) {
    sink.commit(writeSigned(out, value));
  } else {
    sink.commit(writeDecimal(out, value));
  }
}

// As printf("%f") prints the float widened to double: fixed notation with six
// decimals, rounded to nearest with ties to even, whatever the locale.
char* writeFloat(char* out, std::uint32_t bits) {
  const double value = std::bit_cast<float>(bits);
  if (std::isnan(value) || std::isinf(value)) {
    const std::string_view text =
        std::isnan(value) ? (std::signbit(value) ? "-nan" : "nan") : (value < 0 ? "-inf" : "inf");
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
  }
  // The float is mantissa * 2^exponent exactly. Below 2^64 its millionths fit
  // in 64 bits and are rounded here, in integers; that is five times faster
  // than the general conversion, which prints the rest (up to 39 digits).
  const std::uint32_t exponentBits = (bits >> 23) & 0xFF;
  std::uint64_t mantissa = bits & 0x7FFFFF;
  int exponent = -149;  // a subnormal's
  if (exponentBits != 0) {
    mantissa |= 0x800000;
    exponent = static_cast<int>(exponentBits) - 150;
  }
  char* const end = out + kMaxNumberCell;
  if (exponent > 40) {
    return std::to_chars(out, end, value, std::chars_format::fixed, 6).ptr;
  }
  constexpr std::uint64_t kMillion = 1'000'000;
  std::uint64_t whole = 0;
  std::uint32_t millionths = 0;
  if (exponent >= 0) {
    whole = mantissa << exponent;
  } else if (exponent > -64) {
    const int shift = -exponent;
    const std::uint64_t scaled = mantissa * kMillion;  // below 2^44
    const std::uint64_t rest = scaled & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    std::uint64_t rounded = scaled >> shift;
    // Up above half, and at half to even; without a branch, as a float's
    // last bits are unpredictable.
    rounded += (rest > half || (rest == half && (rounded & 1) != 0)) ? 1 : 0;
    whole = rounded / kMillion;
    millionths = static_cast<std::uint32_t>(rounded % kMillion);
  }  // else: below half a millionth, it prints as zero
  *out = '-';
  out += bits >> 31;
  out = whole <= UINT32_MAX ? writeDecimal(out, static_cast<std::uint32_t>(whole))
                            : std::to_chars(out, end, whole).ptr;
  *out++ = '.';
  storeEightBytes(out, eightDigitText(millionths) >> 16);  // the last six
  return out + 6;
}

// Two hexadecimal digits a byte, in file order. This and writeExactFloat()
// are kept out of formatCsv(): only a build's own layouts use them, and
// inlined there they made the common cells slower.
[[gnu::noinline]] void appendHex(ByteSink& sink, std::string_view bytes) {
  static constexpr std::string_view kDigits = "0123456789ABCDEF";
  while (!bytes.empty()) {
    const std::size_t chunk = std::min(bytes.size(), ByteSink::kMaxReserve / 2);
    char* out = sink.reserve(2 * chunk);
    for (const char c : bytes.substr(0, chunk)) {
      const auto byte = static_cast<unsigned char>(c);
      *out++ = kDigits[byte >> 4];
      *out++ = kDigits[byte & 0xF];
    }
    sink.commit(out);
    bytes.remove_prefix(chunk);
  }
}

// For a build's own layouts, whose caches must come back byte for byte: as
// writeFloat() where its six decimals read back to the same float, else the
// shortest decimals that do.
[[gnu::noinline]] char* writeExactFloat(char* out, std::uint32_t bits) {
  char* const end = writeFloat(out, bits);
  if (std::bit_cast<std::uint32_t>(textToFloat({out, static_cast<std::size_t>(end - out)})) ==
      bits) {
    return end;
  }
  return std::to_chars(out, out + kMaxNumberCell, std::bit_cast<float>(bits),
                       std::chars_format::fixed)
      .ptr;
}

// A cell of the general walk, with its comma.
void appendFieldCell(ByteSink& sink, const FieldCell& cell) {
  using Kind = FieldCell::Kind;
  if (cell.kind == Kind::kText) {
    return appendQuoted(sink, cell.bytes);
  }
  if (cell.kind == Kind::kHex) {
    appendHex(sink, cell.bytes);
    return sink.append(',');
  }
  char* const out = sink.reserve(kMaxNumberCell + 1);
  char* end = out;
  switch (cell.kind) {
    case Kind::kUnsigned:
      end = cell.value <= UINT32_MAX ? writeDecimal(out, static_cast<std::uint32_t>(cell.value))
                                     : std::to_chars(out, out + kMaxNumberCell, cell.value).ptr;
      break;
    case Kind::kSigned:
      end = std::to_chars(out, out + kMaxNumberCell, static_cast<std::int64_t>(cell.value)).ptr;
      break;
    case Kind::kFloat:
      end = writeExactFloat(out, static_cast<std::uint32_t>(cell.value));
      break;
    case Kind::kDouble:  // the shortest decimals that read back to it
      end = std::to_chars(out, out + kMaxNumberCell, std::bit_cast<double>(cell.value)).ptr;
      break;
    default:
      break;
  }
  *end++ = ',';
  sink.commit(end);
}

// `width` characters "0" or "1", the most significant shown bit first.
char* writeBinaryDigits(char* out, std::uint32_t value, int width) {
  for (int bit = width - 1; bit >= 0; --bit) {
    *out++ = ((value >> bit) & 1u) != 0 ? '1' : '0';
  }
  return out;
}

// The four bytes of a header word up to its first zero byte.
std::string_view headerText(const std::array<char, 4>& chars) {
  const void* nul = std::memchr(chars.data(), 0, chars.size());
  const std::size_t length =
      nul == nullptr ? chars.size()
                     : static_cast<std::size_t>(static_cast<const char*>(nul) - chars.data());
  return {chars.data(), length};
}

enum class CellFormat { kUnsigned, kSigned, kFloat, kText, kBits16, kBits32 };

// How a field's cells are written: the first flag, in this order, that the
// field holds decides. The record id and entry size are always read as
// words, never as text.
CellFormat cellFormat(FieldType type, std::uint32_t position) {
  type &= 0xFF;
  if (type & FT_UNSIGNED)
    return CellFormat::kUnsigned;
  if (type & FT_SIGNED)
    return CellFormat::kSigned;
  if (type & FT_FLOAT)
    return CellFormat::kFloat;
  if ((type & FT_STRING) && position >= 2)
    return CellFormat::kText;
  if (type & FT_BITS16)
    return CellFormat::kBits16;
  if (type & FT_BITS32)
    return CellFormat::kBits32;
  return CellFormat::kUnsigned;
}

// A cell of any format but text.
char* writeNumberCell(char* out, CellFormat format, std::uint32_t value) {
  switch (format) {
    case CellFormat::kUnsigned:
    case CellFormat::kText:
      break;
    case CellFormat::kSigned:
      return writeSigned(out, static_cast<std::int32_t>(value));
    case CellFormat::kFloat:
      return writeFloat(out, value);
    case CellFormat::kBits16:
      return writeBinaryDigits(out, value, 16);
    case CellFormat::kBits32:
      return writeBinaryDigits(out, value, 32);
  }
  return writeDecimal(out, value);
}

}  // namespace

bool CacheDocument::formatCsv(ByteSink& sink) const {
  const std::array<char, 4> signatureChars = fourChars(header.signature);
  const std::array<char, 4> tagChars = fourChars(header.headerTag);
  appendText(sink, headerText(signatureChars));
  sink.append(',');
  appendInteger(sink, static_cast<std::int32_t>(header.headerWord1));
  sink.append(',');
  appendText(sink, headerText(tagChars));
  sink.append(',');
  appendInteger(sink, static_cast<std::int32_t>(header.recordBytes));
  sink.append(',');
  appendInteger(sink, static_cast<std::int32_t>(header.headerWord4));
  sink.append(',');
  if (definition->headerSize() == kLongHeaderSize) {
    appendInteger(sink, static_cast<std::int32_t>(header.headerWord5));
    sink.append(',');
  }
  if (layoutByFit) {
    sink.append(kLayoutMark);
    appendInteger(sink, definition->clientBuild);
    sink.append(',');
  }
  sink.append(kLineEnd);

  const std::uint32_t fieldCount = definition->fieldCount;
  for (std::uint32_t k = 0; k < fieldCount; ++k) {
    if (definition->fieldNames[k].empty()) {
      sink.append("Column ");
      appendInteger(sink, k + 1);
    } else {
      sink.append(definition->fieldNames[k]);
    }
    sink.append(',');
  }
  sink.append(kLineEnd);

  if (!definition->flat || !recordsAsBytes.empty()) {
    return formatCsvRecords(sink);
  }

  // Most cells are words printed as numbers: they are made at once, without
  // a second choice by how the field is stored; a negative signed number
  // without a branch on its sign.
  // The first four are the cells of every layout. A build's own layouts
  // frame each record by its entry size, which tells where a last field of
  // hexadecimal bytes ends.
  enum class Cell : std::uint8_t {
    kWordNumber,
    kWordFloat,
    kText,
    kOther,
    kExactFloat,
    kEntrySize,
    kHex
  };
  std::array<Cell, kMaxFields> cells;
  std::array<std::uint32_t, kMaxFields> signBits;
  std::array<FieldStorage, kMaxFields> storage;
  std::array<CellFormat, kMaxFields> formats;
  for (std::uint32_t k = 0; k < fieldCount; ++k) {
    storage[k] = fieldStorage(definition->fieldTypes[k], k);
    formats[k] = cellFormat(definition->fieldTypes[k], k);
    const bool signedNumber = formats[k] == CellFormat::kSigned;
    signBits[k] = signedNumber ? 0x80000000 : 0;
    if (storage[k] == FieldStorage::kHex) {
      cells[k] = Cell::kHex;
    } else if (k == 1 && definition->framed()) {
      cells[k] = Cell::kEntrySize;
    } else if (storage[k] == FieldStorage::kWord &&
               (formats[k] == CellFormat::kUnsigned || signedNumber)) {
      cells[k] = Cell::kWordNumber;
    } else if (storage[k] == FieldStorage::kWord && formats[k] == CellFormat::kFloat) {
      cells[k] = definition->framed() ? Cell::kExactFloat : Cell::kWordFloat;
    } else {
      cells[k] = formats[k] == CellFormat::kText ? Cell::kText : Cell::kOther;
    }
  }
  RecordReader reader(body.data());
  const char* recordEnd = nullptr;
  for (std::uint32_t r = 0; r < recordCount; ++r) {
    char* out = sink.reserve(kMaxRecordRow);
    for (std::uint32_t k = 0; k < fieldCount; ++k) {
      switch (cells[k]) {
        case Cell::kWordNumber: {
          const std::uint32_t value = reader.nextWord();
          const bool negative = (value & signBits[k]) != 0;
          *out = '-';
          out = writeDecimal(out + (negative ? 1 : 0), negative ? 0u - value : value);
          break;
        }
        case Cell::kWordFloat:
          out = writeFloat(out, reader.nextWord());
          break;
        case Cell::kExactFloat:
          out = writeExactFloat(out, reader.nextWord());
          break;
        case Cell::kText:
          sink.commit(out);
          sink.append('"');
          reader.writeNextText([&](const char* text) {
            return appendTextCell(sink, text, body.data() + body.size());
          });
          sink.append("\",");
          out = sink.reserve(kMaxRecordRow);
          continue;
        case Cell::kEntrySize: {
          const std::uint32_t entrySize = reader.nextWord();
          recordEnd = reader.position() + (entrySize - definition->sizeBias);
          out = writeDecimal(out, entrySize);
          break;
        }
        case Cell::kHex:
          sink.commit(out);
          appendHex(sink, reader.nextBytes(
                              k == 0 ? definition->keyBytes
                                     : static_cast<std::size_t>(recordEnd - reader.position())));
          sink.append(',');
          out = sink.reserve(kMaxRecordRow);
          continue;
        case Cell::kOther:
          out = writeNumberCell(out, formats[k], reader.next(storage[k]));
          break;
      }
      *out++ = ',';
    }
    std::memcpy(out, kLineEnd.data(), kLineEnd.size());
    sink.commit(out + kLineEnd.size());
    if (!sink.ok()) {
      return false;
    }
  }
  return true;
}

// The records of any layout: each as its layout reads it, or, where it does
// not, as its key, its entry size followed by " bytes" and its bytes quoted.
bool CacheDocument::formatCsvRecords(ByteSink& sink) const {
  const auto* bytes = reinterpret_cast<const unsigned char*>(body.data());
  const std::size_t keyBytes = definition->keyBytes;
  std::size_t offset = 0;
  std::size_t nextAsBytes = 0;
  std::vector<FieldCell> cells;
  std::uint32_t lostTexts = 0;
  ShapedRecords walk(*definition);
  for (std::uint32_t r = 0; r < recordCount; ++r) {
    const std::string_view key = body.substr(offset, keyBytes);
    const std::uint32_t entrySize = decodeFixed32(bytes + offset + keyBytes);
    const std::string_view record =
        body.substr(offset + keyBytes + 4, entrySize - definition->sizeBias);
    if (keyBytes == 4) {
      appendInteger(sink, decodeFixed32(bytes + offset));
    } else {
      appendHex(sink, key);
    }
    offset += keyBytes + 4 + record.size();
    sink.append(',');
    appendInteger(sink, entrySize);
    const bool asBytes = nextAsBytes < recordsAsBytes.size() && recordsAsBytes[nextAsBytes] == r;
    nextAsBytes += asBytes ? 1 : 0;
    // A flat layout's record that the fast check took may still hold what the
    // general walk does not read back, a float that is not a number: it too
    // keeps its bytes here.
    if (asBytes || !walk.read(record, cells, lostTexts)) {
      sink.append(kAsBytesMark);
      sink.append(",\"");
      appendHex(sink, record);
      sink.append("\",");
    } else {
      sink.append(',');
      for (const FieldCell& cell : cells) {
        appendFieldCell(sink, cell);
      }
    }
    sink.append(kLineEnd);
    if (!sink.ok()) {
      return false;
    }
  }
  return true;
}

bool CacheDocument::writeCsv(const std::string& path) const {
  return writeFileAtomically(path + ".csv", [this](ByteSink& sink) { return formatCsv(sink); });
}

}  // namespace cachesift
