#include "cachefile/cache_writer.h"

#include <array>
#include <bit>

#include "app/cache_document.h"
#include "cachefile/text_to_float.h"
#include "csv/text_to_integer.h"
#include "io/file_io.h"

namespace cachesift {
namespace {

constexpr std::array<char, 8> kEndMarker{};  // a record id of 0 and an entry size of 0

enum class FieldEncoding { kByte, kWord, kFloat, kText, kBinaryDigits };

// How a field's cells are written: the first flag, in this order, that the
// field holds decides.
FieldEncoding fieldEncoding(FieldType type) {
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

}  // namespace

std::string cacheOutputPath(std::string_view csvPath, std::string_view fileName) {
  const std::size_t separator = csvPath.find_last_of("\\/");
  std::string path(separator == std::string_view::npos ? std::string_view()
                                                       : csvPath.substr(0, separator + 1));
  path += fileName;
  return path;
}

bool CacheDocument::formatCache(ByteSink& sink) const {
  const std::array<unsigned char, kHeaderSize> headerBytes = header.encode();
  sink.append(std::string_view(reinterpret_cast<const char*>(headerBytes.data()), kHeaderSize));
  const std::uint32_t fieldCount = definition->fieldCount;
  std::array<FieldEncoding, kMaxFields> encodings;
  for (std::uint32_t k = 0; k < fieldCount; ++k) {
    encodings[k] = fieldEncoding(definition->fieldTypes[k]);
  }
  for (std::size_t r = 2; r < rows.size(); ++r) {
    const TextRow& row = rows[r];
    if (row.cellCount() == 0) {
      continue;  // an empty line, as editors leave at the end: no record
    }
    // A missing cell counts as an empty one: 0, a zero byte or an empty text.
    TextRow::Cursor cells(row);
    char* out = sink.reserve(kMaxRecordWords);
    for (std::uint32_t k = 0; k < fieldCount; ++k) {
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
        default:
          out = writeWord(out, binaryTextToInteger(cell));
          break;
      }
    }
    sink.commit(out);
    if (!sink.ok()) {
      return false;
    }
  }
  sink.append(std::string_view(kEndMarker.data(), kEndMarker.size()));
  return true;
}

bool CacheDocument::writeCache(const std::string& path) const {
  return writeFileAtomically(cacheOutputPath(path, definition->fileName),
                             [this](ByteSink& sink) { return formatCache(sink); });
}

}  // namespace cachesift
