// A layout's fields and columns, its builds line, and the catalogue's look-ups.

#include "catalogue/format_definition.h"

#include "catalogue/prepared_layout.h"

#include <algorithm>
#include <string>

namespace cachesift {

void FormatDefinition::startLayout(std::string_view cacheFileName, std::string_view fourChars,
                                   std::uint32_t build) {
  fileName = cacheFileName;
  clientBuild = build;
  lastBuild = build;
  for (std::size_t i = 0; i < signature.size(); ++i) {
    signature[i] = i < fourChars.size() ? fourChars[i] : '\0';
  }
  nodes.clear();
  columns.clear();
}

void FormatDefinition::addField(FieldKind kind, std::string_view name) {
  LayoutNode& node = nodes.emplace_back();
  node.kind = kind;
  node.column = static_cast<std::int32_t>(columns.size());
  columns.push_back({std::string(name), kind});
}

RecordFraming FormatDefinition::framing() const {
  const LayoutNode& key = nodes[kKeyNode];
  const bool hex = key.kind == FieldKind::kHex;
  return {hex,
          hex ? key.size : 4,
          sizeBias,
          framed(),
          static_cast<std::uint32_t>(headerSize()),
          static_cast<std::uint32_t>(key.column),
          static_cast<std::uint32_t>(nodes[kEntrySizeNode].column)};
}

const PreparedLayout& FormatDefinition::prepared() const {
  if (prepared_ == nullptr) {
    prepared_ = std::make_shared<const PreparedLayout>(prepareLayout(*this));
  }
  return *prepared_;
}

bool FormatDefinition::plainFields() const {
  return std::all_of(nodes.begin() + kFirstFieldNode, nodes.end(), [](const LayoutNode& node) {
    switch (node.kind) {
      case FieldKind::kU8:
      case FieldKind::kU32:
      case FieldKind::kI32:
      case FieldKind::kF32:
      case FieldKind::kText:
      case FieldKind::kHexRest:
        return node.user < 0;
      case FieldKind::kRepeat:
        return node.ref < 0;
      default:
        return false;
    }
  });
}

std::string FormatDefinition::buildsLine(bool byFit) const {
  std::string line = clientBuild == lastBuild
                         ? "Layout of client build " + std::to_string(clientBuild)
                         : "Layout of client builds " + std::to_string(clientBuild) + " to " +
                               std::to_string(lastBuild);
  return line + (byFit ? ", the one that fits these records best.\n" : ".\n");
}

FormatCatalogue::Match FormatCatalogue::findBySignature(const std::array<char, 4>& key,
                                                        std::uint32_t build) const {
  const FormatDefinition* builtIn = nullptr;
  const FormatDefinition* ofBuild = nullptr;
  for (const FormatDefinition& definition : definitions_) {
    if (definition.signature != key) {
      continue;
    }
    if (!definition.framed()) {
      builtIn = &definition;
    } else if (definition.clientBuild <= build && build <= definition.lastBuild &&
               (ofBuild == nullptr || !ofBuild->user)) {
      ofBuild = &definition;
    }
  }
  Match match{ofBuild != nullptr ? ofBuild : builtIn, nullptr};
  for (const FormatDefinition& definition : bytesLayouts_) {
    if (ofBuild == nullptr && definition.signature == key && build >= definition.clientBuild) {
      match.asBytes = &definition;
    }
  }
  return match;
}

std::vector<const FormatDefinition*> FormatCatalogue::candidates(const std::array<char, 4>& key,
                                                                 std::uint32_t build) const {
  std::vector<const FormatDefinition*> found;
  for (const FormatDefinition& definition : definitions_) {
    if (definition.signature == key && definition.longHeader()) {
      found.push_back(&definition);
    }
  }
  // A user's layout of the build comes first.
  const auto distance = [build](const FormatDefinition* d) -> std::int64_t {
    if (d->user && d->clientBuild <= build && build <= d->lastBuild) {
      return -1;
    }
    return build < d->clientBuild ? d->clientBuild - build : build - std::min(build, d->lastBuild);
  };
  std::stable_sort(found.begin(), found.end(),
                   [&](const FormatDefinition* a, const FormatDefinition* b) {
                     return distance(a) < distance(b);
                   });
  return found;
}

}  // namespace cachesift
