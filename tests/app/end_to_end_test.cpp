// Runs the built executable in a temporary directory and compares its whole
// console output and the files it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <unistd.h>

#include "app/driver.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

namespace fs = std::filesystem;

std::string console(std::string_view afterBanner) {
  return consoleText(std::string(kBanner) + std::string(afterBanner));
}

const std::string kNameLoaded = "Signature matches itemnamecache.wdb\n1 records loaded.\n";
const std::string kNameCsvLoaded = "Signature matches itemnamecache.wdb\n3 records loaded.\n";

TEST(EndToEnd, WithoutAnArgumentShowsBannerAndUsage) {
  TempDir dir;
  const RunResult run = runTool(dir.path(), {});
  EXPECT_EQ(run.output, console(kUsage));
  EXPECT_TRUE(run.output.starts_with("** Cachesift**"));
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(dir.list().empty());
}

TEST(EndToEnd, CacheToCsvBesideTheCacheReplacingAnOldCsv) {
  TempDir dir;
  fs::create_directories(dir / "some/dir");
  writeFile(dir / "some/dir/itemnamecache.wdb", kWorkedCache);
  writeFile(dir / "some/dir/itemnamecache.wdb.csv", "an older, longer file that must go entirely");
  const RunResult run = runTool(dir.path(), {"some/dir/itemnamecache.wdb"});
  EXPECT_EQ(run.output, console(kNameLoaded));
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(readFile(dir / "some/dir/itemnamecache.wdb.csv"), kWorkedCsv);
  EXPECT_EQ(fs::directory_entry(dir / "some/dir").exists(), true);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "some/dir"), fs::directory_iterator()), 2);
}

TEST(EndToEnd, CsvToCacheIntoTheCsvsDirectoryUnderTheLayoutsName) {
  TempDir dir;
  fs::create_directories(dir / "sub");
  writeFile(dir / "sub/edited.CSV", kWorkedCsv);
  writeFile(dir / "sub/itemnamecache.wdb", "the cache this replaces");
  const RunResult run = runTool(dir.path(), {"sub/edited.CSV"});
  EXPECT_EQ(run.output, console(kNameCsvLoaded));
  EXPECT_EQ(readFile(dir / "sub/itemnamecache.wdb"), kWorkedCache);
  EXPECT_EQ(dir.list(), std::vector<std::string>{"sub"});
}

TEST(EndToEnd, CsvWithoutADirectoryPartWritesIntoTheCurrentDirectory) {
  TempDir dir;
  writeFile(dir / "names.csv", kWorkedCsv);
  const RunResult run = runTool(dir.path(), {"names.csv"});
  EXPECT_EQ(run.output, console(kNameCsvLoaded));
  EXPECT_EQ(readFile(dir / "itemnamecache.wdb"), kWorkedCache);
}

// Paths as users give them: with directories, spaces, upper-case extensions,
// absolute. Only Windows takes the backslash as a separator; elsewhere it is
// part of a file name, and the cache file's directory still ends at it.
TEST(EndToEnd, PathsWithDirectoriesSpacesAndUpperCase) {
  struct Case {
    std::string argument;  // as the tool gets it
    std::string input;     // where the input file is, from the directory
    std::string output;    // where the output must be
  };
  TempDir dir;
  std::string absolute = dir.path().string();
  std::vector<Case> cases;
  if (toolIsWindows()) {
    std::replace(absolute.begin(), absolute.end(), '/', '\\');
    cases = {
        {"sub\\names.csv", "sub/names.csv", "sub/itemnamecache.wdb"},
        {"Z:" + absolute + "\\abs\\names.csv", "abs/names.csv", "abs/itemnamecache.wdb"},
        {"my files\\Item Names.CSV", "my files/Item Names.CSV", "my files/itemnamecache.wdb"},
        {"sub\\upper\\ITEMS.WDB", "sub/upper/ITEMS.WDB", "sub/upper/ITEMS.WDB.csv"},
        {"mixed/dir\\names.csv", "mixed/dir/names.csv", "mixed/dir/itemnamecache.wdb"},
    };
  } else {
    cases = {
        {"sub/names.csv", "sub/names.csv", "sub/itemnamecache.wdb"},
        {absolute + "/abs/names.csv", "abs/names.csv", "abs/itemnamecache.wdb"},
        {"my files/Item Names.CSV", "my files/Item Names.CSV", "my files/itemnamecache.wdb"},
        {"sub/upper/ITEMS.WDB", "sub/upper/ITEMS.WDB", "sub/upper/ITEMS.WDB.csv"},
        {"sub\\names.csv", "sub\\names.csv", "sub\\itemnamecache.wdb"},
    };
  }
  for (const Case& test : cases) {
    SCOPED_TRACE(test.argument);
    const bool toCsv = test.input.ends_with("WDB");
    fs::create_directories((dir / test.input).parent_path());
    writeFile(dir / test.input, toCsv ? kWorkedCache : kWorkedCsv);
    EXPECT_EQ(runTool(dir.path(), {test.argument}).output,
              console(toCsv ? kNameLoaded : kNameCsvLoaded));
    EXPECT_EQ(readFile(dir / test.output), toCsv ? kWorkedCsv : kWorkedCache);
  }
}

// Folder and file names in Cyrillic, Chinese, with an accent and an emoji:
// on Windows they reach the tool and every file function in UTF-16. Wine
// takes the Linux names in the locale's character set, which must be UTF-8.
TEST(EndToEnd, NamesBeyondAsciiInBothDirections) {
  TempDir dir;
  const std::string_view utf8 = toolIsWindows() ? "LC_ALL=C.UTF-8" : "";
  for (const std::string name : {"Пример", "中文", "Café ☕"}) {
    SCOPED_TRACE(name);
    fs::create_directory(dir / name);
    writeFile(dir / name / "itemnamecache.wdb", kWorkedCache);
    EXPECT_EQ(runTool(dir.path(), {name + "/itemnamecache.wdb"}, utf8).output,
              console(kNameLoaded));
    fs::rename(dir / name / "itemnamecache.wdb.csv", dir / name / (name + ".csv"));
    fs::remove(dir / name / "itemnamecache.wdb");
    EXPECT_EQ(runTool(dir.path(), {name + "/" + name + ".csv"}, utf8).output,
              console(kNameCsvLoaded));
    EXPECT_EQ(readFile(dir / name / (name + ".csv")), kWorkedCsv);
    EXPECT_EQ(readFile(dir / name / "itemnamecache.wdb"), kWorkedCache);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / name), fs::directory_iterator()), 2);
  }
}

TEST(EndToEnd, OutputToAFileKeepsItsOrder) {
  TempDir dir;
  writeFile(dir / "itemnamecache.wdb", kWorkedCache);
  fs::create_directory(dir / "itemnamecache.wdb.csv");  // makes the last step fail
  runTool(dir.path(), {"itemnamecache.wdb"}, "exec >console.txt;");
  EXPECT_EQ(readFile(dir / "console.txt"),
            console(kNameLoaded + "There was an error creating the CSV file.\n"));
}

TEST(EndToEnd, EverySampleConvertsAndComesBack) {
  TempDir dir;
  for (const auto& entry : fs::directory_iterator(CACHESIFT_SAMPLES_DIR)) {
    if (entry.path().extension() != ".wdb") {
      continue;
    }
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    const std::string original = readFile(entry.path());
    writeFile(dir / name, original);
    std::string expectedCsv;
    const std::string expectedConsole = cacheToCsv(original, &expectedCsv);
    EXPECT_EQ(runTool(dir.path(), {name}).output, console(expectedConsole));
    EXPECT_EQ(readFile(dir / (name + ".csv")), expectedCsv);
    fs::remove(dir / name);
    EXPECT_EQ(runTool(dir.path(), {name + ".csv"}).output, console(csvToCache(expectedCsv)));
    EXPECT_EQ(readFile(dir / name), original);
  }
}

TEST(EndToEnd, TheLastThreeCharactersChooseTheDirection) {
  struct Case {
    std::string path;
    std::string afterBanner;
  };
  const std::string wdbError = "There was an error loading the WDB.\n";
  const std::string csvError = "Failed to open file\nThere was an error loading the CSV.\n";
  const Case cases[] = {
      {"wdb", ""},
      {"CSV", ""},
      {"", ""},
      {"data.txt", ""},
      {"data.wdb.bak", ""},
      {"a.WdB", wdbError},
      {"awdb", wdbError},
      {"data.Csv", csvError},
      {"missing/x.csv", csvError},
      {"x.wdB\xE9", ""},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.path);
    TempDir dir;
    const RunResult run = runTool(dir.path(), {test.path});
    EXPECT_EQ(run.output, console(test.afterBanner));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(dir.list().empty());
  }
}

TEST(EndToEnd, FurtherArgumentsAreIgnored) {
  TempDir dir;
  writeFile(dir / "itemnamecache.wdb", kWorkedCache);
  const RunResult run = runTool(dir.path(), {"itemnamecache.wdb", "other.csv", "-x"});
  EXPECT_EQ(run.output, console(kNameLoaded));
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"itemnamecache.wdb", "itemnamecache.wdb.csv"}));
}

TEST(EndToEnd, RefusedInputsPrintTheStepsWordsThenTheDrivers) {
  struct Case {
    std::string name;
    std::string content;
    std::string afterBanner;
  };
  const std::string noLayout = "Header does not match any known WDB file.\n";
  const Case cases[] = {
      {"short.wdb", kWorkedCache.substr(0, 10),
       "Signature matches itemnamecache.wdb\nThe file is too short to hold a WDB header.\n"
       "There was an error loading the WDB.\n"},
      {"lower.wdb", "bdnw" + kWorkedCache.substr(4),
       noLayout + "There was an error loading the WDB.\n"},
      {"empty.wdb", "", noLayout + "There was an error loading the WDB.\n"},
      {"empty.csv", "", noLayout + "There was an error loading the CSV.\n"},
      {"lower.csv", "bdnw" + kWorkedCsv.substr(4),
       noLayout + "There was an error loading the CSV.\n"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    TempDir dir;
    writeFile(dir / test.name, test.content);
    EXPECT_EQ(runTool(dir.path(), {test.name}).output, console(test.afterBanner));
    EXPECT_EQ(dir.list(), std::vector<std::string>{test.name});
  }
}

TEST(EndToEnd, ADirectoryAsInputCannotBeOpened) {
  TempDir dir;
  fs::create_directory(dir / "folder.wdb");
  fs::create_directory(dir / "folder.csv");
  EXPECT_EQ(runTool(dir.path(), {"folder.wdb"}).output,
            console("There was an error loading the WDB.\n"));
  EXPECT_EQ(runTool(dir.path(), {"folder.csv"}).output,
            console("Failed to open file\nThere was an error loading the CSV.\n"));
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"folder.csv", "folder.wdb"}));
}

TEST(EndToEnd, AnOutputThatCannotBeOpenedFailsAndLeavesNothing) {
  TempDir dir;
  writeFile(dir / "itemnamecache.wdb", kWorkedCache);
  fs::create_directory(dir / "itemnamecache.wdb.csv");
  EXPECT_EQ(runTool(dir.path(), {"itemnamecache.wdb"}).output,
            console(kNameLoaded + "There was an error creating the CSV file.\n"));
  fs::remove(dir / "itemnamecache.wdb");
  fs::remove(dir / "itemnamecache.wdb.csv");
  writeFile(dir / "names.csv", kWorkedCsv);
  fs::create_directory(dir / "itemnamecache.wdb");
  EXPECT_EQ(runTool(dir.path(), {"names.csv"}).output,
            console(kNameCsvLoaded + "There was an error creating the WDB file.\n"));
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"itemnamecache.wdb", "names.csv"}));
}

TEST(EndToEnd, UnreadableInputsAndReadOnlyFoldersAndFiles) {
  // Permissions do not stop root: as root, the tool runs as the user nobody,
  // from a copy that nobody may run wherever the build lies.
  const bool root = ::geteuid() == 0;
  if (root && toolIsWindows()) {
    GTEST_SKIP() << "Wine runs only as the owner of its prefix";
  }
  TempDir dir;
  fs::permissions(dir.path(), fs::perms::all);
  std::string asUser;
  std::string tool;
  if (root) {
    fs::copy_file(kBuiltTool, dir / "tool");
    fs::permissions(dir / "tool", fs::perms::all);
    asUser = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    tool = (dir / "tool").string();
  }
  for (const char* name : {"locked.wdb", "locked.csv"}) {
    writeFile(dir / name, kWorkedCache);
    fs::permissions(dir / name, fs::perms::none);
  }
  EXPECT_EQ(runTool(dir.path(), {"locked.wdb"}, asUser, tool).output,
            console("There was an error loading the WDB.\n"));
  EXPECT_EQ(runTool(dir.path(), {"locked.csv"}, asUser, tool).output,
            console("Failed to open file\nThere was an error loading the CSV.\n"));

  fs::create_directory(dir / "ro");
  writeFile(dir / "ro/itemnamecache.wdb", kWorkedCache);
  writeFile(dir / "ro/names.csv", kWorkedCsv);
  fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec |
                                  fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  EXPECT_EQ(runTool(dir.path(), {"ro/itemnamecache.wdb"}, asUser, tool).output,
            console(kNameLoaded + "There was an error creating the CSV file.\n"));
  EXPECT_EQ(runTool(dir.path(), {"ro/names.csv"}, asUser, tool).output,
            console(kNameCsvLoaded + "There was an error creating the WDB file.\n"));
  fs::permissions(dir / "ro", fs::perms::owner_all);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "ro"), fs::directory_iterator()), 2);

  fs::create_directory(dir / "rw");
  fs::permissions(dir / "rw", fs::perms::all);
  writeFile(dir / "rw/itemnamecache.wdb", kWorkedCache);
  writeFile(dir / "rw/itemnamecache.wdb.csv", "read-only csv");
  fs::permissions(dir / "rw/itemnamecache.wdb.csv", fs::perms::owner_read);
  EXPECT_EQ(runTool(dir.path(), {"rw/itemnamecache.wdb"}, asUser, tool).output,
            console(kNameLoaded + "There was an error creating the CSV file.\n"));
  fs::permissions(dir / "rw/itemnamecache.wdb.csv", fs::perms::owner_all);
  EXPECT_EQ(readFile(dir / "rw/itemnamecache.wdb.csv"), "read-only csv");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "rw"), fs::directory_iterator()), 2);
}

TEST(EndToEnd, AWriteThatFailsPartWayKeepsTheOldFile) {
  // A file-size limit of 4 KiB makes the write fail part-way; the CSV of the
  // item sample is larger. With SIGXFSZ ignored the write fails with an error
  // instead of killing the process (as a full disk would).
  const std::string_view limit = "trap '' XFSZ; ulimit -f 4;";
  TempDir dir;
  const std::string sample = readFile(std::string(CACHESIFT_SAMPLES_DIR) + "/itemcache.wdb");
  writeFile(dir / "itemcache.wdb", sample);
  writeFile(dir / "itemcache.wdb.csv", "old csv");
  const RunResult toCsv = runTool(dir.path(), {"itemcache.wdb"}, limit);
  EXPECT_EQ(toCsv.output, console("Signature matches itemcache.wdb\n12 records loaded.\n"
                                  "There was an error creating the CSV file.\n"));
  EXPECT_EQ(readFile(dir / "itemcache.wdb.csv"), "old csv");

  std::string csv;
  cacheToCsv(sample, &csv);
  writeFile(dir / "itemcache.wdb.csv", csv);
  writeFile(dir / "itemcache.wdb", "old cache");
  const RunResult toCache = runTool(dir.path(), {"itemcache.wdb.csv"}, limit);
  EXPECT_EQ(toCache.output, console("Signature matches itemcache.wdb\n14 records loaded.\n"
                                    "There was an error creating the WDB file.\n"));
  EXPECT_EQ(readFile(dir / "itemcache.wdb"), "old cache");
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"itemcache.wdb", "itemcache.wdb.csv"}));
}

}  // namespace
}  // namespace cachesift::testing
