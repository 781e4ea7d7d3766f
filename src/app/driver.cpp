// The console program: its banner, its arguments and the direction each names.

#include "app/driver.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/cache_document.h"
#include "app/name_tail.h"
#include "app/user_layouts.h"
#include "catalogue/catalogue.h"
#include "io/console.h"
#include "io/system.h"

namespace cachesift {
namespace {

enum class Outcome { kConverted, kFailed, kNoDirection };

bool cacheToCsv(CacheDocument& document, const std::string& path) {
  if (!document.loadCache(path)) {
    document.console.print("There was an error loading the WDB.\n");
    return false;
  }
  document.decodeRecords();
  if (!document.writeCsv(path)) {
    document.console.print("There was an error creating the CSV file.\n");
    return false;
  }
  return true;
}

bool csvToCache(CacheDocument& document, const std::string& path) {
  if (!document.loadCsv(path)) {
    document.console.print("There was an error loading the CSV.\n");
    return false;
  }
  document.rebuildHeader();
  if (!document.writeCache(path)) {
    document.console.print("There was an error creating the WDB file.\n");
    return false;
  }
  return true;
}

// One file, on a document of its own, so that nothing of one file reaches
// the next. The last three characters choose the direction; a path of three
// or fewer has none.
Outcome convert(const std::string& path, Console& console) {
  CacheDocument document(console);
  Outcome outcome = Outcome::kNoDirection;
  const bool named = path.size() >= 4;
  if (named && endsWithIgnoringCase(path, "wdb")) {
    outcome = cacheToCsv(document, path) ? Outcome::kConverted : Outcome::kFailed;
  } else if (named && endsWithIgnoringCase(path, "csv")) {
    outcome = csvToCache(document, path) ? Outcome::kConverted : Outcome::kFailed;
  }
  document.clear();
  return outcome;
}

// A run of several files names each before its messages and counts them.
class Batch {
 public:
  explicit Batch(Console& console) : console_(console) {}

  void file(const std::string& path) {
    console_.print(path + ":\n");
    const Outcome outcome = convert(path, console_);
    if (outcome == Outcome::kNoDirection) {
      console_.print(kNoDirection);
    }
    ++(outcome == Outcome::kConverted ? converted_ : failed_);
  }

  // The caches directly in a folder, in name order; the rest is left alone.
  void folder(const std::string& path) {
    std::optional<std::vector<std::string>> names = os::filesIn(path);
    if (!names) {
      console_.print(path + std::string(kFolderUnread));
      ++failed_;
      return;
    }
    std::erase_if(*names,
                  [](const std::string& name) { return !endsWithIgnoringCase(name, ".wdb"); });
    std::sort(names->begin(), names->end());
    if (names->empty()) {
      console_.print(path + std::string(kFolderWithoutCaches));
    }
    for (const std::string& name : *names) {
      file(os::pathIn(path, name));
    }
  }

  std::string count() const {
    return std::to_string(converted_) + (converted_ == 1 ? " file" : " files") + " converted, " +
           std::to_string(failed_) + " failed.\n";
  }

 private:
  Console& console_;
  int converted_ = 0;
  int failed_ = 0;
};

}  // namespace

int runDriver(int argc, const char* const* argv, Console& console) {
  console.print(kBanner);
  if (argc < 2) {
    console.print(kUsage);
    return 0;
  }
  // Read once for every file of the run. Faults of the built-in layouts there
  // are none: the tests see to that.
  const UserLayouts user = readUserLayouts(os::programPath());
  console.print(user.problems);
  for (const LayoutFault& fault : buildCatalogue(user.files)) {
    console.print(fault.message());
  }
  if (argc == 2 && !os::isFolder(argv[1])) {
    convert(argv[1], console);
    return 0;
  }
  Batch batch(console);
  for (int i = 1; i < argc; ++i) {
    if (os::isFolder(argv[i])) {
      batch.folder(argv[i]);
    } else {
      batch.file(argv[i]);
    }
  }
  console.print(batch.count());
  return 0;
}

int runTool(int argc, const char* const* argv) {
  StdoutConsole console;
  const int exitCode = runDriver(argc, argv, console);
  holdOwnWindow(console);
  return exitCode;
}

}  // namespace cachesift
