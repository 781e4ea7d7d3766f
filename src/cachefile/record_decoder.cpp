// Cache to CSV: how many records a body holds, which of them its layout
// keeps as bytes, and what the console says of them.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "cachefile/conversion.h"
#include "cachefile/record_engine.h"
#include "cachefile/record_frame.h"
#include "cachefile/record_walk.h"
#include "cachefile/wdb_header.h"
#include "csv/number_text.h"
#include "io/byte_sink.h"

namespace cachesift {

namespace {

// A node of a layout as a message names it.
std::string nodeName(const FormatDefinition& layout, std::uint32_t node) {
  const LayoutNode& n = layout.nodes[node];
  if (n.kind == FieldKind::kRepeat || n.kind == FieldKind::kIf) {
    const auto measure = std::find_if(layout.nodes.begin(), layout.nodes.end(), [&](const auto& m) {
      return m.slot == n.ref && m.slot >= 0;
    });
    const std::string id = measure == layout.nodes.end()
                               ? std::string()
                               : layout.nodeNames[measure - layout.nodes.begin()];
    return n.kind == FieldKind::kIf ? "the fields that \"if " + id + "\" holds"
                                    : "the group that " + id + " counts";
  }
  const std::string& name = layout.nodeNames[node];
  return name.starts_with('$') ? name : "field \"" + name + "\"";
}

// Where the record of `frame` stops fitting `layout`, as a console line that
// starts with `start`; nothing where it fits.
std::string missLine(const FormatDefinition& layout, const RecordFrame& frame,
                     std::string_view start) {
  const std::optional<FitMiss> miss = RecordEngine(layout).miss(frame.fields, frame.end);
  if (!miss) {
    return {};
  }
  StringSink key;
  appendKeyCell(key, layout.framing(), frame.key);
  std::string line = std::string(start) + "key " + key.bytes() + ", ";
  const std::string field = miss->node == kPastLastField ? "" : nodeName(layout, miss->node);
  const std::string at = " at byte " + std::to_string(miss->offset);
  const std::string value = std::to_string(miss->value);
  using What = FitMiss::What;
  switch (miss->what) {
    case What::kBytesLeft:
      return line + "has " + value + " bytes left after its last field.\n";
    case What::kPastEnd:
      return line + "ends within " + field + ", which starts" + at + " of its " +
             std::to_string(frame.end - frame.fields) + ".\n";
    case What::kPastMost:
      return line + "has " + value + " elements in " + field + at + ", more than its most (" +
             std::to_string(layout.nodes[miss->node].most) + ").\n";
    case What::kLastEmpty:
      return line + "has " + value + " elements in " + field + at +
             ", the last of which shows nothing.\n";
    case What::kUnusedBits:
      return line + "has bits that no field takes in byte " + std::to_string(miss->offset - 1) +
             ", and they are not zero.\n";
    case What::kNotANumber:
      return line + "has a float that is not a number or is infinite in " + field + at + ".\n";
    default:
      return line + "has " + field + at + ", which would not come back as it is.\n";
  }
}

// The frame of record `record` of `body`, by `layout`'s framing.
std::optional<RecordFrame> frameOf(const FormatDefinition& layout, std::string_view body,
                                   std::uint32_t record) {
  FrameReader frames(layout, body);
  RecordFrame frame;
  for (std::uint32_t r = 0; frames.next(frame); ++r) {
    if (r == record) {
      return frame;
    }
    frames.skipTo(frame.end);
  }
  return std::nullopt;
}

}  // namespace

// Counts the records that formatCsv() then reads, and which of them it
// writes as bytes. A build's own layouts were walked when the layout was
// chosen, every record of them. The built-in layouts' walk ends at their
// record limit, where the frames end, or at a record that the body cuts off.
DecodedRecords decodeRecords(const LoadedCache& cache) {
  const FormatDefinition& layout = *cache.choice.layout;
  DecodedRecords records;
  std::size_t offset = 0;
  std::uint32_t lostTexts = 0;
  if (layout.framed()) {
    const RecordWalk& walk = cache.choice.walk;
    records.count = walk.count;
    offset = walk.end;
    lostTexts = walk.lostTexts;
    records.asBytes = walk.asBytes;
  } else {
    FrameReader frames(layout, cache.body);
    RecordEngine engine(layout);
    for (RecordFrame frame; records.count < kMaxRecords && frames.next(frame); ++records.count) {
      std::uint32_t recordLostTexts = 0;
      const char* const end = engine.check(frame.fields, frame.end, recordLostTexts);
      if (end == nullptr) {
        break;
      }
      frames.skipTo(end);
      lostTexts += recordLostTexts;
    }
    offset = frames.offset();
  }
  // The header's tag is a text of the CSV too.
  const std::array<char, 4> tag = fourChars(cache.header.headerTag);
  const auto tagEnd = std::find(tag.begin(), tag.end(), '\0');
  lostTexts += std::find(tag.begin(), tagEnd, '\x1A') != tagEnd ? 1 : 0;
  std::string& console = records.console;
  console = std::to_string(records.count) + " records loaded.\n";
  // An end marker is zeros; anything else after the last record taken is
  // what the layout could not read, and the CSV will not hold it.
  if (cache.body.find_first_not_of('\0', offset) != std::string_view::npos) {
    console += "WARNING: " + std::to_string(cache.body.size() - offset) +
               " bytes after the last record were not converted;\n"
               "         a cache written back from the CSV will not hold them.\n";
  }
  if (!records.asBytes.empty() && !layout.asBytes) {
    console += "WARNING: " + std::to_string(records.asBytes.size()) +
               " records do not fit the layout;\n"
               "         they are written as bytes and come back unchanged.\n";
    if (const auto frame = frameOf(layout, cache.body, records.asBytes.front())) {
      console += missLine(layout, *frame, "         The first, ");
    }
  }
  // Where no layout fits, the nearest build's says where the records stop.
  if (layout.asBytes && !cache.choice.tried.empty() && records.count > 0) {
    const FormatDefinition& nearest = *cache.choice.tried.front().layout;
    if (const auto frame = frameOf(nearest, cache.body, 0)) {
      console += missLine(nearest, *frame,
                          "         By the layout of client build " +
                              std::to_string(nearest.clientBuild) + ", the first, ");
    }
  }
  if (lostTexts > 0) {
    console += "WARNING: " + std::to_string(lostTexts) +
               " texts hold the byte 1A;\n"
               "         they will not come back from the CSV as they are.\n";
  }
  return records;
}

}  // namespace cachesift
