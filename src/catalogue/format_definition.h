#pragma once

// A cache layout, as a layout file gives it: its fields in record order, the
// key and entry size first, and the table of the CSV columns they make; and
// the catalogue of every known layout.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cachesift {

struct PreparedLayout;

inline constexpr std::size_t kMaxColumns = 2048;
// The client's header grew a sixth word in this build, and its records are
// framed by their entry sizes from here on.
inline constexpr std::uint32_t kLongHeaderFrom = 9506;

// What a field is: the one word that every step of a conversion asks.
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

// One field or block of a record. A block's body is the nodes after it, up to
// `end`. The first two nodes are the record's key (a u32, or hex bytes) and
// its entry size (a u32).
struct LayoutNode {
  FieldKind kind = FieldKind::kU32;
  std::uint32_t size = 0;     // bytes of kHex, bits of kBits, times of a fixed kRepeat
  std::int32_t column = -1;   // from its element's first column; a block's first column
  std::int32_t slot = -1;     // where its value is kept for the fields after it, or -1
  std::int32_t ref = -1;      // the slot read: a text's length, a repeat's count, an if's value
  std::int32_t user = -1;     // a length or count that is no column: the node it measures
  std::uint32_t end = 0;      // a block's: the node after its body
  std::uint32_t columns = 0;  // a repeat's: the columns of one element; an if's: of its body
  std::uint32_t most = 0;     // a counted repeat's: the elements that have columns
  std::uint64_t value = 0;    // an if's
  bool equal = true;          // an if's: == or !=
  // A counted repeat of numbers shown as lists: a cell per field, holding
  // every element's value of it, separated by spaces.
  bool list = false;
};

// One column of a record's CSV row: its name and the kind of field it shows.
struct Column {
  std::string name;
  FieldKind kind = FieldKind::kU32;
  // Whether it belongs to an element of a counted group, which a CSV of an
  // earlier layout with a smaller most of that group lacks.
  bool counted = false;
};

// How a layout's records stand in a cache file and in a CSV row: each record
// is its key, its entry size and its fields. The frame reader and writer, and
// the CSV's key and entry size cells, all go by this one value.
struct RecordFraming {
  bool hexKey = false;         // the key as hexadecimal text; else a u32 in decimal
  std::uint32_t keyBytes = 4;  // of the key in the file
  std::uint32_t sizeBias = 0;  // how many bytes more than follow it an entry size counts
  bool bySize = false;         // whether the entry size frames the fields (a build's own layouts)
  std::uint32_t headerBytes = 20;
  std::uint32_t keyColumn = 0;   // of the key's cell in a record's row
  std::uint32_t sizeColumn = 1;  // of the entry size's; a record kept as bytes has them next
};

// One known cache layout: its signature, the client's file name for it, its
// fields and its columns.
struct FormatDefinition {
  static constexpr std::uint32_t kKeyNode = 0;
  static constexpr std::uint32_t kEntrySizeNode = 1;
  static constexpr std::uint32_t kFirstFieldNode = 2;

  std::array<char, 4> signature{};
  std::string fileName;
  // The client build whose files this layout reads, or 0 for the built-in
  // layouts, which read the files of every other build. A build's own layouts
  // frame each record by its entry size.
  std::uint32_t clientBuild = 0;
  // The last client build that this layout reads (a range from clientBuild).
  std::uint32_t lastBuild = 0;
  // How many bytes more than follow it a record's entry size counts.
  std::uint32_t sizeBias = 0;
  std::vector<LayoutNode> nodes;
  // The lines of its layout file after the "cache" line, comments left out,
  // trimmed: a layout derived from this one is these lines changed.
  std::vector<std::string> lines;
  // Each node's name as its layout file gives it (`#` unreplaced), or for a
  // count or length without a column its $id; for messages.
  std::vector<std::string> nodeNames;
  // Every column of a record's row, in order; columns 0 and 1 are the key and
  // the entry size.
  std::vector<Column> columns;
  // `slotCount` values are kept while a record is read or written.
  std::uint32_t slotCount = 0;
  // Pairs of an if and a count or length whose user is inside the if's body
  // while the count or length is not.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> measuresLeftOut;
  // A layout of every build from 9506 on that no other covers: whole records
  // as bytes.
  bool asBytes = false;
  // From a layout file that the user put beside the program: for the builds
  // it names, it is tried before the layouts built in.
  bool user = false;
  // Shared by copies, as the layout does not change once read.
  mutable std::shared_ptr<const PreparedLayout> prepared_;

  // Sets the file name, signature and build, and the key and entry size.
  void startLayout(std::string_view cacheFileName, std::string_view fourChars,
                   std::uint32_t build = 0);
  // Appends a field that has a column.
  void addField(FieldKind kind, std::string_view name);

  // Whether the fields after the key and entry size are only u8, u32, i32,
  // f32, zero-terminated texts, a hexadecimal rest and fixed repeats of them.
  bool plainFields() const;

  bool framed() const { return clientBuild != 0; }
  RecordFraming framing() const;
  bool longHeader() const { return clientBuild >= kLongHeaderFrom; }
  std::size_t headerSize() const { return longHeader() ? 24 : 20; }
  // The layout as the record engine runs it, prepared when first asked for
  // and kept with the layout.
  const PreparedLayout& prepared() const;

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
  // and its client build: `layout` is that build's own where it has one (a
  // user's first), else the built-in one; `asBytes`, where the build has none
  // of its own and is 9506 or later, reads records as bytes.
  struct Match {
    const FormatDefinition* layout = nullptr;
    const FormatDefinition* asBytes = nullptr;
  };
  Match findBySignature(const std::array<char, 4>& key, std::uint32_t build) const;

  // The layouts of a cache file that may read the records of a build from
  // 9506 on, most wanted first: the build's own (a user's first), then every
  // other layout of that file with a 24-byte header, nearest build first (on
  // a tie, the earlier).
  std::vector<const FormatDefinition*> candidates(const std::array<char, 4>& key,
                                                  std::uint32_t build) const;

 private:
  std::vector<FormatDefinition> definitions_;
  std::vector<FormatDefinition> bytesLayouts_;
};

}  // namespace cachesift
