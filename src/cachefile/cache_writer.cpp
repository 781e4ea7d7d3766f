// CSV to cache: the header and a record per row, each framed by its key and
// entry size.
#include <algorithm>
#include <string>
#include <vector>

#include "cachefile/coding.h"
#include "cachefile/conversion.h"
#include "cachefile/record_engine.h"
#include "cachefile/record_frame.h"
#include "csv/number_text.h"
#include "csv/text_to_integer.h"
#include "io/byte_scan.h"

namespace cachesift {
namespace {

// Writes the record rows of a layout, keeping its scratch from row to row. A
// row is refused, with its line and the cell's column, when a text is longer
// than its length field can say, when a filled cell's field is left out by
// its condition, or when cells lie past the layout's columns, where elements
// beyond a group's most would stand.
class RecordRows {
 public:
  RecordRows(const LoadedCsv& csv, std::string& console)
      : csv_(csv),
        console_(console),
        layout_(*csv.choice.layout),
        framing_(layout_.framing()),
        engine_(layout_),
        counted_(std::any_of(layout_.nodes.begin(), layout_.nodes.end(),
                             [](const LayoutNode& n) { return n.most != 0; })) {}

  bool write(const TextRow& row, ByteSink& sink) {
    RowFault fault;
    // The built-in layouts: the key, the entry size as the row says, and the
    // fields, read in one pass over the row.
    if (!layout_.framed()) {
      StreamedCells cells(row);
      appendWord(sink, cells.integer(framing_.keyColumn));
      appendWord(sink, cells.integer(framing_.sizeColumn));
      return engine_.write(cells, sink, fault) || refuse(row, fault);
    }
    // A build's own layouts: the key, and the entry size, the length of the
    // fields as written, so that an edited text gives a record the client
    // accepts. The row is divided first where a count or a condition needs
    // cells ahead.
    fields_.clear();
    if (engine_.streamed()) {
      StreamedCells cells(row);
      const CellText key = cells[framing_.keyColumn], entrySize = cells[framing_.sizeColumn];
      if (!entrySize.bytes.ends_with(kAsBytesMark) && !engine_.write(cells, fields_, fault)) {
        return refuse(row, fault);
      }
      return frame(sink, key, entrySize, cells[framing_.sizeColumn + 1]);
    }
    cells_.split(row);
    if (!cells_[framing_.sizeColumn].bytes.ends_with(kAsBytesMark)) {
      const std::size_t columns = layout_.columns.size();
      const std::size_t past =
          counted_ ? cells_.firstFilled(columns, cells_.size()) : cells_.size();
      if (past < cells_.size()) {
        return refuse(row, "The cell on line ", past,
                      " lies past the layout's " + std::to_string(columns) +
                          " columns: no group holds more elements "
                          "than its layout declares.\n");
      }
      if (!engine_.write(cells_, fields_, fault)) {
        return refuse(row, fault);
      }
    }
    return frame(sink, cells_[framing_.keyColumn], cells_[framing_.sizeColumn],
                 cells_[framing_.sizeColumn + 1]);
  }

 private:
  // Writes a framed record: its key, its entry size and its fields, or where
  // the entry size cell says so, the bytes of `bytes`.
  bool frame(ByteSink& sink, const CellText& key, const CellText& entrySize,
             const CellText& bytes) {
    if (entrySize.bytes.ends_with(kAsBytesMark)) {
      fields_.clear();
      fields_.append(bytesFromHex(bytes.bytes));
    }
    appendFrame(sink, framing_, key.bytes, fields_.view());
    return true;
  }

  bool refuse(const TextRow& row, const RowFault& fault) const {
    using What = RowFault::What;
    switch (fault.what) {
      case What::kTextTooLong:
        return refuse(row, "The text on line ", fault.column,
                      " is longer than its length field can say (" + std::to_string(fault.most) +
                          " bytes at most).\n");
      case What::kLeftOut:
        return refuse(row, "The cell on line ", fault.column,
                      " is filled, but the record leaves its field out: "
                      "the condition on an earlier cell does not hold.\n");
      case What::kListTooLong:
        return refuse(
            row, "The list on line ", fault.column,
            " holds more values than its group's most (" + std::to_string(fault.most) + ").\n");
      case What::kBadValue:
        return refuse(row, "The list on line ", fault.column,
                      " holds a value that is not a number of its field.\n");
      default:
        return refuse(row, "The list on line ", fault.column,
                      " holds a different number of values than the list before it in its "
                      "group.\n");
    }
  }

  // Says what is wrong with the cell in `column` (counted from 0) of `row`.
  bool refuse(const TextRow& row, std::string_view start, std::size_t column,
              const std::string& rest) const {
    const std::size_t line =
        countByte(csv_.rows.front().bytes().data(), row.bytes().data(), '\n') + 1;
    console_ +=
        std::string(start) + std::to_string(line) + ", column " + std::to_string(column + 1) + rest;
    return false;
  }

  const LoadedCsv& csv_;
  std::string& console_;
  const FormatDefinition& layout_;
  const RecordFraming framing_;
  RecordEngine engine_;
  const bool counted_;
  RowCells cells_;
  FieldBytes fields_;
};

}  // namespace

std::string cacheOutputPath(std::string_view csvPath, std::string_view fileName) {
  const std::size_t separator = csvPath.find_last_of("\\/");
  std::string path(separator == std::string_view::npos ? std::string_view()
                                                       : csvPath.substr(0, separator + 1));
  path += fileName;
  return path;
}

bool formatCache(const LoadedCsv& csv, const WdbHeader& header, ByteSink& sink,
                 std::string& console) {
  const FormatDefinition& layout = *csv.choice.layout;
  const auto headerBytes = header.encode();
  sink.append(
      std::string_view(reinterpret_cast<const char*>(headerBytes.data()), layout.headerSize()));
  RecordRows records(csv, console);
  for (std::size_t r = 2; r < csv.rows.size(); ++r) {
    if (csv.rows[r].cellCount() == 0) {
      continue;  // an empty line, as editors leave at the end: no record
    }
    if (!records.write(csv.rows[r], sink) || !sink.ok()) {
      return false;
    }
  }
  appendEndMarker(sink, layout.framing());
  return true;
}

}  // namespace cachesift
