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
  d.startLayout(fileName, signature, kLongHeaderFrom);
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

// Adds the layouts of `files` to `layouts`, and what is wrong with them to
// `faults`.
void readFiles(std::span<const LayoutFileText> files, bool user,
               std::vector<FormatDefinition>& layouts, std::vector<LayoutFault>& faults) {
  for (const LayoutFileText& file : files) {
    LayoutFile read = readLayoutFile(file.text);
    if (!read.error.empty()) {
      faults.push_back({std::string(file.name), read.line, read.error, user});
    }
    for (FormatDefinition& layout : read.layouts) {
      layout.user = user;
      const auto earlier = std::find_if(layouts.begin(), layouts.end(),
                                        [&](const auto& e) { return overlap(layout, e); });
      if (earlier == layouts.end()) {
        layouts.push_back(std::move(layout));
      } else {  // the first keeps its builds
        faults.push_back({std::string(file.name), 0,
                          "a second layout of " + layout.fileName + " for build " +
                              std::to_string(std::max(layout.clientBuild, earlier->clientBuild)),
                          user});
      }
    }
  }
}

}  // namespace

const FormatCatalogue& formatCatalogue() {
  buildCatalogue();
  return mutableCatalogue();
}

std::string LayoutFault::message() const {
  if (!user) {
    return file + (line != 0 ? ", line " + std::to_string(line) + ": " : ": ") + what + "\n";
  }
  return "Layout file " + file +
         (line != 0 ? ", line " + std::to_string(line) + ": " + what + "; the file is left out.\n"
                    : ": " + what + "; it is left out.\n");
}

std::vector<LayoutFault> fillCatalogue(FormatCatalogue& catalogue,
                                       std::span<const LayoutFileText> files,
                                       std::span<const LayoutFileText> userFiles) {
  std::vector<FormatDefinition> layouts;
  std::vector<LayoutFault> faults;
  readFiles(files, false, layouts, faults);
  readFiles(userFiles, true, layouts, faults);
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
  return faults;
}

const std::vector<LayoutFault>& buildCatalogue(std::span<const LayoutFileText> userFiles) {
  static const std::vector<LayoutFault> faults =
      fillCatalogue(mutableCatalogue(), layoutFiles(), userFiles);
  return faults;
}

}  // namespace cachesift
