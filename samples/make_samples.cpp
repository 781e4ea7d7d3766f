// Writes the bundled sample caches, one per known layout, into a directory;
// with "spreadsheet", caches of 20 records whose texts a spreadsheet keeps.
//   make_samples [directory] [spreadsheet]
#include <cstdio>
#include <string>

#include "catalogue/catalogue.h"
#include "samples/sample_maker.h"

int main(int argc, char** argv) {
  const std::string directory = argc > 1 ? argv[1] : ".";
  const bool spreadsheet = argc > 2 && std::string(argv[2]) == "spreadsheet";
  cachesift::buildCatalogue();
  std::uint32_t seed = 1;
  for (const cachesift::FormatDefinition& definition : cachesift::formatCatalogue().definitions()) {
    const std::string bytes = spreadsheet
                                  ? cachesift::samples::makeCache(
                                        definition, 20, 7, cachesift::samples::Texts::kSpreadsheet)
                                  : cachesift::samples::makeCache(definition, 12, seed++);
    const std::string path = directory + "/" + definition.fileName;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
        std::fclose(file) != 0) {
      std::printf("could not write %s\n", path.c_str());
      return 1;
    }
    std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
  }
  return 0;
}
