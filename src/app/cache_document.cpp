#include "app/cache_document.h"

namespace cachesift {

void CacheDocument::clear() {
  rows.clear();
  rows.shrink_to_fit();
  records.clear();
  records.shrink_to_fit();
  body.reset();
  bodySize = 0;
}

}  // namespace cachesift
