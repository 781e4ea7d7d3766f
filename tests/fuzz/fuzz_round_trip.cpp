// Builds a well-formed cache file from the fuzzer's bytes and aborts unless it
// comes back byte for byte through CSV, without a warning.
//
// Well-formed: the records follow the layout and end with the end marker;
// texts hold no zero byte, line feed, byte 1A or double quote followed by a
// comma; floats have at most two decimals; the header's tag is four bytes
// without a zero byte, comma, double quote, line feed or 1A.
#include <bit>
#include <cstdlib>
#include <string>

#include "io/byte_sink.h"
#include "app/cache_document.h"
#include "io/console.h"
#include "cachefile/coding.h"
#include "catalogue/catalogue.h"

namespace {

using namespace cachesift;

// The fuzzer's bytes, then zeros.
struct Bytes {
  const std::uint8_t* next;
  const std::uint8_t* end;
  std::uint8_t byte() { return next < end ? *next++ : 0; }
  std::uint32_t word() { return byte() | byte() << 8 | byte() << 16 | std::uint32_t{byte()} << 24; }
  // A byte, with `safe` in place of the ones that cannot stand here.
  char byteBut(std::string_view unsafe, char safe) {
    const char c = static_cast<char>(byte());
    return unsafe.find(c) == std::string_view::npos ? c : safe;
  }
};

void appendWord(std::string& out, std::uint32_t value) {
  out.resize(out.size() + 4);
  encodeFixed32(reinterpret_cast<unsigned char*>(out.data() + out.size() - 4), value);
}

std::string makeCache(Bytes& in, const FormatDefinition& layout) {
  using namespace std::literals;
  std::string out(layout.signature.data(), 4);
  appendWord(out, in.word());
  for (int i = 0; i < 4; ++i) {
    out.push_back(in.byteBut("\0\n\x1A,\""sv, 'T'));
  }
  appendWord(out, in.word());
  appendWord(out, in.word());
  for (std::uint32_t records = in.byte() % 16; records > 0 && in.next < in.end; --records) {
    appendWord(out, in.word() | 1);  // never the id 0 that ends the list
    appendWord(out, in.word() | 4);  // never an entry size below 4
    for (std::uint32_t k = 2; k < layout.fieldCount; ++k) {
      const FieldType type = layout.fieldTypes[k];
      if (type & FT_STRING) {
        for (std::size_t length = in.byte() % 40; length > 0; --length) {
          out.push_back(out.back() == '"' ? in.byteBut("\0\n\x1A,"sv, 'x')
                                          : in.byteBut("\0\n\x1A"sv, 'x'));
        }
        out.push_back('\0');
      } else if (type & FT_BYTE) {
        out.push_back(static_cast<char>(in.byte()));
      } else if (type & FT_FLOAT) {
        const auto hundredths = static_cast<std::int32_t>(in.word() % 20000001) - 10000000;
        appendWord(out, std::bit_cast<std::uint32_t>(static_cast<float>(hundredths) / 100.0f));
      } else {
        appendWord(out, in.word());
      }
    }
  }
  return out.append(8, '\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  buildCatalogue();
  Bytes in{data, data + size};
  const auto& layouts = formatCatalogue().definitions();
  const std::string cache = makeCache(in, layouts[in.byte() % layouts.size()]);
  CapturingConsole console;
  CacheDocument toCsv(console), toCache(console);
  StringSink csv, cacheAgain;
  if (!toCsv.loadCacheBytes(cache)) {
    std::abort();
  }
  toCsv.decodeRecords();
  toCsv.formatCsv(csv);
  if (!toCache.loadCsvBytes(csv.bytes())) {
    std::abort();
  }
  toCache.rebuildHeader();
  toCache.formatCache(cacheAgain);
  // Neither direction may warn that data will not come back.
  const std::string& said = console.text();
  if (cacheAgain.bytes() != cache || said.find(" texts hold ") != std::string::npos ||
      said.find(" record rows ") != std::string::npos) {
    std::abort();
  }
  return 0;
}
