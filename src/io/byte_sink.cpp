// Handing a sink's buffered bytes on.

#include "io/byte_sink.h"

#include "io/system.h"

namespace cachesift {

ByteSink::ByteSink() : block_(new char[kBlockSize]) {
  os::mapAtOnce(block_.get(), kBlockSize);
}

bool ByteSink::flush() {
  if (ok_ && used_ > 0) {
    ok_ = writeBlock({block_.get(), used_});
  }
  used_ = 0;
  return ok_;
}

void ByteSink::appendLarge(std::string_view bytes) {
  flush();
  if (bytes.size() < kBlockSize) {
    std::memcpy(block_.get(), bytes.data(), bytes.size());
    used_ = bytes.size();
  } else if (ok_) {
    ok_ = writeBlock(bytes);
  }
}

}  // namespace cachesift
