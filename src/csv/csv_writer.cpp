#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "app/cache_document.h"
#include "app/file_io.h"

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
// decimals, correctly rounded, whatever the locale. The largest float takes
// 39 digits before the point.
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
  static_assert(ByteSink::kMaxReserve >= 48, "room for the sign, 39 digits, point and 6 decimals");
  char* text = sink.reserve();
  sink.commit(
      std::to_chars(text, text + ByteSink::kMaxReserve, value, std::chars_format::fixed, 6).ptr);
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

  for (const DecodedRecord& record : records) {
    for (std::uint32_t k = 0; k < fieldCount; ++k) {
      FieldType type = definition->fieldTypes[k] & 0xFF;
      if (k < 2) {
        type &= ~FT_STRING;  // the record id and entry size are always read as words
      }
      const std::uint32_t slot = record.slots[k];
      if (type & FT_UNSIGNED) {
        appendInteger(sink, slot);
      } else if (type & FT_SIGNED) {
        appendInteger(sink, static_cast<std::int32_t>(slot));
      } else if (type & FT_FLOAT) {
        appendFloat(sink, slot);
      } else if (type & FT_STRING) {
        sink.append('"');
        appendText(sink, std::string_view(body.get() + slot));
        sink.append('"');
      } else if (type & FT_BITS16) {
        appendBinaryDigits(sink, slot, 16);
      } else if (type & FT_BITS32) {
        appendBinaryDigits(sink, slot, 32);
      } else {
        appendInteger(sink, slot);
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
