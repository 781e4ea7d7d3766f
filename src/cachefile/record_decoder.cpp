#include <algorithm>
#include <cstring>
#include <string>

#include "app/cache_document.h"
#include "io/console.h"
#include "io/file_io.h"

namespace cachesift {
namespace {

// Flags that the CSV writer tests before FT_STRING.
constexpr FieldType kPrintedAsNumber = FT_UNSIGNED | FT_SIGNED | FT_FLOAT;

// The fewest bytes a record of this layout can take, to size the record list.
std::size_t smallestRecord(const FormatDefinition& definition) {
  std::size_t bytes = 8;
  for (std::uint32_t k = 2; k < definition.fieldCount; ++k) {
    const FieldType type = definition.fieldTypes[k] & 0xFF;
    bytes += (type & (FT_STRING | FT_BYTE)) != 0 ? 1 : 4;
  }
  return bytes;
}

// Whether the CSV form cannot carry a text back as it is: its reader takes a
// double quote before a comma for the end of a quoted cell, an LF for the end
// of a line and the byte 1A for the end of the file.
bool lostInCsv(std::string_view text) {
  return text.find('\n') != std::string_view::npos || text.find('\x1A') != std::string_view::npos ||
         text.find("\",") != std::string_view::npos;
}

}  // namespace

// Walks the body record by record. The walk ends at a record id of 0, an
// entry size below 4, fewer than 5 bytes left, or the record limit. A record
// that the body cuts off (a field or a text that does not fit, a missing NUL)
// ends it too and is dropped: nothing is ever read past the body.
void CacheDocument::decodeRecords() {
  const auto* bytes = reinterpret_cast<const unsigned char*>(body.get());
  const std::size_t size = bodySize;
  const std::uint32_t fieldCount = definition->fieldCount;

  records.reserve(std::min<std::size_t>(kMaxRecords, size / smallestRecord(*definition) + 1));
  preferHugePages(records.data(), records.capacity() * sizeof(DecodedRecord));
  DecodedRecord record{};
  std::size_t offset = 0;
  std::uint32_t count = 0;
  std::uint32_t lostTexts = 0;
  while (offset + 4 < size && count < kMaxRecords) {
    const std::uint32_t recordId = decodeFixed32(bytes + offset);
    if (recordId == 0 || size - offset < 8) {
      break;
    }
    const std::uint32_t entrySize = decodeFixed32(bytes + offset + 4);
    if (entrySize < 4) {
      break;
    }
    record.slots[0] = recordId;
    record.slots[1] = entrySize;
    std::size_t at = offset + 8;
    bool complete = true;
    std::uint32_t recordLostTexts = 0;
    for (std::uint32_t k = 2; k < fieldCount && complete; ++k) {
      const FieldType type = definition->fieldTypes[k] & 0xFF;
      if (type & FT_STRING) {
        const void* nul = std::memchr(bytes + at, 0, size - at);
        complete = nul != nullptr;
        if (complete) {
          const auto end = static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - bytes);
          // Only a field that the CSV writer prints as quoted text, not as a number.
          if ((type & kPrintedAsNumber) == 0 &&
              lostInCsv(std::string_view(body.get() + at, end - at))) {
            ++recordLostTexts;
          }
          record.slots[k] = static_cast<std::uint32_t>(at);
          at = end + 1;
        }
      } else if (type & FT_BYTE) {
        complete = at < size;
        if (complete) {
          record.slots[k] = bytes[at];
          at += 1;
        }
      } else {
        complete = size - at >= 4;
        if (complete) {
          record.slots[k] = decodeFixed32(bytes + at);
          at += 4;
        }
      }
    }
    if (!complete) {
      break;
    }
    records.push_back(record);
    offset = at;
    ++count;
    lostTexts += recordLostTexts;
  }
  console.print(std::to_string(count) + " records loaded.\n");
  if (lostTexts > 0) {
    console.print("WARNING: " + std::to_string(lostTexts) +
                  " texts hold a double quote before a comma, a line break or the byte 1A;\n"
                  "         they will not come back from the CSV as they are.\n");
  }
}

}  // namespace cachesift
