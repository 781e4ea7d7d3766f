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
  // The client build whose files this layout reads, or 0 for the built-in
  // layouts, which read the files of every other build. A build's own layouts
  // frame each record by its entry size.
  std::uint32_t clientBuild = 0;
  // The width of field 0, the record key.
  std::uint32_t keyBytes = 4;

  // Appends a field; a 257th field is ignored rather than overflowing.
  void addField(FieldType type, std::string_view name);

  // Sets the file name, signature and build, and drops the fields of a
  // previous layout.
  void startLayout(std::string_view cacheFileName, std::string_view fourChars,
                   std::uint32_t build = 0);

  bool framed() const { return clientBuild != 0; }
  // The client's header grew a sixth word in build 9506.
  std::size_t headerSize() const { return clientBuild >= 9506 ? 24 : 20; }
};

// The ordered list of all known layouts.
class FormatCatalogue {
 public:
  void append(const FormatDefinition& definition) { definitions_.push_back(definition); }
  const std::vector<FormatDefinition>& definitions() const { return definitions_; }

  // The layout of a file by its signature (the four key bytes, case counts)
  // and its client build: that build's own layout where it has one, else the
  // built-in one, or nullptr. Prints "Signature matches <file name>", and for
  // a build's own layout which build it is.
  const FormatDefinition* findBySignature(const std::array<char, 4>& key, std::uint32_t build,
                                          Console& console) const;

 private:
  std::vector<FormatDefinition> definitions_;
};

}  // namespace cachesift
