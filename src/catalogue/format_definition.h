#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/field_type.h"

namespace cachesift {

class Console;

inline constexpr std::size_t kMaxFields = 256;

// One known cache layout: its signature, the client's file name for it and
// the type and column name of every field of a record, in record order.
struct FormatDefinition {
  std::array<FieldType, kMaxFields> fieldTypes{};
  std::uint32_t fieldCount = 0;
  std::uint16_t nextField = 0;
  std::array<char, 4> signature{};
  std::array<std::string, kMaxFields> fieldNames;
  std::string fileName;

  // Appends a field; a 257th field is ignored rather than overflowing.
  void addField(std::uint8_t type, std::string_view name);

  // Sets the file name and signature and drops the fields of a previous layout.
  void startLayout(std::string_view cacheFileName, std::string_view fourChars);
};

// The ordered list of all known layouts.
class FormatCatalogue {
 public:
  void append(const FormatDefinition& definition) { definitions_.push_back(definition); }
  const std::vector<FormatDefinition>& definitions() const { return definitions_; }

  // Prints "Signature matches <file name>" for every definition whose
  // signature equals the four key bytes (case counts) and returns the last
  // such definition, or nullptr. The scan never stops early.
  const FormatDefinition* findBySignature(const std::array<char, 4>& key, Console& console) const;

 private:
  std::vector<FormatDefinition> definitions_;
};

}  // namespace cachesift
