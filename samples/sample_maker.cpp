#include "samples/sample_maker.h"

#include <algorithm>
#include <array>
#include <bit>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "cachefile/coding.h"
#include "cachefile/record_engine.h"
#include "cachefile/wdb_header.h"

namespace cachesift::samples {
namespace {

constexpr std::array<std::string_view, 16> kWords = {"Blue Lamp",       "Iron Kettle",
                                                     "Quiet Fox",       "Old, Bent Spoon",
                                                     "Salt \"Mine\"",   "",
                                                     "Ember",           "100% Wool",
                                                     "%d and %s",       "Moss-Covered Stone",
                                                     "Tin Whistle",     "\"Quoted\"",
                                                     "Grey Owl",        "a,b,c",
                                                     "Lantern of Dusk", "Velvet Glove"};

constexpr std::array<std::string_view, 24> kSpreadsheetWords = {
    "Blue Lamp",
    "007",
    "1e5",
    "TRUE",
    "=1+1",
    "Old, Bent Spoon",
    " Ember ",
    "Tin Whistle ",
    "Crème brûlée",
    "日本の提灯",
    "",
    "100% Wool",
    "3/4",
    "-12.50",
    "#N/A",
    "a,b,c",
    "Salt \"Mine\" ok",
    "\"Hello,\" she said",
    "He said \"Go now.\"",
    "a\"\"b",
    "say \"hi\", then go",
    "\"",
    "one\ntwo",
    "Dear friend,\n\n\"Come at dusk.\"\n"};

class Maker {
 public:
  Maker(const RandomWords& random, Texts texts, bool special)
      : random_(random), texts_(texts), special_(special) {}

  // Plain modulo rather than a distribution: the same bytes from every
  // standard library.
  std::uint32_t below(std::uint32_t bound) { return static_cast<std::uint32_t>(random_() % bound); }

  // As in the client's caches: half the numbers tiny (most fields of a record
  // are unused), a quarter ids and prices, the rest negative or any 32 bits.
  std::uint32_t number() {
    switch (below(8)) {
      case 0:
      case 1:
      case 2:
      case 3:
        return below(4);
      case 4:
      case 5:
        return below(100000);
      case 6:
        return static_cast<std::uint32_t>(-static_cast<std::int32_t>(below(5000)));
      default:
        return static_cast<std::uint32_t>(random_());
    }
  }

  // Values with at most two decimals: they survive six printed decimals.
  float decimal() {
    return static_cast<float>(static_cast<std::int32_t>(below(2000000)) - 1000000) / 100.0f;
  }

  // A float's bits, a special one where asked.
  std::uint32_t floatBits() {
    static constexpr std::array<std::uint32_t, 7> kSpecial = {
        0x7FC00000, 0xFFC00001, 0x7F800000, 0xFF800000, 0x80000000, 0x00000001, 0x807FFFFF};
    return special_ && below(4) == 0 ? kSpecial[below(7)] : std::bit_cast<std::uint32_t>(decimal());
  }

  std::string text() {
    if (texts_ != Texts::kRandomBytes) {
      return std::string(texts_ == Texts::kSpreadsheet ? kSpreadsheetWords[below(24)]
                                                       : kWords[below(16)]);
    }
    // Half the bytes are the ones that a text cell must quote, double or
    // carry over lines.
    std::string text;
    for (std::uint32_t length = below(40); length > 0; --length) {
      const std::uint32_t bits = random_();
      const char c = (bits & 0x100) != 0 ? "\",\r\n"[(bits >> 9) % 4] : static_cast<char>(bits);
      text.push_back(c == '\0' || c == '\x1A' ? 'x' : c);
    }
    return text;
  }

 private:
  const RandomWords& random_;
  const Texts texts_;
  const bool special_;
};

// A number's cell of a field of `kind`.
std::string numberCell(FieldKind kind, Maker& maker) {
  switch (kind) {
    case FieldKind::kF32:
    case FieldKind::kF64:
      return std::to_string(maker.decimal());
    case FieldKind::kI8:
    case FieldKind::kI16:
    case FieldKind::kI32:
    case FieldKind::kI64:
      return std::to_string(static_cast<std::int32_t>(maker.number()));
    default:
      return std::to_string(maker.number());
  }
}

// Fills the cells of the lists of nodes [first, last), whose element's
// columns start at `base`: up to five elements each, the same number of
// values in each of a list's cells.
void fillLists(const FormatDefinition& layout, std::uint32_t first, std::uint32_t last,
               std::uint32_t base, std::vector<std::string>& cells, Maker& maker) {
  for (std::uint32_t i = first; i < last; ++i) {
    const LayoutNode& node = layout.nodes[i];
    if (node.kind == FieldKind::kIf) {
      fillLists(layout, i + 1, node.end, base, cells, maker);
    } else if (node.kind == FieldKind::kRepeat && node.list) {
      const std::uint32_t count = maker.below(std::min(node.most, 5u) + 1);
      for (std::uint32_t k = 0; k < node.columns; ++k) {
        std::string& cell = cells[base + node.column + k];
        cell.clear();
        for (std::uint32_t e = 0; e < count; ++e) {
          cell += (e != 0 ? " " : "") + numberCell(layout.nodes[i + 1 + k].kind, maker);
        }
      }
    } else if (node.kind == FieldKind::kRepeat) {
      for (std::uint32_t e = 0; e < (node.most != 0 ? node.most : node.size); ++e) {
        fillLists(layout, i + 1, node.end, base + node.column + e * node.columns, cells, maker);
      }
    } else {
      continue;
    }
    i = node.end - 1;
  }
}

// The cells of any other record, written by its layout: each counted group's
// elements present or absent at random. A text too long for its length
// field, or a cell that a condition leaves out, is made empty.
std::string fieldsFromCells(const FormatDefinition& definition, Maker& maker) {
  std::vector<std::string> cells(definition.columns.size());
  std::optional<std::uint32_t> special;
  for (std::size_t k = 2; k < cells.size(); ++k) {
    if (maker.below(4) == 0) {
      continue;  // empty: 0, an empty text, or an absent element
    }
    switch (definition.columns[k].kind) {
      case FieldKind::kHex:
      case FieldKind::kHexRest:
        for (std::uint32_t length = maker.below(12); length > 0; --length) {
          cells[k] += "0123456789ABCDEF"[maker.below(16)];
          cells[k] += "0123456789ABCDEF"[maker.below(16)];
        }
        break;
      case FieldKind::kText:
      case FieldKind::kSizedText:
      case FieldKind::kSizedTextZ:
      case FieldKind::kSizedTextZ0:
        cells[k] = maker.text();
        break;
      case FieldKind::kF32: {
        // A record's first special float is written over a marker's bytes, as
        // its cell could not say it.
        const std::uint32_t bits = maker.floatBits();
        const std::uint32_t exponent = bits & 0x7F800000;
        if (!special && (exponent == 0x7F800000 || (exponent == 0 && bits != 0))) {
          special = bits;
          cells[k] = "12345.5";  // 0x4640E600
        } else {
          cells[k] = std::to_string(std::bit_cast<float>(bits));
        }
        break;
      }
      default:
        cells[k] = numberCell(definition.columns[k].kind, maker);
    }
  }
  fillLists(definition, FormatDefinition::kFirstFieldNode,
            static_cast<std::uint32_t>(definition.nodes.size()), 0, cells, maker);
  FieldBytes written;
  RowFault fault;
  RecordEngine engine(definition);
  std::vector<CellText> texts;
  for (const std::string& cell : cells) {
    texts.push_back({cell, false});
  }
  RowCells row;
  for (row.assign(texts); !engine.write(row, written, fault); row.assign(texts)) {
    written.clear();
    texts[fault.column] = {};
  }
  std::string fields(written.view());
  const std::size_t marker = fields.find(std::string_view("\x00\xE6\x40\x46", 4));
  if (special && marker != std::string::npos) {
    encodeFixed32(reinterpret_cast<unsigned char*>(&fields[marker]), *special);
  }
  return fields;
}

void appendWord(std::string& out, std::uint32_t word) {
  unsigned char bytes[4];
  encodeFixed32(bytes, word);
  out.append(reinterpret_cast<const char*>(bytes), 4);
}

}  // namespace

std::string samplePath(const FormatDefinition& definition) {
  return definition.framed()
             ? "build-" + std::to_string(definition.clientBuild) + "/" + definition.fileName
             : definition.fileName;
}

std::string makeCache(const FormatDefinition& definition, std::uint32_t recordCount,
                      std::uint32_t seed, Texts texts, Floats floats) {
  std::mt19937 random(seed);
  return makeCache(
      definition, recordCount, [&random] { return static_cast<std::uint32_t>(random()); }, texts,
      floats);
}

std::string makeCache(const FormatDefinition& definition, std::uint32_t recordCount,
                      const RandomWords& random, Texts texts, Floats floats) {
  Maker maker(random, texts, floats == Floats::kSpecial);
  WdbHeader header;
  header.signature = wordFromChars(std::string_view(definition.signature.data(), 4));
  header.headerWord1 = definition.framed() ? definition.clientBuild : kBuiltInLayoutsBuild;
  header.headerTag = wordFromChars("enUS");
  header.recordBytes = static_cast<std::uint32_t>(definition.columns.size() - 2) * 4;
  header.headerWord4 = 4;
  header.headerWord5 = 257;
  const auto headerBytes = header.encode();
  std::string out(reinterpret_cast<const char*>(headerBytes.data()), definition.headerSize());

  std::uint32_t id = 0;
  for (std::uint32_t r = 0; r < recordCount; ++r) {
    id += 1 + maker.below(20);
    const bool byField = definition.plainFields();
    const bool exact = definition.framed();  // the built-in layouts show six decimals
    std::string fields = byField ? "" : fieldsFromCells(definition, maker);
    for (std::size_t k = 2; byField && k < definition.columns.size(); ++k) {
      switch (definition.columns[k].kind) {
        case FieldKind::kHexRest:
          for (std::uint32_t length = maker.below(40); length > 0; --length) {
            fields.push_back(static_cast<char>(maker.below(256)));
          }
          break;
        case FieldKind::kText:
          fields.append(maker.text());
          fields.push_back('\0');
          break;
        case FieldKind::kU8:
          fields.push_back(static_cast<char>(maker.below(256)));
          break;
        case FieldKind::kF32:
          appendWord(fields,
                     exact ? maker.floatBits() : std::bit_cast<std::uint32_t>(maker.decimal()));
          break;
        default:
          appendWord(fields, maker.number());
      }
    }
    appendWord(out, id);  // a wider key: the id and random bytes
    for (std::uint32_t i = 4; i < definition.framing().keyBytes; ++i) {
      out.push_back(static_cast<char>(maker.below(256)));
    }
    // The built-in layouts: an entry size below 4 would end the list.
    appendWord(out, static_cast<std::uint32_t>(definition.framed()
                                                   ? fields.size() + definition.sizeBias
                                                   : std::max<std::size_t>(fields.size(), 4)));
    out += fields;
  }
  out.append(definition.framing().keyBytes + 4, '\0');
  return out;
}

}  // namespace cachesift::samples
