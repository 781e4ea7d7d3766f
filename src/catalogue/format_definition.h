#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalogue/field_type.h"

namespace cachesift {

class Console;

// The columns of a flat layout, whose fast conversions keep a record's cells
// at hand, and of any other.
inline constexpr std::size_t kMaxFields = 256;
inline constexpr std::size_t kMaxColumns = 2048;

// The kinds of field that a layout file names. A layout of only u8, u32, i32,
// f32, zero-terminated texts and hexadecimal keys and rests is flat: its
// fields also stand in `fieldTypes`, which the fast conversions walk.
enum class FieldKind : std::uint8_t {
  kU8,
  kU16,
  kU32,
  kU64,
  kI8,
  kI16,
  kI32,
  kI64,
  kF32,
  kF64,
  kText,         // ends at a zero byte
  kSizedText,    // as many bytes as an earlier field says
  kSizedTextZ,   // as many bytes as an earlier field says, the last its zero
  kSizedTextZ0,  // the same, but an empty one is no byte at all, its length 0
  kHex,          // `size` bytes as hexadecimal
  kHexRest,      // the rest of the record as hexadecimal
  kBits,         // `size` bits, the most significant first
  kAlign,        // the next bit field starts at a whole byte
  kRepeat,       // the nodes up to `end`, `size` times or as an earlier field says
  kIf,           // the nodes up to `end`, when an earlier field has a value
};

// One field or block of a record after its key and entry size. A block's
// body is the nodes after it, up to `end`.
struct LayoutNode {
  FieldKind kind = FieldKind::kU32;
  std::uint32_t size = 0;     // bytes of kHex, bits of kBits, times of a fixed kRepeat
  std::int32_t column = -1;   // from its element's first column; a repeat's first column
  std::int32_t slot = -1;     // where its value is kept for the fields after it, or -1
  std::int32_t ref = -1;      // the slot read: a text's length, a repeat's count, an if's value
  std::int32_t user = -1;     // a length or count that is no column: the node it measures
  std::uint32_t end = 0;      // a block's: the node after its body
  std::uint32_t columns = 0;  // a repeat's: the columns of one element
  std::uint32_t most = 0;     // a counted repeat's: the elements that have columns
  std::uint64_t value = 0;    // an if's
  bool equal = true;          // an if's: == or !=
};

// One known cache layout: its signature, the client's file name for it and
// the type and column name of every field of a record, in record order.
struct FormatDefinition {
  std::vector<FieldType> fieldTypes;  // as many as the most fields a layout here had
  std::uint32_t fieldCount = 0;
  std::uint16_t nextField = 0;
  std::array<char, 4> signature{};
  std::vector<std::string> fieldNames;
  std::string fileName;
  // The client build whose files this layout reads, or 0 for the built-in
  // layouts, which read the files of every other build. A build's own layouts
  // frame each record by its entry size.
  std::uint32_t clientBuild = 0;
  // The last client build that this layout reads (a range from clientBuild).
  std::uint32_t lastBuild = 0;
  // The width of field 0, the record key.
  std::uint32_t keyBytes = 4;
  // How many bytes more than follow it a record's entry size counts.
  std::uint32_t sizeBias = 0;
  // The fields after the entry size, as the general conversions walk them;
  // `slotCount` values are kept while a record is read or written.
  std::vector<LayoutNode> nodes;
  std::uint32_t slotCount = 0;
  // Pairs of an if and a count or length whose user is inside the if's body
  // while the count or length is not.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> measuresLeftOut;
  // Whether the fast conversions can walk `fieldTypes` instead.
  bool flat = true;
  // A layout of every build from 9506 on that no other covers: whole records
  // as bytes.
  bool asBytes = false;

  // Appends a field; a 257th field is ignored rather than overflowing.
  void addField(FieldType type, std::string_view name);

  // Sets the file name, signature and build, and drops the fields of a
  // previous layout.
  void startLayout(std::string_view cacheFileName, std::string_view fourChars,
                   std::uint32_t build = 0);

  bool framed() const { return clientBuild != 0; }
  // The client's header grew a sixth word in build 9506.
  bool longHeader() const { return clientBuild >= 9506; }
  std::size_t headerSize() const { return longHeader() ? 24 : 20; }
  // The console line that says which builds this layout is of, and whether
  // it was chosen because it fits the records best rather than by the build.
  std::string buildsLine(bool byFit) const;
};

// The ordered list of all known layouts.
class FormatCatalogue {
 public:
  void append(FormatDefinition definition) {
    (definition.asBytes ? bytesLayouts_ : definitions_).push_back(std::move(definition));
  }
  const std::vector<FormatDefinition>& definitions() const { return definitions_; }

  // The layouts of a file by its signature (the four key bytes, case counts)
  // and its client build: `layout` is that build's own where it has one, else
  // the built-in one; `asBytes`, where the build has none of its own and is
  // 9506 or later, reads records as bytes. Prints "Signature matches <file
  // name>" when either is found.
  struct Match {
    const FormatDefinition* layout = nullptr;
    const FormatDefinition* asBytes = nullptr;
  };
  Match findBySignature(const std::array<char, 4>& key, std::uint32_t build,
                        Console& console) const;

  // The layouts of a cache file that may read the records of a build from
  // 9506 on, most wanted first: the build's own, then every other layout of
  // that file with a 24-byte header, nearest build first (on a tie, the
  // earlier).
  std::vector<const FormatDefinition*> candidates(const std::array<char, 4>& key,
                                                  std::uint32_t build) const;
  // The candidate whose builds start at `firstBuild`, or nullptr.
  const FormatDefinition* findByFirstBuild(const std::array<char, 4>& key,
                                           std::uint32_t firstBuild) const;

 private:
  std::vector<FormatDefinition> definitions_;
  std::vector<FormatDefinition> bytesLayouts_;
};

}  // namespace cachesift
