// The process-wide catalogue of layouts, filled from the layout files.

#include "catalogue/catalogue.h"

#include <algorithm>
#include <array>
#include <vector>

#include "catalogue/layout_text.h"

namespace cachesift {
namespace {

FormatCatalogue& mutableCatalogue() {
  static FormatCatalogue catalogue;
  return catalogue;
}

// Caches known only by their records' framing: no layout reads their fields.
constexpr std::array<std::array<std::string_view, 2>, 1> kCachesOfNoLayout = {
    {{"petitioncache.wdb", "NTPW"}}};

// A cache of a build from 9506 on that no layout covers: key, entry size and
// the rest of the record as bytes.
FormatDefinition bytesLayout(std::string_view fileName, std::string_view signature) {
  FormatDefinition d;
  d.startLayout(fileName, signature, 9506);
  d.lastBuild = 0xFFFFFFFF;
  d.asBytes = true;
  d.addField(FieldKind::kU32, "Key");
  d.addField(FieldKind::kU32, "Entry Size");
  return d;
}

// Whether two layouts of one kind, the built-in ones' or the user's, claim a
// cache of one build.
bool overlap(const FormatDefinition& a, const FormatDefinition& b) {
  return a.user == b.user && a.signature == b.signature && a.clientBuild <= b.lastBuild &&
         b.clientBuild <= a.lastBuild;
}

// Adds the layouts of `files` to `layouts`; gives what is wrong with them.
std::string readFiles(std::span<const LayoutFileText> files, bool user,
                      std::vector<FormatDefinition>& layouts) {
  const std::string_view start = user ? "Layout file " : "";
  const std::string_view end = user ? "; it is left out.\n" : "\n";
  std::string problems;
  for (const LayoutFileText& file : files) {
    LayoutFile read = readLayoutFile(file.text);
    if (!read.error.empty()) {
      problems += std::string(start) + std::string(file.name) + ", " + read.error +
                  (user ? "; the file is left out.\n" : "\n");
    }
    for (FormatDefinition& layout : read.layouts) {
      layout.user = user;
      const auto earlier = std::find_if(layouts.begin(), layouts.end(),
                                        [&](const auto& e) { return overlap(layout, e); });
      if (earlier == layouts.end()) {
        layouts.push_back(std::move(layout));
      } else {  // the first keeps its builds
        problems += std::string(start) + std::string(file.name) + ": a second layout of " +
                    layout.fileName + " for build " +
                    std::to_string(std::max(layout.clientBuild, earlier->clientBuild)) +
                    std::string(end);
      }
    }
  }
  return problems;
}

}  // namespace

const FormatCatalogue& formatCatalogue() {
  return mutableCatalogue();
}

std::string fillCatalogue(FormatCatalogue& catalogue, std::span<const LayoutFileText> files,
                          std::span<const LayoutFileText> userFiles) {
  std::vector<FormatDefinition> layouts;
  std::string problems = readFiles(files, false, layouts);
  problems += readFiles(userFiles, true, layouts);
  std::stable_sort(layouts.begin(), layouts.end(),
                   [](const FormatDefinition& a, const FormatDefinition& b) {
                     return a.clientBuild < b.clientBuild;
                   });
  for (FormatDefinition& layout : layouts) {
    if (!layout.framed()) {
      catalogue.append(bytesLayout(layout.fileName, {layout.signature.data(), 4}));
    }
    catalogue.append(std::move(layout));
  }
  for (const auto& [fileName, signature] : kCachesOfNoLayout) {
    catalogue.append(bytesLayout(fileName, signature));
  }
  return problems;
}

std::string buildCatalogue(std::span<const LayoutFileText> userFiles) {
  FormatCatalogue& catalogue = mutableCatalogue();
  return catalogue.definitions().empty() ? fillCatalogue(catalogue, layoutFiles(), userFiles) : "";
}

}  // namespace cachesift
