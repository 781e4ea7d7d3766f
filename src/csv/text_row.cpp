#include "csv/text_row.h"

namespace cachesift {

void TextRow::appendCell(std::string_view cell) {
  cells_.append(cell);
  cells_.push_back('\0');
  ++cellCount_;
}

std::string_view TextRow::cell(std::size_t k) const {
  if (k >= cellCount_) {
    return {};
  }
  Cursor cursor(*this);
  std::string_view cell = cursor.next();
  for (std::size_t i = 0; i < k; ++i) {
    cell = cursor.next();
  }
  return cell;
}

}  // namespace cachesift
