// Cache to CSV: the header row, the column names and a row per record.
#include <cstring>
#include <string>

#include "cachefile/conversion.h"
#include "cachefile/record_engine.h"
#include "cachefile/record_frame.h"
#include "csv/number_text.h"
#include "csv/text_marks.h"

namespace cachesift {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// The header's tag: between double quotes where its bytes would otherwise end
// the cell or the row, as a text cell is. A tag that holds the byte 1A is
// quoted too: read back, the file ends there, and the cell is never closed.
void appendTag(ByteSink& sink, std::string_view tag) {
  if (tag.find_first_of(",\"\r\n\x1A") == std::string_view::npos) {
    sink.append(tag);
    return;
  }
  sink.append('"');
  appendQuotedText<2>(sink, tag.data(), tag.data() + tag.size(), {'"', '\n'});
  sink.append('"');
}

// A number cell with its comma.
template <typename Write>
void appendNumber(ByteSink& sink, Write&& write) {
  char* const out = sink.reserve(kMaxNumberCell + 1);
  char* const end = write(out);
  *end = ',';
  sink.commit(end + 1);
}

void appendSigned(ByteSink& sink, std::uint32_t word) {
  appendNumber(sink, [&](char* out) { return writeSigned(out, static_cast<std::int32_t>(word)); });
}

void appendUnsigned(ByteSink& sink, std::uint32_t word) {
  appendNumber(sink, [&](char* out) { return writeDecimal(out, word); });
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

bool formatCsv(const LoadedCache& cache, const DecodedRecords& records, ByteSink& sink) {
  const WdbHeader& header = cache.header;
  const FormatDefinition* const definition = cache.choice.layout;
  const std::array<char, 4> signatureChars = fourChars(header.signature);
  const std::array<char, 4> tagChars = fourChars(header.headerTag);
  sink.append(headerText(signatureChars));  // one of the known signatures
  sink.append(',');
  appendSigned(sink, header.headerWord1);
  appendTag(sink, headerText(tagChars));
  sink.append(',');
  appendSigned(sink, header.recordBytes);
  appendSigned(sink, header.headerWord4);
  if (definition->headerSize() == kLongHeaderSize) {
    appendSigned(sink, header.headerWord5);
  }
  if (cache.choice.notTheBuilds) {
    const LayoutChoice& choice = cache.choice;
    const FormatDefinition* const named = choice.derived ? choice.derived->base : definition;
    sink.append(kLayoutMark);
    char* const out = sink.reserve(kMaxNumberCell);
    sink.commit(writeDecimal(out, named->clientBuild));
    sink.append(named->user ? kUserMark : std::string_view());
    sink.append(choice.derived ? changesText(choice.derived->changes) : std::string());
    sink.append(',');
  }
  sink.append(kLineEnd);

  for (std::size_t k = 0; k < definition->columns.size(); ++k) {
    if (definition->columns[k].name.empty()) {
      sink.append("Column ");
      appendUnsigned(sink, static_cast<std::uint32_t>(k + 1));
    } else {
      sink.append(definition->columns[k].name);
      sink.append(',');
    }
  }
  sink.append(kLineEnd);

  // Each record as its layout reads it, or where it does not, as its key, its
  // entry size followed by " bytes" and its bytes quoted.
  const RecordFraming framing = definition->framing();
  FrameReader frames(framing, cache.body);
  RecordEngine engine(*definition);
  std::size_t nextAsBytes = 0;
  for (std::uint32_t r = 0; r < records.count; ++r) {
    RecordFrame frame;
    frames.next(frame);  // decodeRecords() found it whole
    appendKeyCell(sink, framing, frame.key);
    sink.append(',');
    const bool asBytes = nextAsBytes < records.asBytes.size() && records.asBytes[nextAsBytes] == r;
    nextAsBytes += asBytes ? 1 : 0;
    const char* end = frame.end;
    if (asBytes) {
      sink.commit(writeDecimal(sink.reserve(kMaxNumberCell), frame.entrySize));
      sink.append(kAsBytesMark);
      sink.append(",\"");
      appendHex(sink, {frame.fields, static_cast<std::size_t>(frame.end - frame.fields)});
      sink.append("\",");
    } else {
      appendUnsigned(sink, frame.entrySize);
      end = engine.format(frame.fields, frame.end, sink);
      if (end == nullptr) {
        return false;  // the record engine checked it
      }
    }
    frames.skipTo(end);
    sink.append(kLineEnd);
    if (!sink.ok()) {
      return false;
    }
  }
  return true;
}

}  // namespace cachesift
