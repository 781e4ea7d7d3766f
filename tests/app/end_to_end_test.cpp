// Runs the built executable in a temporary directory and compares its whole
// console output and every file left behind.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>

#include "app/driver.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

namespace fs = std::filesystem;

const std::string kNameMatch = "Signature matches itemnamecache.wdb\n";
const std::string kItemMatch = "Signature matches itemcache.wdb\n";
const std::string kNameLoaded = kNameMatch + "1 records loaded.\n";
const std::string kNameCsvLoaded = kNameMatch + "3 records loaded.\n";
const std::string kNoLayout = "Header does not match any known WDB file.\n";
const std::string kLoadWdbError = "There was an error loading the WDB.\n";
const std::string kLoadCsvError = "There was an error loading the CSV.\n";
const std::string kCannotOpenCsv = "Failed to open file\n" + kLoadCsvError;
const std::string kCsvWriteError = "There was an error creating the CSV file.\n";
const std::string kWdbWriteError = "There was an error creating the WDB file.\n";
// Past a file-size limit of 4 KiB a write fails part-way, as on a full disk;
// with SIGXFSZ ignored it fails with an error instead of killing the tool.
const std::string kSmallDisk = "trap '' XFSZ; ulimit -f 4;";

// One run of the tool: the files before it, its argument ("@" stands for the
// directory's absolute path), what it prints after the banner, and the files
// that differ after it. Files are written "name=content|name=content"; the
// contents CACHE and CSV stand for the worked example's files, ITEM and
// ITEMCSV for the item sample's, and a name ending in "/" is an empty folder.
// A "name:mode" entry sets a file's permissions (octal) before the run.
struct Case {
  std::string before;
  std::string argument;
  std::string afterBanner;
  std::string changed = "";
  std::string prefix = "";
};

const Case kCases[] = {
    {"dir/itemnamecache.wdb=CACHE|dir/itemnamecache.wdb.csv=older, longer", "dir/itemnamecache.wdb",
     kNameLoaded, "dir/itemnamecache.wdb.csv=CSV"},
    {"my dir/Item Names.CSV=CSV|my dir/itemnamecache.wdb=replaced", "my dir/Item Names.CSV",
     kNameCsvLoaded, "my dir/itemnamecache.wdb=CACHE"},
    {"names.csv=CSV", "names.csv", kNameCsvLoaded, "itemnamecache.wdb=CACHE"},
    {"abs/ITEMS.WDB=CACHE", "@/abs/ITEMS.WDB", kNameLoaded, "abs/ITEMS.WDB.csv=CSV"},
    // The folder ends at the last slash or backslash; only Windows has
    // backslashes in its folder names, elsewhere they are part of a name.
    {"a/b\\names.csv=CSV", "a/b\\names.csv", kNameCsvLoaded, "a/b\\itemnamecache.wdb=CACHE"},
    {"short.wdb=BDNW and less", "short.wdb",
     kNameMatch + "The file is too short to hold a WDB header.\n" + kLoadWdbError},
    {"lower.wdb=bdnw and more than twenty bytes", "lower.wdb", kNoLayout + kLoadWdbError},
    {"empty.wdb=", "empty.wdb", kNoLayout + kLoadWdbError},
    {"empty.csv=", "empty.csv", kNoLayout + kLoadCsvError},
    {"lower.csv=bdnw,7,abcd,8,1,", "lower.csv", kNoLayout + kLoadCsvError},
    {"folder.wdb/", "folder.wdb", kLoadWdbError},
    {"folder.csv/", "folder.csv", kCannotOpenCsv},
    {"itemnamecache.wdb=CACHE|itemnamecache.wdb.csv/", "itemnamecache.wdb",
     kNameLoaded + kCsvWriteError},
    {"names.csv=CSV|itemnamecache.wdb/", "names.csv", kNameCsvLoaded + kWdbWriteError},
    {"itemcache.wdb=ITEM|itemcache.wdb.csv=old", "itemcache.wdb",
     kItemMatch + "12 records loaded.\n" + kCsvWriteError, "", kSmallDisk},
    {"itemcache.wdb.csv=ITEMCSV|itemcache.wdb=old", "itemcache.wdb.csv",
     kItemMatch + "14 records loaded.\n" + kWdbWriteError, "", kSmallDisk},
    {"locked.wdb=CACHE|locked.wdb:000", "locked.wdb", kLoadWdbError},
    {"locked.csv=CSV|locked.csv:000", "locked.csv", kCannotOpenCsv},
    {"ro/itemnamecache.wdb=CACHE|ro:555", "ro/itemnamecache.wdb", kNameLoaded + kCsvWriteError},
    {"ro/names.csv=CSV|ro:555", "ro/names.csv", kNameCsvLoaded + kWdbWriteError},
    {"itemnamecache.wdb=CACHE|itemnamecache.wdb.csv=old|itemnamecache.wdb.csv:444",
     "itemnamecache.wdb", kNameLoaded + kCsvWriteError},
    // Names beyond ASCII: on Windows they reach the tool and every file
    // function in UTF-16.
    {"Пример/itemnamecache.wdb=CACHE", "Пример/itemnamecache.wdb", kNameLoaded,
     "Пример/itemnamecache.wdb.csv=CSV"},
    {"Пример/Пример.csv=CSV", "Пример/Пример.csv", kNameCsvLoaded,
     "Пример/itemnamecache.wdb=CACHE"},
    {"中文/中文.csv=CSV", "中文/中文.csv", kNameCsvLoaded, "中文/itemnamecache.wdb=CACHE"},
    {"Café ☕/Ünï.wdb=CACHE", "Café ☕/Ünï.wdb", kNameLoaded, "Café ☕/Ünï.wdb.csv=CSV"},
    // The last three characters choose the direction, in any letter case.
    {"", "wdb", ""},
    {"", "CSV", ""},
    {"", "", ""},
    {"", "data.txt", ""},
    {"", "data.wdb.bak", ""},
    {"", "data.wdx", ""},
    {"", "data.csx", ""},
    {"", "x.wdbÉ", ""},
    {"", "a.WdB", kLoadWdbError},
    {"", "awdb", kLoadWdbError},
    {"", "data.Csv", kCannotOpenCsv},
    {"", "missing/x.csv", kCannotOpenCsv},
};

// On Windows a backslash in a name is a folder separator, and the tool gets
// paths with backslashes, as Explorer hands them over.
std::string native(std::string path, char from, char to) {
  std::replace_if(
      path.begin(), path.end(), [&](char c) { return toolIsWindows() && c == from; }, to);
  return path;
}

// Adds the files of a "name=content|..." text to `files`; gives the "name:mode" entries.
std::map<std::string, fs::perms> parseFiles(std::string_view text, Files& files) {
  static const std::string item = readFile(fs::path(CACHESIFT_SAMPLES_DIR) / "itemcache.wdb");
  static const Files named = {{"CACHE", kWorkedCache},
                              {"CSV", kWorkedCsv},
                              {"ITEM", item},
                              {"ITEMCSV", cacheToCsv(item).file}};
  std::map<std::string, fs::perms> modes;
  for (std::size_t end; !text.empty(); text.remove_prefix(std::min(end, text.size() - 1) + 1)) {
    const std::string entry(text.substr(0, end = text.find('|')));
    const std::size_t equals = entry.find('='), colon = entry.find(':');
    if (colon != std::string::npos) {
      modes[entry.substr(0, colon)] = fs::perms(std::stoi(entry.substr(colon + 1), nullptr, 8));
    } else {
      const std::string content =
          entry.substr(equals == std::string::npos ? entry.size() : equals + 1);
      files[native(entry.substr(0, equals), '\\', '/')] =
          named.contains(content) ? named.at(content) : content;
    }
  }
  return modes;
}

// Permissions do not stop root: as root, the tool runs as the user nobody,
// from a copy that nobody may run wherever the build lies.
std::string toolForNobody() {
  static TempDir copy;
  if (!fs::exists(copy.path() / "tool")) {
    fs::copy_file(CACHESIFT_EXE, copy.path() / "tool");
    fs::permissions(copy.path(), fs::perms::all);
  }
  return (copy.path() / "tool").string();
}

TEST(EndToEnd, Conversions) {
  for (const Case& test : kCases) {
    SCOPED_TRACE(test.argument);
    TempDir dir;
    Files expected;
    const std::map<std::string, fs::perms> modes = parseFiles(test.before, expected);
    parseFiles(test.changed, expected);
    std::string prefix = test.prefix;
    std::string tool;
    if (!modes.empty() && ::geteuid() == 0) {
      if (toolIsWindows()) {
        continue;  // Wine runs only as the owner of its prefix
      }
      fs::permissions(dir.path(), fs::perms::all);
      prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups";
      tool = toolForNobody();
    }
    Files before;
    parseFiles(test.before, before);
    writeFiles(dir.path(), before);
    for (const auto& [name, mode] : modes) {
      fs::permissions(dir.path() / name, mode);
    }
    std::string argument = native(test.argument, '/', '\\');
    if (argument.starts_with('@')) {
      argument.replace(0, 1,
                       native((toolIsWindows() ? "Z:" : "") + dir.path().string(), '/', '\\'));
    }
    EXPECT_EQ(runTool(dir.path(), {argument, "further.csv", "-x"}, prefix, tool),
              console(test.afterBanner));
    for (const auto& [name, mode] : modes) {
      fs::permissions(dir.path() / name, fs::perms::owner_all);
    }
    EXPECT_EQ(readFiles(dir.path()), expected);
  }
}

TEST(EndToEnd, WithoutAnArgumentShowsTheUsage) {
  TempDir dir;
  EXPECT_EQ(runTool(dir.path(), {}), console(kUsage));
  EXPECT_TRUE(readFiles(dir.path()).empty());
}

TEST(EndToEnd, EverySampleConvertsAndComesBack) {
  TempDir dir;
  for (const FormatDefinition& layout : layouts()) {
    const std::string& name = layout.fileName;
    SCOPED_TRACE(name);
    const std::string original = readFile(fs::path(CACHESIFT_SAMPLES_DIR) / name);
    const Converted csv = cacheToCsv(original);
    writeFiles(dir.path(), {{name, original}});
    EXPECT_EQ(runTool(dir.path(), {name}), console(csv.console));
    EXPECT_EQ(readFile(dir.path() / (name + ".csv")), csv.file);
    // The cache it replaces keeps its permissions (Windows keeps none).
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read;
    writeFiles(dir.path(), {{name, "old"}});
    fs::permissions(dir.path() / name, mode);
    EXPECT_EQ(runTool(dir.path(), {name + ".csv"}), console(csvToCache(csv.file).console));
    EXPECT_EQ(readFile(dir.path() / name), original);
    EXPECT_TRUE(toolIsWindows() || fs::status(dir.path() / name).permissions() == mode);
  }
}

}  // namespace
}  // namespace cachesift::testing
