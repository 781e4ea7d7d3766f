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

void appendWord(ByteSink& sink, std::uint32_t word) {
  char* bytes = sink.reserve(4);
  encodeFixed32(reinterpret_cast<unsigned char*>(bytes), word);
  sink.commit(bytes + 4);
}

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

// The next cell of a row as its field's bytes. A missing cell counts as an
// empty one: 0, a zero byte or an empty text.
void appendField(ByteSink& sink, FieldEncoding encoding, TextRow::Cursor& cells) {
  switch (encoding) {
    case FieldEncoding::kByte:
      sink.append(static_cast<char>(cells.done() ? 0 : cells.nextAsInteger() & 0xFF));
      return;
    case FieldEncoding::kWord:
      appendWord(sink, cells.done() ? 0 : cells.nextAsInteger());
      return;
    default:
      break;
  }
  const std::string_view cell = cells.done() ? std::string_view() : cells.next();
  switch (encoding) {
    case FieldEncoding::kFloat:
      appendWord(sink, std::bit_cast<std::uint32_t>(textToFloat(cell)));
      break;
    case FieldEncoding::kText:
      sink.append(cell);
      sink.append('\0');
      break;
    default:
      appendWord(sink, binaryTextToInteger(cell));
      break;
  }
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
    TextRow::Cursor cells(row);
    for (std::uint32_t k = 0; k < fieldCount; ++k) {
      appendField(sink, encodings[k], cells);
    }
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
