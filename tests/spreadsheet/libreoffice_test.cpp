// What a user does: opens the tool's CSV in LibreOffice Calc, saves it as CSV
// and converts it back (here in memory; the files are the tool's own, byte
// for byte). Needs soffice: without it the test fails.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <tuple>

#include "samples/sample_maker.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

namespace fs = std::filesystem;

TEST(LibreOffice, CachesComeBackThroughCalcAndAnEditChangesOnlyItsFields) {
  std::string folder = (fs::temp_directory_path() / "cachesift-calc-XXXXXX").string();
  ASSERT_NE(::mkdtemp(folder.data()), nullptr);
  const fs::path dir = folder;
  std::map<std::string, std::string> in = {{"other.csv", "Name,Price\nLamp,5\n"}};
  for (const FormatDefinition& layout : layouts()) {
    in[layout.fileName] = samples::makeCache(layout, 20, 7, samples::Texts::kSpreadsheet);
    in[layout.fileName + ".csv"] = cacheToCsv(in[layout.fileName]).file;
  }
  fs::create_directory(dir / "in");
  for (const auto& [name, content] : in) {
    std::ofstream(dir / "in" / name, std::ios::binary) << content;
  }
  std::string everyColumnText;  // column/format pairs; 2 is Text
  for (std::size_t column = 1; column <= kMaxFields; ++column) {
    everyColumnText += std::to_string(column) + "/2/";
  }
  // Import: comma, double quote, UTF-8, from line 1, the column formats,
  // quoted fields as text. Save: the same, with text cells quoted where
  // needed, or all of them.
  for (const std::string& formats : {std::string(), everyColumnText}) {
    const fs::path out = dir / (formats.empty() ? "standard" : "text");
    const std::string command =
        "cd '" + dir.string() + "' && soffice -env:UserInstallation=file://" + dir.string() +
        "/profile --headless --infilter='CSV:44,34,76,1," + formats +
        ",0,true' --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0," +
        (formats.empty() ? "false" : "true") + ",true,true' --outdir '" + out.string() +
        "' in/*.csv >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(csvToCache(readFile(out / "other.csv")),
              (Converted{"Header does not match any known WDB file.\n", ""}));
    for (const FormatDefinition& layout : layouts()) {
      EXPECT_EQ(csvToCache(readFile(out / (layout.fileName + ".csv"))).file, in[layout.fileName])
          << out / layout.fileName;
    }
  }
  // A text and a number of the first record, edited in the saved file.
  const auto firstRecord = [](const std::string& csv) {
    const std::size_t start = csv.find('\n', csv.find('\n') + 1) + 1;
    return std::pair(start, csv.find(',', csv.find(',', start) + 1) + 1);  // after id and size
  };
  std::string edited = readFile(dir / "standard" / "itemnamecache.wdb.csv");
  auto [start, text] = firstRecord(edited);
  edited.replace(text, edited.find('\n', start) - text, "\"Pink, Lamp\",77");
  std::string expected = in["itemnamecache.wdb.csv"];
  std::tie(start, text) = firstRecord(expected);
  expected.replace(text, expected.find('\r', start) - text, "\"Pink, Lamp\",77,");
  EXPECT_EQ(cacheToCsv(csvToCache(edited).file).file, expected);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace cachesift::testing
