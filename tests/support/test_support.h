#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "app/cache_document.h"
#include "app/console.h"

namespace cachesift::testing {

// Bytes from a list of byte values, for binary literals that hold zeros.
std::string bytes(std::initializer_list<int> values);
// The four little-endian bytes of a word.
std::string word(std::uint32_t value);
// A 20-byte header; codes shorter than four bytes are filled with zero bytes.
std::string header(std::string_view signature, std::uint32_t word1, std::string_view tag,
                   std::uint32_t recordBytes, std::uint32_t word4);

// The one-record "BDNW" cache file of the format's worked example, with the
// header words 7, "abcd", 8 and 1, and its three CSV lines.
extern const std::string kWorkedCache;
extern const std::string kWorkedCsv;

// A document with its console captured.
struct Conversion {
  Conversion() : document(console) {}
  CapturingConsole console;
  CacheDocument document;
};

// Runs the whole cache-to-CSV conversion in memory; `csv` gets the file's
// bytes and the result is the console text.
std::string cacheToCsv(std::string_view cacheBytes, std::string* csv = nullptr);
// The same for CSV to cache.
std::string csvToCache(std::string_view csvBytes, std::string* cache = nullptr);

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, std::string_view bytes);

// A fresh directory under the system's temporary directory, removed with the
// object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }
  // The names of the files in it, sorted.
  std::vector<std::string> list() const;

 private:
  std::filesystem::path path_;
};

// The result of running the real executable.
struct RunResult {
  std::string output;  // standard output
  int exitCode = -1;
};

// Runs the built tool in `directory` with the given arguments. `prefix` is
// put before the command in the shell, e.g. "ulimit -f 1;"; `tool`, when
// given, is the command to run instead of the tool under test.
RunResult runTool(const std::filesystem::path& directory, const std::vector<std::string>& args,
                  std::string_view prefix = "", std::string_view tool = "");

// The executable this build made.
inline constexpr std::string_view kBuiltTool = CACHESIFT_EXE;

// Whether the tool under test is the Windows build (run under Wine):
// CACHESIFT_WINDOWS=1, set together with CACHESIFT_TOOL.
bool toolIsWindows();

// What the tool prints to its console for the given text: on Windows,
// standard output is in text mode and a line feed arrives as CR LF.
std::string consoleText(std::string_view text);

}  // namespace cachesift::testing
