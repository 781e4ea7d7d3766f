#include "support/test_support.h"

#include "support/made_layout.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "cachefile/coding.h"
#include "catalogue/catalogue.h"
#include "io/byte_sink.h"

namespace cachesift::testing {

std::string bytes(std::initializer_list<int> values) {
  return std::string(values.begin(), values.end());
}

std::string word(std::uint32_t value) {
  unsigned char raw[4];
  encodeFixed32(raw, value);
  return std::string(reinterpret_cast<const char*>(raw), 4);
}

std::string header(std::string_view signature, std::uint32_t word1, std::string_view tag,
                   std::uint32_t recordBytes, std::uint32_t word4) {
  const auto four = [](std::string_view code) {
    return std::string(code).append(4, '\0').substr(0, 4);
  };
  return four(signature) + word(word1) + four(tag) + word(recordBytes) + word(word4);
}

namespace {

// A copy of some bytes that ends where an unreadable page begins, so that a
// read past their end stops the test.
struct Guarded {
  explicit Guarded(std::string_view bytes)
      : size((bytes.size() / kPage + 2) * kPage),
        memory(static_cast<char*>(
            ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0))),
        view(memory + size - kPage - bytes.size(), bytes.size()) {
    ::mprotect(memory + size - kPage, kPage, PROT_NONE);
    std::memcpy(memory + size - kPage - bytes.size(), bytes.data(), bytes.size());
  }
  ~Guarded() { ::munmap(memory, size); }
  static inline const auto kPage = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const std::size_t size;
  char* const memory;
  const std::string_view view;
};

}  // namespace

// The steps of a direction by the layouts given, on guarded bytes: what they
// said, and what they wrote when they went through.
Converted cacheToCsv(std::string_view bytes, const FormatCatalogue* layouts) {
  const Guarded input(bytes);
  const LoadedCache cache =
      loadCacheBytes(input.view, layouts != nullptr ? *layouts : formatCatalogue());
  if (!cache.ok) {
    return {cache.console, ""};
  }
  const DecodedRecords records = decodeRecords(cache);
  StringSink sink;
  const bool written = formatCsv(cache, records, sink);
  return {cache.console + records.console, written ? sink.bytes() : ""};
}

Converted csvToCache(std::string_view bytes, const FormatCatalogue* layouts) {
  const Guarded input(bytes);
  const LoadedCsv csv = loadCsvBytes(input.view, layouts != nullptr ? *layouts : formatCatalogue());
  if (!csv.ok) {
    return {csv.console, ""};
  }
  StringSink sink;
  std::string refusal;
  const bool written = formatCache(csv, headerOfCsv(csv), sink, refusal);
  return {csv.console + refusal, written ? sink.bytes() : ""};
}

FormatCatalogue madeCatalogue(std::string_view layoutText) {
  FormatCatalogue catalogue;
  const LayoutFileText file{"made.layout", layoutText};
  EXPECT_EQ(fillCatalogue(catalogue, std::span(&file, 1)), std::vector<LayoutFault>{});
  return catalogue;
}

const std::vector<FormatDefinition>& layouts() {
  return formatCatalogue().definitions();
}

const FormatCatalogue& madeLayouts() {
  static const FormatCatalogue catalogue = madeCatalogue(kMadeLayout);
  return catalogue;
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace cachesift::testing
