#include <array>
#include <string>
#include <vector>

#include "app/cache_document.h"
#include "io/byte_scan.h"
#include "io/console.h"
#include "io/file_io.h"

namespace cachesift {
namespace {

// Flags that the CSV writer tests before FT_STRING.
constexpr FieldType kPrintedAsNumber = FT_UNSIGNED | FT_SIGNED | FT_FLOAT;

// The NUL that ends the text at `text`, or nullptr when none comes before
// `last`. `lost` becomes true when the text holds the byte 1A, which the CSV
// reader takes for the end of the file.
const char* endOfText(const char* text, const char* last, bool& lost) {
  static constexpr std::array<char, 4> kStops = {'\0', '\x1A', '\0', '\x1A'};
  const char* p = findAnyOf(text, last, kStops);
  if (p != last && *p == '\x1A') {
    lost = true;
    p = findByte(p, last, '\0');
  }
  return p != last ? p : nullptr;
}

// A record after its id and entry size, as runs of words and bytes each
// followed by a text, or by the record's end: fields of fixed size are
// checked a run at a time.
struct RecordRun {
  std::uint32_t fixedBytes = 0;
  // A text that the CSV writer prints as quoted text, not as a number, is
  // checked for what the CSV form cannot carry.
  enum { kNone, kPrinted, kNumber } text = kNone;
};

std::vector<RecordRun> recordRuns(const FormatDefinition& definition) {
  std::vector<RecordRun> runs(1);
  for (std::uint32_t k = 2; k < definition.fieldCount; ++k) {
    const FieldType type = definition.fieldTypes[k] & 0xFF;
    switch (fieldStorage(type, k)) {
      case FieldStorage::kWord:
        runs.back().fixedBytes += 4;
        break;
      case FieldStorage::kByte:
        runs.back().fixedBytes += 1;
        break;
      case FieldStorage::kText:
        runs.back().text =
            (type & kPrintedAsNumber) == 0 ? RecordRun::kPrinted : RecordRun::kNumber;
        runs.emplace_back();
        break;
    }
  }
  return runs;
}

}  // namespace

// Walks the body record by record and counts the records that formatCsv()
// then reads. The walk ends at a record id of 0, an entry size below 4, fewer
// than 5 bytes left, or the record limit. A record that the body cuts off (a
// field or a text that does not fit, a missing NUL) ends it too and is
// dropped: nothing is ever read past the body.
void CacheDocument::decodeRecords() {
  const auto* bytes = reinterpret_cast<const unsigned char*>(body.data());
  const std::size_t size = body.size();
  const std::vector<RecordRun> runs = recordRuns(*definition);
  std::size_t offset = 0;
  std::uint32_t count = 0;
  std::uint32_t lostTexts = 0;
  while (offset + 4 < size && count < kMaxRecords) {
    if (decodeFixed32(bytes + offset) == 0 || size - offset < 8 ||
        decodeFixed32(bytes + offset + 4) < 4) {
      break;
    }
    std::size_t at = offset + 8;
    bool complete = true;
    std::uint32_t recordLostTexts = 0;
    for (const RecordRun& run : runs) {
      complete = size - at >= run.fixedBytes;
      if (!complete) {
        break;
      }
      at += run.fixedBytes;
      if (run.text == RecordRun::kNone) {
        continue;
      }
      bool lost = false;
      const char* const nul = endOfText(body.data() + at, body.data() + size, lost);
      complete = nul != nullptr;
      if (!complete) {
        break;
      }
      recordLostTexts += run.text == RecordRun::kPrinted && lost;
      at = static_cast<std::size_t>(nul - body.data()) + 1;
    }
    if (!complete) {
      break;
    }
    offset = at;
    ++count;
    lostTexts += recordLostTexts;
  }
  recordCount = count;
  console.print(std::to_string(count) + " records loaded.\n");
  if (lostTexts > 0) {
    console.print("WARNING: " + std::to_string(lostTexts) +
                  " texts hold the byte 1A;\n"
                  "         they will not come back from the CSV as they are.\n");
  }
}

}  // namespace cachesift
