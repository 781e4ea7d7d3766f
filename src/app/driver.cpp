// The console program: its banner, its argument and the direction it names.

#include "app/driver.h"

#include <string>

#include "app/cache_document.h"
#include "app/user_layouts.h"
#include "catalogue/catalogue.h"
#include "io/console.h"
#include "io/system.h"

namespace cachesift {
namespace {

// Compares ignoring the case of the ASCII letters A to Z only.
bool tailIs(std::string_view path, std::string_view lowerTail) {
  const std::string_view tail = path.substr(path.size() - lowerTail.size());
  for (std::size_t i = 0; i < tail.size(); ++i) {
    char c = tail[i];
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
    if (c != lowerTail[i]) {
      return false;
    }
  }
  return true;
}

void cacheToCsv(CacheDocument& document, const std::string& path) {
  if (!document.loadCache(path)) {
    document.console.print("There was an error loading the WDB.\n");
    return;
  }
  document.decodeRecords();
  if (!document.writeCsv(path)) {
    document.console.print("There was an error creating the CSV file.\n");
  }
}

void csvToCache(CacheDocument& document, const std::string& path) {
  if (!document.loadCsv(path)) {
    document.console.print("There was an error loading the CSV.\n");
    return;
  }
  document.rebuildHeader();
  if (!document.writeCache(path)) {
    document.console.print("There was an error creating the WDB file.\n");
  }
}

}  // namespace

int runDriver(int argc, const char* const* argv, Console& console) {
  console.print(kBanner);
  if (argc < 2) {
    console.print(kUsage);
    return 0;
  }
  CacheDocument document(console);
  // Faults of the built-in layouts there are none: the tests see to that.
  const UserLayouts user = readUserLayouts(os::programPath());
  console.print(user.problems + buildCatalogue(user.files));
  const std::string path = argv[1];
  if (path.size() >= 4) {
    if (tailIs(path, "wdb")) {
      cacheToCsv(document, path);
    } else if (tailIs(path, "csv")) {
      csvToCache(document, path);
    }
  }
  document.clear();
  return 0;
}

int runTool(int argc, const char* const* argv) {
  StdoutConsole console;
  const int exitCode = runDriver(argc, argv, console);
  holdOwnWindow(console);
  return exitCode;
}

}  // namespace cachesift
