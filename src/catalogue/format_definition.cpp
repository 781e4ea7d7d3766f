#include "catalogue/format_definition.h"

#include <string>

#include "io/console.h"

namespace cachesift {

void FormatDefinition::addField(FieldType type, std::string_view name) {
  if (nextField >= kMaxColumns) {
    return;
  }
  // A restarted layout keeps the slots of an earlier one, and overwrites them.
  if (fieldTypes.size() <= nextField) {
    fieldTypes.resize(nextField + 1u);
    fieldNames.resize(nextField + 1u);
  }
  fieldTypes[nextField] = type;
  fieldNames[nextField] = name;
  ++nextField;
  ++fieldCount;
}

void FormatDefinition::startLayout(std::string_view cacheFileName, std::string_view fourChars,
                                   std::uint32_t build) {
  fileName = cacheFileName;
  clientBuild = build;
  lastBuild = build;
  keyBytes = 4;
  for (std::size_t i = 0; i < signature.size(); ++i) {
    signature[i] = i < fourChars.size() ? fourChars[i] : '\0';
  }
  fieldCount = 0;
  nextField = 0;
}

FormatCatalogue::Match FormatCatalogue::findBySignature(const std::array<char, 4>& key,
                                                        std::uint32_t build,
                                                        Console& console) const {
  const FormatDefinition* builtIn = nullptr;
  const FormatDefinition* ofBuild = nullptr;
  for (const FormatDefinition& definition : definitions_) {
    if (definition.signature != key) {
      continue;
    }
    if (!definition.framed()) {
      builtIn = &definition;
    } else if (definition.clientBuild <= build && build <= definition.lastBuild) {
      ofBuild = &definition;
    }
  }
  Match match{ofBuild != nullptr ? ofBuild : builtIn, nullptr};
  for (const FormatDefinition& definition : bytesLayouts_) {
    if (ofBuild == nullptr && definition.signature == key && build >= definition.clientBuild) {
      match.asBytes = &definition;
    }
  }
  const FormatDefinition* const named = match.layout != nullptr ? match.layout : match.asBytes;
  if (named != nullptr) {
    console.print("Signature matches " + named->fileName + "\n");
  }
  if (ofBuild == nullptr) {
    return match;
  }
  if (ofBuild->ofOneBuild()) {
    console.print("Layout of client build " + std::to_string(build) + ".\n");
  } else {
    console.print("Layout of client builds " + std::to_string(ofBuild->clientBuild) + " to " +
                  std::to_string(ofBuild->lastBuild) + ".\n");
  }
  return match;
}

}  // namespace cachesift
