// The check of derived layouts: leaves one built-in layout file out of the
// catalogue and reads caches of its form. Each must read whole by a derived
// layout, come back byte for byte from its CSV alone, and give in at least
// 90 % of the columns that the left-out layout names the cells that layout
// gives. Prints the changes found and the time the choice took.
//   derive_check <layout files left out, as "creature-53262.layout" or "a.layout,b.layout">
//                <cache>...
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "cachefile/conversion.h"
#include "catalogue/catalogue.h"
#include "csv/text_row.h"

namespace {

using namespace cachesift;

std::string readFile(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

struct Csv {
  std::string text;
  std::string console;
};

Csv toCsv(std::string_view cache, const FormatCatalogue& catalogue) {
  LoadedCache loaded = loadCacheBytes(cache, catalogue);
  Csv csv{{}, loaded.console};
  if (!loaded.ok) {
    return csv;
  }
  const DecodedRecords records = decodeRecords(loaded);
  csv.console += records.console;
  StringSink sink;
  formatCsv(loaded, records, sink);
  csv.text = sink.bytes();
  return csv;
}

// The cells of each row after the first, under the second row's names.
std::vector<std::map<std::string, std::string>> cellsByName(std::string_view text) {
  std::vector<TextRow> rows;
  for (TextRow row; !text.empty() && row.read(text);) {
    rows.push_back(row);
  }
  std::vector<std::string> names;
  for (TextRow::Cursor cursor(rows.at(1)); !cursor.done();) {
    names.push_back(cursor.nextText());
  }
  std::vector<std::map<std::string, std::string>> records;
  for (std::size_t r = 2; r < rows.size(); ++r) {
    std::map<std::string, std::string>& cells = records.emplace_back();
    TextRow::Cursor cursor(rows[r]);
    for (std::size_t k = 0; k < names.size() && !cursor.done(); ++k) {
      cells[names[k]] = cursor.nextText();
    }
  }
  return records;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: derive_check <layout file left out> <cache>...\n");
    return 2;
  }
  FormatCatalogue all;
  FormatCatalogue without;
  fillCatalogue(all, layoutFiles());
  std::vector<LayoutFileText> kept;
  for (const LayoutFileText& file : layoutFiles()) {
    const std::string name(file.name.substr(file.name.find_last_of('/') + 1));
    if (("," + std::string(argv[1]) + ",").find("," + name + ",") == std::string::npos) {
      kept.push_back(file);
    }
  }
  fillCatalogue(without, kept);
  int failed = 0;
  for (int k = 2; k < argc; ++k) {
    const std::string cache = readFile(argv[k]);
    const auto start = std::chrono::steady_clock::now();
    const Csv derived = toCsv(cache, without);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const Csv truth = toCsv(cache, all);
    // The way back, by the CSV alone.
    LoadedCsv loaded = loadCsvBytes(derived.text, without);
    StringSink back;
    std::string refusal;
    const bool written = loaded.ok && formatCache(loaded, headerOfCsv(loaded), back, refusal);
    const bool same = written && back.bytes() == cache;
    // The columns that the true layout names, cell by cell.
    const auto ours = cellsByName(derived.text);
    const auto theirs = cellsByName(truth.text);
    std::map<std::string, std::size_t> differing;
    for (std::size_t r = 0; r < theirs.size() && r < ours.size(); ++r) {
      for (const auto& [name, cell] : theirs[r]) {
        const auto found = ours[r].find(name);
        differing[name] += found == ours[r].end() || found->second != cell ? 1 : 0;
      }
    }
    std::size_t held = 0;
    std::string moved;
    for (const auto& [name, count] : differing) {
      held += count == 0 ? 1 : 0;
      moved += count == 0 ? "" : " \"" + name + "\"";
    }
    const double share = differing.empty() ? 0 : double(held) / double(differing.size());
    const bool whole = derived.console.find("No layout fits every record") != std::string::npos &&
                       derived.console.find("WARNING") == std::string::npos;
    const bool ok = whole && same && share >= 0.9;
    failed += ok ? 0 : 1;
    std::printf("%s %s: %.2f s, columns held %zu of %zu (%.0f %%), back %s\n%s%s%s\n",
                ok ? "PASS" : "FAIL", argv[k], seconds, held, differing.size(), share * 100,
                same ? "byte for byte" : "DIFFERENT", moved.empty() ? "" : "Other cells in:",
                (moved + (moved.empty() ? "" : "\n")).c_str(), derived.console.c_str());
  }
  return failed == 0 ? 0 : 1;
}
