// Writes a large synthetic cache for the benchmark, of the built-in layout or
// of a client build's own: an item cache, or another.
//   make_bench_cache <output path> [record count, default 70000] [client build]
//                    [cache file name, default itemcache.wdb]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "catalogue/catalogue.h"
#include "samples/sample_maker.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: make_bench_cache <output path> [record count] [client build]\n");
    return 2;
  }
  const auto count =
      static_cast<std::uint32_t>(argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 70000);
  const auto build = static_cast<std::uint32_t>(argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 0);
  const std::string fileName = argc > 4 ? argv[4] : "itemcache.wdb";
  const auto& layouts = cachesift::formatCatalogue().definitions();
  const auto items = std::find_if(layouts.begin(), layouts.end(), [&](const auto& layout) {
    return layout.fileName == fileName && layout.clientBuild == build;
  });
  if (items == layouts.end()) {
    std::printf("no layout of %s of build %u\n", fileName.c_str(), build);
    return 2;
  }
  const std::string bytes = cachesift::samples::makeCache(*items, count, 2026);
  std::FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
      std::fclose(file) != 0) {
    std::printf("could not write %s\n", argv[1]);
    return 1;
  }
  std::printf("%s: %u records, %zu bytes\n", argv[1], count, bytes.size());
  return 0;
}
