#include "cachefile/cache_writer.h"

#include <array>
#include <bit>

#include "app/cache_document.h"
#include "csv/text_to_float.h"
#include "csv/text_to_integer.h"
#include "io/file_io.h"

namespace cachesift {
namespace {

enum class FieldEncoding { kByte, kWord, kFloat, kText, kBinaryDigits, kHex };

// How a field's cells are written: the first flag, in this order, that the
// field holds decides.
FieldEncoding fieldEncoding(FieldType type) {
  if (type & FT_HEX)
    return FieldEncoding::kHex;
  type &= 0xFF;
  if (type & FT_BYTE)
    return FieldEncoding::kByte;
  if (type & (FT_UNSIGNED | FT_SIGNED))
    return FieldEncoding::kWord;
  if (type & FT_FLOAT)
    return FieldEncoding::kFloat;
  if (type & FT_STRING)
    return FieldEncoding::kText;
  if (type & (FT_BITS16 | FT_BITS32))
    return FieldEncoding::kBinaryDigits;
  return FieldEncoding::kWord;
}

// Room for a record's fields but its texts.
constexpr std::size_t kMaxRecordWords = kMaxFields * 4;
static_assert(kMaxRecordWords <= ByteSink::kMaxReserve);

char* writeWord(char* out, std::uint32_t word) {
  encodeFixed32(reinterpret_cast<unsigned char*>(out), word);
  return out + 4;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

// The bytes that hexadecimal text stands for, two digits a byte, up to the
// first pair that is not two digits.
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

using FieldEncodings = std::array<FieldEncoding, kMaxFields>;

// Writes fields [first, last) of a record from the next cells of its row. A
// missing cell counts as an empty one: 0, a zero byte, an empty text or no
// bytes.
void writeFields(ByteSink& sink, TextRow::Cursor& rowCells, const FieldEncodings& encodings,
                 std::uint32_t first, std::uint32_t last) {
  TextRow::Cursor cells = rowCells;  // a copy of its own stays in registers
  char* out = sink.reserve(kMaxRecordWords);
  for (std::uint32_t k = first; k < last; ++k) {
    switch (encodings[k]) {
      case FieldEncoding::kByte:
        *out++ = static_cast<char>(cells.done() ? 0 : cells.nextAsInteger() & 0xFF);
        continue;
      case FieldEncoding::kWord:
        out = writeWord(out, cells.done() ? 0 : cells.nextAsInteger());
        continue;
      default:
        break;
    }
    const std::string_view cell = cells.done() ? std::string_view() : cells.next();
    switch (encodings[k]) {
      case FieldEncoding::kFloat:
        out = writeWord(out, std::bit_cast<std::uint32_t>(textToFloat(cell)));
        break;
      case FieldEncoding::kText:
        sink.commit(out);
        if (cells.escaped()) {
          TextRow::unescape(cell, sink);
        } else {
          sink.append(cell);
        }
        sink.append('\0');
        out = sink.reserve(kMaxRecordWords);
        break;
      case FieldEncoding::kHex:
        sink.commit(out);
        sink.append(bytesFromHex(cell));
        out = sink.reserve(kMaxRecordWords);
        break;
      default:
        out = writeWord(out, binaryTextToInteger(cell));
        break;
    }
  }
  sink.commit(out);
  rowCells = cells;
}

}  // namespace

std::string cacheOutputPath(std::string_view csvPath, std::string_view fileName) {
  const std::size_t separator = csvPath.find_last_of("\\/");
  std::string path(separator == std::string_view::npos ? std::string_view()
                                                       : csvPath.substr(0, separator + 1));
  path += fileName;
  return path;
}

bool CacheDocument::formatCache(ByteSink& sink) const {
  const auto headerBytes = header.encode();
  sink.append(std::string_view(reinterpret_cast<const char*>(headerBytes.data()),
                               definition->headerSize()));
  const std::uint32_t fieldCount = definition->fieldCount;
  FieldEncodings encodings;
  for (std::uint32_t k = 0; k < fieldCount; ++k) {
    encodings[k] = fieldEncoding(definition->fieldTypes[k]);
  }
  // A build's own layouts: each record's entry size is the length of its
  // fields as written, so that an edited text gives a record the client
  // accepts. The fields are gathered first to be measured.
  const bool framed = definition->framed();
  StringSink fields;
  for (std::size_t r = 2; r < rows.size(); ++r) {
    const TextRow& row = rows[r];
    if (row.cellCount() == 0) {
      continue;  // an empty line, as editors leave at the end: no record
    }
    TextRow::Cursor cells(row);
    if (!framed) {
      writeFields(sink, cells, encodings, 0, fieldCount);
    } else if (fieldCount >= 2) {
      if (encodings[0] == FieldEncoding::kHex) {
        std::string key = bytesFromHex(cells.done() ? std::string_view() : cells.next());
        key.resize(definition->keyBytes);
        sink.append(key);
      } else {
        writeFields(sink, cells, encodings, 0, 1);
      }
      if (!cells.done()) {
        cells.next();  // the entry size as shown
      }
      fields.clear();
      writeFields(fields, cells, encodings, 2, fieldCount);
      const std::string& bytes = fields.bytes();
      char* const out = sink.reserve(4);
      sink.commit(writeWord(out, static_cast<std::uint32_t>(bytes.size())));
      sink.append(bytes);
    }
    if (!sink.ok()) {
      return false;
    }
  }
  // A key of zero and an entry size of zero.
  sink.append(std::string(framed ? definition->keyBytes + 4 : 8, '\0'));
  return true;
}

bool CacheDocument::writeCache(const std::string& path) const {
  return writeFileAtomically(cacheOutputPath(path, definition->fileName),
                             [this](ByteSink& sink) { return formatCache(sink); });
}

}  // namespace cachesift
