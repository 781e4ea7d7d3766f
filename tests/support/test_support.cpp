#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include "app/byte_sink.h"
#include "cachefile/coding.h"
#include "catalogue/catalogue.h"

namespace cachesift::testing {

std::string bytes(std::initializer_list<int> values) {
  std::string out;
  for (int value : values) {
    out.push_back(static_cast<char>(value));
  }
  return out;
}

std::string word(std::uint32_t value) {
  unsigned char raw[4];
  encodeFixed32(raw, value);
  return std::string(reinterpret_cast<const char*>(raw), 4);
}

std::string header(std::string_view signature, std::uint32_t word1, std::string_view tag,
                   std::uint32_t recordBytes, std::uint32_t word4) {
  // Both codes are exactly four bytes: short ones are filled with zero bytes.
  const auto four = [](std::string_view code) {
    std::string padded(code.substr(0, 4));
    padded.resize(4, '\0');
    return padded;
  };
  return four(signature) + word(word1) + four(tag) + word(recordBytes) + word(word4);
}

const std::string kWorkedCache = header("BDNW", 7, "abcd", 8, 1) +
                                 bytes({0x19, 0, 0, 0, 0x0F, 0, 0, 0}) + "Blue Lamp" +
                                 bytes({0, 0x0D, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});

const std::string kWorkedCsv =
    "BDNW,7,abcd,8,1,\r\n"
    "ItemID,Entry Size,Item Name,InventorySlot,\r\n"
    "25,15,\"Blue Lamp\",13,\r\n";

std::string cacheToCsv(std::string_view cacheBytes, std::string* csv) {
  buildCatalogue();
  Conversion conversion;
  if (conversion.document.loadCacheBytes(cacheBytes)) {
    conversion.document.decodeRecords();
    StringSink sink;
    conversion.document.formatCsv(sink);
    if (csv != nullptr) {
      *csv = sink.bytes();
    }
  }
  return conversion.console.text();
}

std::string csvToCache(std::string_view csvBytes, std::string* cache) {
  buildCatalogue();
  Conversion conversion;
  if (conversion.document.loadCsvBytes(csvBytes)) {
    conversion.document.rebuildHeader();
    StringSink sink;
    conversion.document.formatCache(sink);
    if (cache != nullptr) {
      *cache = sink.bytes();
    }
  }
  return conversion.console.text();
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "cachesift-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::abort();
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::list() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

std::string shellQuote(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// The command that starts the tool: CACHESIFT_TOOL when set (for instance
// "wine /path/cachesift.exe"), else the executable this build made.
std::string toolCommand() {
  const char* tool = std::getenv("CACHESIFT_TOOL");
  return tool != nullptr && *tool != '\0' ? tool : shellQuote(CACHESIFT_EXE);
}

}  // namespace

RunResult runTool(const std::filesystem::path& directory, const std::vector<std::string>& args,
                  std::string_view prefix, std::string_view tool) {
  std::string command = "cd " + shellQuote(directory.string()) + " && " + std::string(prefix) +
                        " " + (tool.empty() ? toolCommand() : std::string(tool));
  for (const std::string& arg : args) {
    command += " " + shellQuote(arg);
  }
  command += " </dev/null";
  RunResult result;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return result;
  }
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    result.output.append(buffer, got);
  }
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  // The tool always ends with 0; anything else is a crash, or a runner such
  // as valgrind reporting an error.
  EXPECT_EQ(result.exitCode, 0) << command;
  return result;
}

bool toolIsWindows() {
  const char* windows = std::getenv("CACHESIFT_WINDOWS");
  return windows != nullptr && std::string_view(windows) == "1";
}

std::string consoleText(std::string_view text) {
  if (!toolIsWindows()) {
    return std::string(text);
  }
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += '\r';
    }
    out += c;
  }
  return out;
}

}  // namespace cachesift::testing
