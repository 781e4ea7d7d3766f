// Reading a CSV of a layout as it was before its counted groups grew.
#include "csv/earlier_columns.h"

#include <string_view>

namespace cachesift {

std::optional<std::vector<std::size_t>> earlierColumns(const TextRow& names,
                                                       const FormatDefinition& layout) {
  std::vector<std::size_t> missing;
  TextRow::Cursor cursor(names);
  std::size_t column = 0;
  while (!cursor.done()) {
    const std::string name = cursor.nextText();
    while (column < layout.columns.size() && layout.columns[column].name != name &&
           layout.columns[column].counted) {
      missing.push_back(column++);
    }
    if (column == layout.columns.size() || layout.columns[column].name != name) {
      return std::nullopt;
    }
    ++column;
  }
  for (; column < layout.columns.size() && layout.columns[column].counted; ++column) {
    missing.push_back(column);
  }
  if (missing.empty() || column < layout.columns.size()) {
    return std::nullopt;
  }
  return missing;
}

std::string withColumnsAdded(std::span<const TextRow> rows, std::span<const std::size_t> missing,
                             std::size_t namesCount) {
  std::string out;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const std::string_view line = rows[r].bytes();
    std::size_t copied = 0;
    auto next = missing.begin();
    TextRow::Cursor cursor(rows[r]);
    if (r >= 2) {
      for (std::size_t k = 0; !cursor.done(); ++k) {
        const std::string_view cell = cursor.next();
        // A quoted cell's bytes start after its quote; any other's after a
        // comma, or at the line's start.
        const bool quoted = cell.data() != line.data() && cell.data()[-1] == '"';
        const std::size_t start = static_cast<std::size_t>(cell.data() - line.data()) - quoted;
        out.append(line, copied, start - copied);
        copied = start;
        for (; next != missing.end() && *next - (next - missing.begin()) == k; ++next) {
          out += ',';
        }
      }
    }
    out.append(line, copied);
    if (rows[r].cellCount() == namesCount && next != missing.end() && r >= 2) {
      out += line.ends_with(',') ? "" : ",";
      out.append(static_cast<std::size_t>(missing.end() - next), ',');
    }
    out += '\n';
  }
  return out;
}

}  // namespace cachesift
