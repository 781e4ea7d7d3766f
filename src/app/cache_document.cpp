// The conversion state's housekeeping: releasing it, and a read's status.

#include "app/cache_document.h"

#include "io/console.h"

namespace cachesift {

void CacheDocument::clear() {
  rows.clear();
  rows.shrink_to_fit();
  recordCount = 0;
  recordsAsBytes.clear();
  body = {};
  input = {};
  withAddedColumns_ = {};
}

bool CacheDocument::acceptRead(ReadStatus status) {
  if (status == ReadStatus::kTooLarge) {
    console.print(kTooLargeMessage);
  }
  return status == ReadStatus::kOk;
}

}  // namespace cachesift
