// Writes the bundled sample caches, one per known layout, into a directory
// (a client build's own layouts into a folder of that build);
// with "spreadsheet", caches of 20 records whose texts a spreadsheet keeps.
//   make_samples [directory] [spreadsheet]
#include <cstdio>
#include <filesystem>
#include <string>

#include "catalogue/catalogue.h"
#include "samples/sample_maker.h"

int main(int argc, char** argv) {
  const std::string directory = argc > 1 ? argv[1] : ".";
  const bool spreadsheet = argc > 2 && std::string(argv[2]) == "spreadsheet";
  std::uint32_t seed = 1;
  for (const cachesift::FormatDefinition& definition : cachesift::formatCatalogue().definitions()) {
    const std::string bytes = spreadsheet
                                  ? cachesift::samples::makeCache(
                                        definition, 20, 7, cachesift::samples::Texts::kSpreadsheet)
                                  : cachesift::samples::makeCache(definition, 12, seed++);
    const std::string path = directory + "/" + cachesift::samples::samplePath(definition);
    std::error_code ignored;  // a missing folder shows when the file cannot be written
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
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
