// What a user does: open the tool's CSV in LibreOffice Calc, save it as CSV,
// convert it back. Needs soffice; a missing one fails, never skips.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <map>

#include "app/driver.h"
#include "catalogue/catalogue.h"
#include "csv/csv_reader.h"
#include "samples/sample_maker.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

TEST(LibreOffice, CachesComeBackThroughCalcAndAnEditChangesOnlyItsFields) {
  buildCatalogue();
  TempDir dir;
  std::filesystem::create_directory(dir / "in");
  writeFile(dir / "in" / "other.csv", "Name,Price\nLamp,5\n");
  std::map<std::string, std::string> caches;  // file name to bytes
  for (const FormatDefinition& layout : formatCatalogue().definitions()) {
    caches[layout.fileName] = samples::makeCache(layout, 20, 7, samples::Texts::kSpreadsheet);
    writeFile(dir / "in" / layout.fileName, caches[layout.fileName]);
    runTool(dir / "in", {layout.fileName});
  }
  std::string everyColumnText;  // column/format pairs, 2 is Text
  for (std::size_t column = 1; column <= kMaxFields; ++column) {
    everyColumnText += std::to_string(column) + "/2/";
  }
  // Import: comma, double quote, UTF-8, from line 1, the column formats,
  // quoted fields as text. Save: the same, cells as shown, and text cells
  // quoted only where needed, or all of them.
  for (const std::string& formats : {std::string(), everyColumnText}) {
    const bool asText = !formats.empty();
    const std::filesystem::path out = dir / (asText ? "text" : "standard");
    const std::string command =
        "cd '" + dir.path().string() + "' && soffice -env:UserInstallation=file://" +
        dir.path().string() + "/profile --headless --infilter='CSV:44,34,76,1," + formats +
        ",0,true' --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0," +
        (asText ? "true" : "false") + ",true,true' --outdir '" + out.string() +
        "' in/*.csv >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(
        runTool(out, {"other.csv"}).output,
        std::string(kBanner) +
            "Header does not match any known WDB file.\nThere was an error loading the CSV.\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 10);  // no cache
    for (const auto& [name, cache] : caches) {
      SCOPED_TRACE(out.string() + "/" + name);
      runTool(out, {name + ".csv"});
      EXPECT_EQ(readFile(out / name), cache);
    }
  }
  // Edit the first record of a saved file: a text and a number.
  const std::filesystem::path saved = dir / "standard" / "itemnamecache.wdb.csv";
  std::vector<TextRow> expected = splitCsvRows(readFile(dir / "in" / "itemnamecache.wdb.csv"));
  const TextRow record = expected[2];
  expected[2] = {record.cell(0), record.cell(1), "Pink, Lamp", "77"};
  std::string csv = readFile(saved);
  const std::size_t start = csv.find('\n', csv.find('\n') + 1) + 1;
  csv.replace(
      start, csv.find('\n', start) - start,
      std::string(record.cell(0)) + "," + std::string(record.cell(1)) + ",\"Pink, Lamp\",77");
  writeFile(saved, csv);
  runTool(saved.parent_path(), {saved.filename().string()});
  std::string edited;
  cacheToCsv(readFile(dir / "standard" / "itemnamecache.wdb"), &edited);
  EXPECT_EQ(splitCsvRows(edited), expected);
}

}  // namespace
}  // namespace cachesift::testing
