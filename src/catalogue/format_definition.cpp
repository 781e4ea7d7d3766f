#include "catalogue/format_definition.h"

#include <string>

#include "io/console.h"

namespace cachesift {

void FormatDefinition::addField(FieldType type, std::string_view name) {
  if (nextField >= kMaxFields) {
    return;
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
  keyBytes = 4;
  for (std::size_t i = 0; i < signature.size(); ++i) {
    signature[i] = i < fourChars.size() ? fourChars[i] : '\0';
  }
  fieldCount = 0;
  nextField = 0;
}

const FormatDefinition* FormatCatalogue::findBySignature(const std::array<char, 4>& key,
                                                         std::uint32_t build,
                                                         Console& console) const {
  const FormatDefinition* builtIn = nullptr;
  const FormatDefinition* ofBuild = nullptr;
  for (const FormatDefinition& definition : definitions_) {
    if (definition.signature != key) {
      continue;
    }
    if (definition.clientBuild == 0) {
      builtIn = &definition;
    } else if (definition.clientBuild == build) {
      ofBuild = &definition;
    }
  }
  const FormatDefinition* const match = ofBuild != nullptr ? ofBuild : builtIn;
  if (match != nullptr) {
    console.print("Signature matches " + match->fileName + "\n");
    if (match->framed()) {
      console.print("Layout of client build " + std::to_string(build) + ".\n");
    }
  }
  return match;
}

}  // namespace cachesift
