// Times the conversion work alone, with the files already in memory and the
// output counted, not written: a figure for the CPU work that the I/O around
// it does not blur. Best of `runs` for each step.
//   in_memory <cache file> <its CSV> [runs, default 15]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "app/cache_document.h"
#include "catalogue/catalogue.h"
#include "io/console.h"

namespace {

class QuietConsole final : public cachesift::Console {
 public:
  void print(std::string_view) override {}
};

class CountingSink final : public cachesift::ByteSink {
 public:
  std::size_t bytes = 0;

 protected:
  bool writeBlock(std::string_view block) override {
    bytes += block.size();
    return true;
  }
};

std::string readFile(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Milliseconds that `step` takes. A step that fails ends the program.
double timed(const std::function<bool()>& step) {
  const auto start = std::chrono::steady_clock::now();
  if (!step()) {
    std::printf("in_memory: a step failed; are the files a cache and its CSV?\n");
    std::exit(1);
  }
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: in_memory <cache file> <its CSV> [runs]\n");
    return 2;
  }
  const std::string cache = readFile(argv[1]);
  const std::string csv = readFile(argv[2]);
  const int runs = argc > 3 ? std::atoi(argv[3]) : 15;
  QuietConsole console;
  double decode = 1e9, toCsv = 1e9, split = 1e9, toCache = 1e9;
  std::size_t csvBytes = 0, cacheBytes = 0;
  for (int run = 0; run < runs; ++run) {
    {
      cachesift::CacheDocument document(console);
      CountingSink sink;
      decode = std::min(decode, timed([&] {
                          if (!document.loadCacheBytes(cache)) {
                            return false;
                          }
                          document.decodeRecords();
                          return true;
                        }));
      toCsv = std::min(toCsv, timed([&] { return document.formatCsv(sink) && sink.flush(); }));
      csvBytes = sink.bytes;
    }
    cachesift::CacheDocument document(console);
    CountingSink sink;
    split = std::min(split, timed([&] {
                       if (!document.loadCsvBytes(csv)) {
                         return false;
                       }
                       document.rebuildHeader();
                       return true;
                     }));
    toCache = std::min(toCache, timed([&] { return document.formatCache(sink) && sink.flush(); }));
    cacheBytes = sink.bytes;
  }
  // Both directions per MB of CSV, so that caches of any layout compare.
  const double csvMB = static_cast<double>(csvBytes) / 1e6;
  std::printf("cache to CSV  read records %.1f ms, write %zu bytes of CSV %.1f ms: %.0f MB/s\n",
              decode, csvBytes, toCsv, csvMB / ((decode + toCsv) / 1e3));
  std::printf(
      "CSV to cache  split rows %.1f ms, write %zu bytes of cache %.1f ms: %.0f MB/s"
      "  [best of %d]\n",
      split, cacheBytes, toCache, csvMB / ((split + toCache) / 1e3), runs);
  return 0;
}
