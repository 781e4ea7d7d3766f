#include "app/cache_document.h"

namespace cachesift {

void CacheDocument::clear() {
  rows.clear();
  rows.shrink_to_fit();
  input = {};
  recordCount = 0;
  body.reset();
  bodySize = 0;
}

}  // namespace cachesift
