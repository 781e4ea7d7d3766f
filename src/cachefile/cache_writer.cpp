#include "cachefile/cache_writer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <optional>

#include "app/cache_document.h"
#include "cachefile/shaped_record.h"
#include "csv/text_to_float.h"
#include "csv/text_to_integer.h"
#include "io/byte_scan.h"
#include "io/console.h"
#include "io/file_io.h"

namespace cachesift {
namespace {

enum class FieldEncoding { kByte, kWord, kFloat, kText, kBinaryDigits, kHex };

// How a field's cells are written: the first flag, in this order, that the
// field holds decides.
FieldEncoding fieldEncoding(FieldType type) {
  if (type & FT_HEX)
    return FieldEncoding::kHex;
  type &= 0xFF;
  if (type & FT_BYTE)
    return FieldEncoding::kByte;
  if (type & (FT_UNSIGNED | FT_SIGNED))
    return FieldEncoding::kWord;
  if (type & FT_FLOAT)
    return FieldEncoding::kFloat;
  if (type & FT_STRING)
    return FieldEncoding::kText;
  if (type & (FT_BITS16 | FT_BITS32))
    return FieldEncoding::kBinaryDigits;
  return FieldEncoding::kWord;
}

// Room for a record's fields but its texts.
constexpr std::size_t kMaxRecordWords = kMaxFields * 4;
static_assert(kMaxRecordWords <= ByteSink::kMaxReserve);

char* writeWord(char* out, std::uint32_t word) {
  encodeFixed32(reinterpret_cast<unsigned char*>(out), word);
  return out + 4;
}

using FieldEncodings = std::array<FieldEncoding, kMaxFields>;

// Writes fields [first, last) of a record from the next cells of its row. A
// missing cell counts as an empty one: 0, a zero byte, an empty text or no
// bytes.
void writeFields(ByteSink& sink, TextRow::Cursor& rowCells, const FieldEncodings& encodings,
                 std::uint32_t first, std::uint32_t last) {
  TextRow::Cursor cells = rowCells;  // a copy of its own stays in registers
  char* out = sink.reserve(kMaxRecordWords);
  for (std::uint32_t k = first; k < last; ++k) {
    switch (encodings[k]) {
      case FieldEncoding::kByte:
        *out++ = static_cast<char>(cells.done() ? 0 : cells.nextAsInteger() & 0xFF);
        continue;
      case FieldEncoding::kWord:
        out = writeWord(out, cells.done() ? 0 : cells.nextAsInteger());
        continue;
      default:
        break;
    }
    const std::string_view cell = cells.done() ? std::string_view() : cells.next();
    switch (encodings[k]) {
      case FieldEncoding::kFloat:
        out = writeWord(out, std::bit_cast<std::uint32_t>(textToFloat(cell)));
        break;
      case FieldEncoding::kText:
        sink.commit(out);
        if (cells.escaped()) {
          TextRow::unescape(cell, sink);
        } else {
          sink.append(cell);
        }
        sink.append('\0');
        out = sink.reserve(kMaxRecordWords);
        break;
      case FieldEncoding::kHex:
        sink.commit(out);
        sink.append(bytesFromHex(cell));
        out = sink.reserve(kMaxRecordWords);
        break;
      default:
        out = writeWord(out, binaryTextToInteger(cell));
        break;
    }
  }
  sink.commit(out);
  rowCells = cells;
}

// Writes the record rows of a layout that the general walk of its fields
// writes, keeping its scratch from row to row. A row is refused, with its
// line and the cell's column, when a text is longer than its length field
// can say, or when cells lie past the layout's columns, where elements beyond
// a group's most would stand.
class GeneralRows {
 public:
  explicit GeneralRows(const CacheDocument& document)
      : document_(document),
        layout_(*document.definition),
        walk_(layout_),
        counted_(std::any_of(layout_.nodes.begin(), layout_.nodes.end(),
                             [](const LayoutNode& n) { return n.most != 0; })) {}

  bool write(const TextRow& row, ByteSink& sink) {
    // A cell's bytes where they stand, or its text unescaped into scratch,
    // which is not moved while the views into it are used.
    cells_.clear();
    unescaped_.resize(std::max(unescaped_.size(), row.cellCount()));
    for (TextRow::Cursor cursor(row); !cursor.done();) {
      std::string_view cell = cursor.next();
      if (cursor.escaped()) {
        std::string& text = unescaped_[cells_.size()];
        text.clear();
        TextRow::unescape(cell, text);
        cell = text;
      }
      cells_.push_back(cell);
    }
    cells_.resize(std::max<std::size_t>(cells_.size(), 2));
    char key[64] = {};  // the widest key a layout may have
    if (layout_.keyBytes == 4) {
      writeWord(key, textToInteger(cells_[0]));
    } else {
      const std::string bytes = bytesFromHex(cells_[0]);
      bytes.copy(key, std::min<std::size_t>(bytes.size(), layout_.keyBytes));
    }
    bytes_.clear();
    if (cells_[1].ends_with(kAsBytesMark)) {
      bytes_ = bytesFromHex(cells_.size() > 2 ? cells_[2] : "");
    } else {
      for (std::size_t k = layout_.fieldCount; counted_ && k < cells_.size(); ++k) {
        if (!cells_[k].empty()) {
          return refuse(row, "The cell on line ", k,
                        " lies past the layout's " + std::to_string(layout_.fieldCount) +
                            " columns: no group holds more elements "
                            "than its layout declares.\n");
        }
      }
      cells_.erase(cells_.begin(), cells_.begin() + 2);
      ShapedRecordError error;
      if (!walk_.write(cells_, bytes_, error)) {
        return refuse(row, "The text on line ", error.column + 2,
                      " is longer than its length field can say (" + std::to_string(error.most) +
                          " bytes at most).\n");
      }
    }
    sink.append(std::string_view(key, layout_.keyBytes));
    char entrySize[4];
    writeWord(entrySize, static_cast<std::uint32_t>(bytes_.size()) + layout_.sizeBias);
    sink.append(std::string_view(entrySize, 4));
    sink.append(bytes_);
    return true;
  }

 private:
  // Says what is wrong with the cell in `column` (counted from 0) of `row`.
  bool refuse(const TextRow& row, std::string_view start, std::size_t column,
              const std::string& rest) const {
    const std::size_t line =
        countByte(document_.rows.front().bytes().data(), row.bytes().data(), '\n') + 1;
    document_.console.print(std::string(start) + std::to_string(line) + ", column " +
                            std::to_string(column + 1) + rest);
    return false;
  }

  const CacheDocument& document_;
  const FormatDefinition& layout_;
  ShapedRecords walk_;
  const bool counted_;
  std::vector<std::string_view> cells_;
  std::vector<std::string> unescaped_;
  std::string bytes_;
};

}  // namespace

std::string cacheOutputPath(std::string_view csvPath, std::string_view fileName) {
  const std::size_t separator = csvPath.find_last_of("\\/");
  std::string path(separator == std::string_view::npos ? std::string_view()
                                                       : csvPath.substr(0, separator + 1));
  path += fileName;
  return path;
}

bool CacheDocument::formatCache(ByteSink& sink) const {
  const auto headerBytes = header.encode();
  sink.append(std::string_view(reinterpret_cast<const char*>(headerBytes.data()),
                               definition->headerSize()));
  const std::uint32_t fieldCount = definition->fieldCount;
  FieldEncodings encodings;
  for (std::uint32_t k = 0; k < fieldCount && definition->flat; ++k) {
    encodings[k] = fieldEncoding(definition->fieldTypes[k]);
  }
  // A build's own layouts: each record's entry size is the length of its
  // fields as written, so that an edited text gives a record the client
  // accepts. The fields are gathered first to be measured.
  const bool framed = definition->framed();
  StringSink fields;
  std::optional<GeneralRows> general;
  if (!definition->flat) {
    general.emplace(*this);
  }
  for (std::size_t r = 2; r < rows.size(); ++r) {
    const TextRow& row = rows[r];
    if (row.cellCount() == 0) {
      continue;  // an empty line, as editors leave at the end: no record
    }
    TextRow::Cursor cells(row);
    if (!framed) {
      writeFields(sink, cells, encodings, 0, fieldCount);
    } else if (!definition->flat) {
      if (!general->write(row, sink)) {
        return false;
      }
    } else {
      if (encodings[0] == FieldEncoding::kHex) {
        std::string key = bytesFromHex(cells.done() ? std::string_view() : cells.next());
        key.resize(definition->keyBytes);
        sink.append(key);
      } else {
        writeFields(sink, cells, encodings, 0, 1);
      }
      // The entry size as shown, or that the record is kept as bytes.
      const std::string_view shown = cells.done() ? std::string_view() : cells.next();
      fields.clear();
      if (shown.ends_with(kAsBytesMark)) {
        fields.append(bytesFromHex(cells.done() ? std::string_view() : cells.next()));
      } else {
        writeFields(fields, cells, encodings, 2, fieldCount);
      }
      const std::string& bytes = fields.bytes();
      char* const out = sink.reserve(4);
      sink.commit(writeWord(out, static_cast<std::uint32_t>(bytes.size()) + definition->sizeBias));
      sink.append(bytes);
    }
    if (!sink.ok()) {
      return false;
    }
  }
  // A key of zero and an entry size of zero.
  sink.append(std::string(framed ? definition->keyBytes + 4 : 8, '\0'));
  return true;
}

bool CacheDocument::writeCache(const std::string& path) const {
  return writeFileAtomically(cacheOutputPath(path, definition->fileName),
                             [this](ByteSink& sink) { return formatCache(sink); });
}

}  // namespace cachesift
