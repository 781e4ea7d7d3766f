#include "catalogue/format_definition.h"

#include <string>

#include "io/console.h"

namespace cachesift {

void FormatDefinition::addField(std::uint8_t type, std::string_view name) {
  if (nextField >= kMaxFields) {
    return;
  }
  fieldTypes[nextField] = type;
  fieldNames[nextField] = name;
  ++nextField;
  ++fieldCount;
}

void FormatDefinition::startLayout(std::string_view cacheFileName, std::string_view fourChars) {
  fileName = cacheFileName;
  for (std::size_t i = 0; i < signature.size(); ++i) {
    signature[i] = i < fourChars.size() ? fourChars[i] : '\0';
  }
  fieldCount = 0;
  nextField = 0;
}

const FormatDefinition* FormatCatalogue::findBySignature(const std::array<char, 4>& key,
                                                         Console& console) const {
  const FormatDefinition* match = nullptr;
  for (const FormatDefinition& definition : definitions_) {
    if (definition.signature == key) {
      console.print("Signature matches " + definition.fileName + "\n");
      match = &definition;
    }
  }
  return match;
}

}  // namespace cachesift
