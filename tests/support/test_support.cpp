#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "app/driver.h"
#include "cachefile/coding.h"
#include "catalogue/catalogue.h"
#include "io/byte_sink.h"

namespace cachesift::testing {

namespace fs = std::filesystem;

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

const std::string kWorkedCache = header("BDNW", 7, "abcd", 8, 1) +
                                 bytes({0x19, 0, 0, 0, 0x0F, 0, 0, 0}) + "Blue Lamp" +
                                 bytes({0, 0x0D, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});

const std::string kWorkedCsv =
    "BDNW,7,abcd,8,1,\r\n"
    "ItemID,Entry Size,Item Name,InventorySlot,\r\n"
    "25,15,\"Blue Lamp\",13,\r\n";

Converted cacheToCsv(std::string_view cache) {
  buildCatalogue();
  Conversion c;
  StringSink sink;
  if (c.document.loadCacheBytes(cache)) {
    c.document.decodeRecords();
    c.document.formatCsv(sink);
  }
  return {c.console.text(), sink.bytes()};
}

Converted csvToCache(std::string_view csv) {
  buildCatalogue();
  Conversion c;
  StringSink sink;
  if (c.document.loadCsvBytes(csv)) {
    c.document.rebuildHeader();
    c.document.formatCache(sink);
  }
  return {c.console.text(), sink.bytes()};
}

const std::vector<FormatDefinition>& layouts() {
  buildCatalogue();
  return formatCatalogue().definitions();
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFiles(const fs::path& root, const Files& files) {
  for (const auto& [name, content] : files) {
    fs::create_directories((root / name).parent_path());
    if (!name.ends_with('/')) {
      std::ofstream(root / name, std::ios::binary) << content;
    }
  }
}

Files readFiles(const fs::path& root) {
  Files files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = entry.path().lexically_relative(root).string();
    if (!entry.is_directory()) {
      files[name] = readFile(entry.path());
    } else if (fs::is_empty(entry.path())) {
      files[name + "/"] = "";
    }
  }
  return files;
}

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "cachesift-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::abort();
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

namespace {

std::string shellQuote(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}

}  // namespace

std::string runTool(const fs::path& directory, const std::vector<std::string>& args,
                    std::string_view prefix, std::string_view tool) {
  // CACHESIFT_TOOL (for instance "wine .../cachesift.exe") or this build's tool.
  const char* chosen = std::getenv("CACHESIFT_TOOL");
  const std::string run = !tool.empty()                       ? std::string(tool)
                          : chosen != nullptr && *chosen != 0 ? std::string(chosen)
                                                              : shellQuote(CACHESIFT_EXE);
  // Wine takes Linux file names in the locale's character set: UTF-8 then.
  std::string command = "cd " + shellQuote(directory.string()) + " && " + std::string(prefix) +
                        (toolIsWindows() ? " LC_ALL=C.UTF-8 " : " ") + run;
  for (const std::string& arg : args) {
    command += " " + shellQuote(arg);
  }
  std::string output;
  std::FILE* pipe = ::popen((command + " </dev/null").c_str(), "r");
  char buffer[4096];
  for (std::size_t got;
       pipe != nullptr && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    output.append(buffer, got);
  }
  const int status = pipe != nullptr ? ::pclose(pipe) : -1;
  // The tool always ends with 0; anything else is a crash, or a runner such as
  // valgrind reporting an error.
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
  return output;
}

bool toolIsWindows() {
  const char* windows = std::getenv("CACHESIFT_WINDOWS");
  return windows != nullptr && std::string_view(windows) == "1";
}

std::string console(std::string_view afterBanner) {
  std::string out;
  for (char c : std::string(kBanner) + std::string(afterBanner)) {
    // Windows' standard output is in text mode: a line feed arrives as CR LF.
    out += c == '\n' && toolIsWindows() ? "\r\n" : std::string(1, c);
  }
  return out;
}

}  // namespace cachesift::testing
