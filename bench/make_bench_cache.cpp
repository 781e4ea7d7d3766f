// Writes a large synthetic item cache for the benchmark.
//   make_bench_cache <output path> [record count, default 70000]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "catalogue/catalogue.h"
#include "samples/sample_maker.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: make_bench_cache <output path> [record count]\n");
    return 2;
  }
  const auto count =
      static_cast<std::uint32_t>(argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 70000);
  cachesift::buildCatalogue();
  const cachesift::FormatDefinition& items = cachesift::formatCatalogue().definitions()[2];
  const std::string bytes = cachesift::samples::makeCache(items, count, 2026);
  std::FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
      std::fclose(file) != 0) {
    std::printf("could not write %s\n", argv[1]);
    return 1;
  }
  std::printf("%s: %u records, %zu bytes\n", argv[1], count, bytes.size());
  return 0;
}
