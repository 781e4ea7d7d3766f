#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "app/cache_document.h"
#include "cachefile/record_walk.h"
#include "cachefile/shaped_record.h"
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

// A record after its key and entry size, as runs of words and bytes each
// followed by a text, or by the record's end: fields of fixed size are
// checked a run at a time.
struct RecordRun {
  std::uint32_t fixedBytes = 0;
  // A text that the CSV writer prints as quoted text, not as a number, is
  // checked for what the CSV form cannot carry. The rest of a framed record
  // may follow the last run, as hexadecimal bytes.
  enum { kNone, kPrinted, kNumber, kRest } text = kNone;
};

std::vector<RecordRun> recordRuns(const FormatDefinition& definition) {
  std::vector<RecordRun> runs(1);
  for (std::uint32_t k = 2; k < definition.fieldCount; ++k) {
    const FieldType type = definition.fieldTypes[k];
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
      case FieldStorage::kHex:
        runs.back().text = RecordRun::kRest;
        return runs;
    }
  }
  return runs;
}

constexpr std::size_t kCutShort = std::string_view::npos;

// Where the fields of the record that start at `at` end, or kCutShort when
// the bytes up to `limit` do not hold them all. `lostTexts` becomes the
// number of its texts that the CSV form cannot carry.
std::size_t fieldsEnd(std::string_view body, std::size_t at, std::size_t limit,
                      const std::vector<RecordRun>& runs, std::uint32_t& lostTexts) {
  lostTexts = 0;
  for (const RecordRun& run : runs) {
    if (limit - at < run.fixedBytes) {
      return kCutShort;
    }
    at += run.fixedBytes;
    if (run.text == RecordRun::kNone) {
      continue;
    }
    if (run.text == RecordRun::kRest) {
      return limit;
    }
    bool lostText = false;
    const char* const nul = endOfText(body.data() + at, body.data() + limit, lostText);
    if (nul == nullptr) {
      return kCutShort;
    }
    lostTexts += run.text == RecordRun::kPrinted && lostText;
    at = static_cast<std::size_t>(nul - body.data()) + 1;
  }
  return at;
}

bool allZero(const unsigned char* bytes, std::size_t count) {
  return std::all_of(bytes, bytes + count, [](unsigned char b) { return b == 0; });
}

}  // namespace

std::optional<RecordWalk> walkFramedRecords(const FormatDefinition& layout, std::string_view body,
                                            std::uint32_t mostMisses) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(body.data());
  const std::size_t size = body.size();
  const std::size_t keyBytes = layout.keyBytes;
  const std::uint32_t bias = layout.sizeBias;
  const std::vector<RecordRun> runs = recordRuns(layout);
  std::vector<FieldCell> cells;
  ShapedRecords shaped(layout);
  RecordWalk walk;
  std::uint32_t lostTexts = 0;
  while (walk.count < kMaxRecords && size - walk.end >= keyBytes + 4 &&
         !allZero(bytes + walk.end, keyBytes)) {
    const std::size_t fields = walk.end + keyBytes + 4;
    const std::uint32_t entrySize = decodeFixed32(bytes + fields - 4);
    if (entrySize < bias || entrySize - bias > size - fields) {
      break;
    }
    const std::size_t end = fields + (entrySize - bias);
    const bool fits = layout.flat
                          ? fieldsEnd(body, fields, end, runs, lostTexts) == end
                          : shaped.read(body.substr(fields, end - fields), cells, lostTexts);
    if (fits) {
      walk.lostTexts += lostTexts;
    } else if (walk.asBytes.size() == mostMisses) {
      return std::nullopt;
    } else {
      walk.asBytes.push_back(walk.count);
    }
    walk.end = end;
    ++walk.count;
  }
  return walk;
}

std::optional<std::uint32_t> framedRecordCount(std::string_view body, std::size_t keyBytes,
                                               std::uint32_t sizeBias) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(body.data());
  std::size_t at = 0;
  std::uint32_t count = 0;
  while (body.size() - at >= keyBytes + 4) {
    const std::uint32_t entrySize = decodeFixed32(bytes + at + keyBytes);
    if (allZero(bytes + at, keyBytes)) {
      if (entrySize == 0 && body.size() - at == keyBytes + 4) {
        return std::min(count, kMaxRecords);
      }
      return std::nullopt;
    }
    if (entrySize < sizeBias || entrySize - sizeBias > body.size() - at - keyBytes - 4) {
      return std::nullopt;
    }
    at += keyBytes + 4 + (entrySize - sizeBias);
    ++count;
  }
  return std::nullopt;
}

LayoutFit bestFit(std::span<const FormatDefinition* const> candidates, std::string_view body) {
  LayoutFit best;
  std::size_t bestIndex = 0;
  // More records must fit a candidate than the best so far, or as many when
  // it is more wanted; its walk gives up once that can no longer be.
  const auto tryCandidate = [&](std::size_t i) {
    const FormatDefinition& layout = *candidates[i];
    const std::optional<std::uint32_t> records =
        framedRecordCount(body, layout.keyBytes, layout.sizeBias);
    const std::uint32_t fewest =
        best.layout == nullptr ? 0 : best.walk.fits() + (i < bestIndex ? 0 : 1);
    if (!records || *records < fewest) {
      return;
    }
    std::optional<RecordWalk> walk =
        walkFramedRecords(layout, body, best.layout == nullptr ? UINT32_MAX : *records - fewest);
    if (walk) {
      best = {&layout, std::move(*walk)};
      bestIndex = i;
    }
  };
  if (candidates.empty()) {
    return best;
  }
  tryCandidate(0);
  if (best.layout != nullptr && best.walk.asBytes.empty()) {
    return best;
  }
  // The others are walked in the order of how many of the records in the
  // body's first bytes fit them, so that the one chosen is mostly walked
  // before the rest, which then give up at their first record that does not
  // fit. The choice is the same in any order.
  constexpr std::size_t kProbeBytes = 65536;
  std::vector<std::pair<std::uint32_t, std::size_t>> order;  // fits of the probe, candidate
  for (std::size_t i = 1; i < candidates.size(); ++i) {
    order.emplace_back(walkFramedRecords(*candidates[i], body.substr(0, kProbeBytes))->fits(), i);
  }
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  for (const auto& [probed, i] : order) {
    tryCandidate(i);
  }
  return best;
}

// Counts the records that formatCsv() then reads; nothing is ever read past
// the body. A build's own layouts were walked when the layout was chosen.
// The built-in layouts' walk ends at the record limit, a record id of 0, an
// entry size below 4, fewer than 5 bytes left, or a record that the body
// cuts off (a field or a text that does not fit, a missing NUL).
void CacheDocument::decodeRecords() {
  const auto* bytes = reinterpret_cast<const unsigned char*>(body.data());
  const std::size_t size = body.size();
  const std::vector<RecordRun> runs = recordRuns(*definition);
  std::size_t offset = 0;
  std::uint32_t count = 0;
  std::uint32_t lostTexts = 0;
  std::uint32_t recordLostTexts = 0;
  if (definition->framed()) {
    RecordWalk& walk = framedWalk_;
    count = walk.count;
    offset = walk.end;
    lostTexts = walk.lostTexts;
    recordsAsBytes = std::move(walk.asBytes);
  } else {
    while (offset + 4 < size && count < kMaxRecords) {
      if (decodeFixed32(bytes + offset) == 0 || size - offset < 8 ||
          decodeFixed32(bytes + offset + 4) < 4) {
        break;
      }
      const std::size_t end = fieldsEnd(body, offset + 8, size, runs, recordLostTexts);
      if (end == kCutShort) {
        break;
      }
      offset = end;
      ++count;
      lostTexts += recordLostTexts;
    }
  }
  recordCount = count;
  console.print(std::to_string(count) + " records loaded.\n");
  // An end marker is zeros; anything else after the last record taken is
  // what the layout could not read, and the CSV will not hold it.
  if (body.find_first_not_of('\0', offset) != std::string_view::npos) {
    console.print("WARNING: " + std::to_string(size - offset) +
                  " bytes after the last record were not converted;\n"
                  "         a cache written back from the CSV will not hold them.\n");
  }
  if (!recordsAsBytes.empty() && !definition->asBytes) {
    console.print("WARNING: " + std::to_string(recordsAsBytes.size()) +
                  " records do not fit the layout;\n"
                  "         they are written as bytes and come back unchanged.\n");
  }
  if (lostTexts > 0) {
    console.print("WARNING: " + std::to_string(lostTexts) +
                  " texts hold the byte 1A;\n"
                  "         they will not come back from the CSV as they are.\n");
  }
}

}  // namespace cachesift
