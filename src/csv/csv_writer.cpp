#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "app/cache_document.h"
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

template <typename Integer>
void appendInteger(ByteSink& sink, Integer value) {
  if (value >= 0 && value < 10) {  // most fields of a record are small or unused
    sink.append(static_cast<char>('0' + value));
    return;
  }
  char* digits = sink.reserve();
  sink.commit(std::to_chars(digits, digits + ByteSink::kMaxReserve, value).ptr);
}

// As printf("%f") prints the float widened to double: fixed notation with six
// decimals, rounded to nearest with ties to even, whatever the locale.
void appendFloat(ByteSink& sink, std::uint32_t bits) {
  const double value = std::bit_cast<float>(bits);
  if (std::isnan(value)) {
    sink.append(std::signbit(value) ? "-nan" : "nan");
    return;
  }
  if (std::isinf(value)) {
    sink.append(value < 0 ? "-inf" : "inf");
    return;
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
  static_assert(ByteSink::kMaxReserve >= 48, "room for the sign, 39 digits, point and 6 decimals");
  char* const text = sink.reserve();
  char* const end = text + ByteSink::kMaxReserve;
  if (exponent > 40) {
    sink.commit(std::to_chars(text, end, value, std::chars_format::fixed, 6).ptr);
    return;
  }
  constexpr std::uint64_t kMillion = 1'000'000;
  std::uint64_t whole = 0;
  std::uint64_t millionths = 0;
  if (exponent >= 0) {
    whole = mantissa << exponent;
  } else if (exponent > -64) {
    const int shift = -exponent;
    const std::uint64_t scaled = mantissa * kMillion;  // below 2^44
    const std::uint64_t rest = scaled & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    std::uint64_t rounded = scaled >> shift;
    if (rest > half || (rest == half && (rounded & 1) != 0)) {
      ++rounded;
    }
    whole = rounded / kMillion;
    millionths = rounded % kMillion;
  }  // else: below half a millionth, it prints as zero
  char* out = text;
  if ((bits >> 31) != 0) {
    *out++ = '-';
  }
  out = std::to_chars(out, end, whole).ptr;
  *out++ = '.';
  for (int digit = 5; digit >= 0; --digit) {
    out[digit] = static_cast<char>('0' + millionths % 10);
    millionths /= 10;
  }
  sink.commit(out + 6);
}

// `width` characters "0" or "1", the most significant shown bit first.
void appendBinaryDigits(ByteSink& sink, std::uint32_t value, int width) {
  for (int bit = width - 1; bit >= 0; --bit) {
    sink.append(((value >> bit) & 1u) != 0 ? '1' : '0');
  }
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

  std::array<FieldStorage, kMaxFields> storage;
  std::array<CellFormat, kMaxFields> formats;
  for (std::uint32_t k = 0; k < fieldCount; ++k) {
    storage[k] = fieldStorage(definition->fieldTypes[k] & 0xFF, k);
    formats[k] = cellFormat(definition->fieldTypes[k], k);
  }
  RecordReader reader(body.get());
  for (std::uint32_t r = 0; r < recordCount; ++r) {
    for (std::uint32_t k = 0; k < fieldCount; ++k) {
      const std::uint32_t slot = reader.next(storage[k]);
      switch (formats[k]) {
        case CellFormat::kUnsigned:
          appendInteger(sink, slot);
          break;
        case CellFormat::kSigned:
          appendInteger(sink, static_cast<std::int32_t>(slot));
          break;
        case CellFormat::kFloat:
          appendFloat(sink, slot);
          break;
        case CellFormat::kText:
          sink.append('"');
          appendText(sink, std::string_view(body.get() + slot));
          sink.append('"');
          break;
        case CellFormat::kBits16:
          appendBinaryDigits(sink, slot, 16);
          break;
        case CellFormat::kBits32:
          appendBinaryDigits(sink, slot, 32);
          break;
      }
      sink.append(',');
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
