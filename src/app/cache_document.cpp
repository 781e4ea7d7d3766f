#include "app/cache_document.h"

namespace cachesift {

void CacheDocument::clear() {
  rows.clear();
  rows.shrink_to_fit();
  recordCount = 0;
  body = {};
  input = {};
}

}  // namespace cachesift
