// The frame writer: a record's key and entry size as the file holds them, and
// the key's cell as the CSV shows it.
#include "cachefile/record_frame.h"

#include <string>

#include "csv/number_text.h"
#include "csv/text_to_integer.h"

namespace cachesift {
void appendWord(ByteSink& sink, std::uint32_t word) {
  unsigned char bytes[4];
  encodeFixed32(bytes, word);
  sink.append(std::string_view(reinterpret_cast<const char*>(bytes), 4));
}

void appendFrame(ByteSink& sink, const RecordFraming& framing, std::string_view keyCell,
                 std::string_view fields) {
  if (framing.hexKey) {
    std::string key = bytesFromHex(keyCell);
    key.resize(framing.keyBytes);
    sink.append(key);
  } else {
    appendWord(sink, textToInteger(keyCell));
  }
  appendWord(sink, static_cast<std::uint32_t>(fields.size()) + framing.sizeBias);
  sink.append(fields);
}

void appendKeyCell(ByteSink& sink, const RecordFraming& framing, std::string_view key) {
  if (framing.hexKey) {
    return appendHex(sink, key);
  }
  char* const out = sink.reserve(kMaxNumberCell);
  sink.commit(writeDecimal(out, decodeFixed32(reinterpret_cast<const unsigned char*>(key.data()))));
}

}  // namespace cachesift
