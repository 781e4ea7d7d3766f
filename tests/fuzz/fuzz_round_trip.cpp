// Builds a well-formed cache file from the fuzzer's bytes and checks that it
// comes back byte for byte through CSV, and that its CSV comes back through
// the cache file, with no warning that data will not come back. Aborts when
// any of that does not hold.
//
// Well-formed: the records follow the layout and end with the end marker;
// texts hold no zero byte, line feed, byte 1A or double quote followed by a
// comma; floats have at most two decimals; the header's tag is four bytes
// without a zero byte, comma, double quote, line feed or 1A.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/byte_sink.h"
#include "app/cache_document.h"
#include "app/console.h"
#include "cachefile/coding.h"
#include "catalogue/catalogue.h"

namespace {

using namespace cachesift;

// Hands out the fuzzer's bytes; zeros once they are used up.
class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() { return used_ < size_ ? data_[used_++] : 0; }
  std::uint32_t word() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      value = (value << 8) | byte();
    }
    return value;
  }
  bool empty() const { return used_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t used_ = 0;
};

void appendWord(std::string& out, std::uint32_t value) {
  unsigned char raw[4];
  encodeFixed32(raw, value);
  out.append(reinterpret_cast<const char*>(raw), 4);
}

bool unsafeInText(char c) {
  return c == '\0' || c == '\n' || c == '\x1A';
}

std::string makeText(Bytes& bytes) {
  std::string text;
  for (std::size_t length = bytes.byte() % 40; length > 0; --length) {
    char c = static_cast<char>(bytes.byte());
    if (unsafeInText(c) || (c == ',' && !text.empty() && text.back() == '"')) {
      c = 'x';
    }
    text.push_back(c);
  }
  return text;
}

std::string makeCache(Bytes& bytes, const FormatDefinition& definition) {
  std::string out(definition.signature.data(), 4);
  appendWord(out, bytes.word());
  for (int i = 0; i < 4; ++i) {
    char c = static_cast<char>(bytes.byte());
    if (unsafeInText(c) || c == ',' || c == '"') {
      c = 'T';
    }
    out.push_back(c);
  }
  appendWord(out, bytes.word());
  appendWord(out, bytes.word());
  for (std::uint32_t records = bytes.byte() % 16; records > 0 && !bytes.empty(); --records) {
    appendWord(out, bytes.word() | 1);  // never the id 0 that ends the list
    appendWord(out, bytes.word() | 4);  // never an entry size below 4
    for (std::uint32_t k = 2; k < definition.fieldCount; ++k) {
      const FieldType type = definition.fieldTypes[k] & 0xFF;
      if (type & FT_STRING) {
        out += makeText(bytes);
        out.push_back('\0');
      } else if (type & FT_BYTE) {
        out.push_back(static_cast<char>(bytes.byte()));
      } else if (type & FT_FLOAT) {
        const auto hundredths = static_cast<std::int32_t>(bytes.word() % 20000001) - 10000000;
        appendWord(out, std::bit_cast<std::uint32_t>(static_cast<float>(hundredths) / 100.0f));
      } else {
        appendWord(out, bytes.word());
      }
    }
  }
  out.append(8, '\0');
  return out;
}

std::string cacheToCsv(std::string_view cache) {
  CapturingConsole console;
  CacheDocument document(console);
  if (!document.loadCacheBytes(cache)) {
    std::abort();
  }
  document.decodeRecords();
  if (console.text().find(" texts hold ") != std::string::npos) {
    std::abort();  // these texts all come back
  }
  StringSink sink;
  document.formatCsv(sink);
  return sink.bytes();
}

std::string csvToCache(std::string_view csv) {
  CapturingConsole console;
  CacheDocument document(console);
  if (!document.loadCsvBytes(csv)) {
    std::abort();
  }
  if (console.text().find(" record rows ") != std::string::npos) {
    std::abort();  // the tool's own rows have the layout's cells
  }
  document.rebuildHeader();
  StringSink sink;
  document.formatCache(sink);
  return sink.bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  buildCatalogue();
  Bytes bytes(data, size);
  const auto& layouts = formatCatalogue().definitions();
  const std::string cache = makeCache(bytes, layouts[bytes.byte() % layouts.size()]);
  const std::string csv = cacheToCsv(cache);
  const std::string cacheAgain = csvToCache(csv);
  if (cacheAgain != cache || cacheToCsv(cacheAgain) != csv) {
    std::abort();
  }
  return 0;
}
