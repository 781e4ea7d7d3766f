// The table of a layout's columns, built once from its nodes: every cell of
// a record's row, its name and its field's kind.
#include "catalogue/layout_text.h"

#include <string>
#include <vector>

namespace cachesift {
namespace {

// `name` with each `#` replaced by the number of an element, the outermost
// repeat's first.
std::string numberedName(std::string_view name, const std::vector<std::uint32_t>& numbers) {
  std::string out;
  std::size_t used = 0;
  for (const char c : name) {
    if (c == '#' && used < numbers.size()) {
      out += std::to_string(numbers[used++]);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

void expand(FormatDefinition& layout, const std::vector<std::string>& names, std::uint32_t first,
            std::uint32_t last, std::vector<std::uint32_t>& numbers, bool counted) {
  for (std::uint32_t i = first; i < last;) {
    const LayoutNode& node = layout.nodes[i];
    if (node.kind == FieldKind::kIf) {
      expand(layout, names, i + 1, node.end, numbers, counted);
      i = node.end;
    } else if (node.kind == FieldKind::kRepeat && node.list) {
      // a column per field, not per element
      expand(layout, names, i + 1, node.end, numbers, counted);
      i = node.end;
    } else if (node.kind == FieldKind::kRepeat) {
      for (std::uint32_t n = 1; n <= (node.most != 0 ? node.most : node.size); ++n) {
        numbers.push_back(n);
        expand(layout, names, i + 1, node.end, numbers, counted || node.most != 0);
        numbers.pop_back();
      }
      i = node.end;
    } else {
      if (node.column >= 0) {
        layout.columns.push_back({numberedName(names[i], numbers), node.kind, counted});
      }
      ++i;
    }
  }
}

}  // namespace

void addColumns(FormatDefinition& layout, const std::vector<std::string>& names) {
  std::vector<std::uint32_t> numbers;
  expand(layout, names, FormatDefinition::kFirstFieldNode,
         static_cast<std::uint32_t>(layout.nodes.size()), numbers, false);
}

}  // namespace cachesift
