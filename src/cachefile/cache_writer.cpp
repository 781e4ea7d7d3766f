#include "cachefile/cache_writer.h"

#include <array>
#include <bit>

#include "app/cache_document.h"
#include "app/file_io.h"
#include "cachefile/text_to_float.h"
#include "csv/text_to_integer.h"

namespace cachesift {
namespace {

constexpr std::array<char, 8> kEndMarker{};  // a record id of 0 and an entry size of 0

void appendWord(ByteSink& sink, std::uint32_t word) {
  char* bytes = sink.reserve();
  encodeFixed32(reinterpret_cast<unsigned char*>(bytes), word);
  sink.commit(bytes + 4);
}

// One cell as its field's bytes. A missing cell comes as an empty text, so it
// gives 0, a zero byte or an empty text.
void appendField(ByteSink& sink, FieldType type, std::string_view cell) {
  if (type & FT_BYTE) {
    sink.append(static_cast<char>(textToInteger(cell) & 0xFF));
  } else if (type & (FT_UNSIGNED | FT_SIGNED)) {
    appendWord(sink, textToInteger(cell));
  } else if (type & FT_FLOAT) {
    appendWord(sink, std::bit_cast<std::uint32_t>(textToFloat(cell)));
  } else if (type & FT_STRING) {
    sink.append(cell);
    sink.append('\0');
  } else if (type & (FT_BITS16 | FT_BITS32)) {
    appendWord(sink, binaryTextToInteger(cell));
  } else {
    appendWord(sink, textToInteger(cell));
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
  for (std::size_t r = 2; r < rows.size(); ++r) {
    const TextRow& row = rows[r];
    if (row.cellCount() == 0) {
      continue;  // an empty line, as editors leave at the end: no record
    }
    TextRow::Cursor cells(row);
    for (std::uint32_t k = 0; k < fieldCount; ++k) {
      const std::string_view cell = cells.done() ? std::string_view() : cells.next();
      appendField(sink, definition->fieldTypes[k] & 0xFF, cell);
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
