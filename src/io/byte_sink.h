#pragma once

// Where output bytes go: a buffer handed on a block at a time.

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace cachesift {

// Collects output bytes in one large block and hands them on a block at a
// time. After the first failed block nothing more is written and ok() stays
// false.
class ByteSink {
 public:
  ByteSink();
  virtual ~ByteSink() = default;
  ByteSink(const ByteSink&) = delete;
  ByteSink& operator=(const ByteSink&) = delete;

  void append(std::string_view bytes) {
    if (bytes.empty()) {
      return;  // an empty view may have no data pointer at all, even for memcpy
    }
    if (bytes.size() > kBlockSize - used_) {
      appendLarge(bytes);
      return;
    }
    std::memcpy(block_.get() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
  }
  void append(char byte) {
    if (used_ == kBlockSize) {
      flush();
    }
    block_[used_++] = byte;
  }

  // Room for `count` bytes, at most kMaxReserve, to be written at the
  // returned pointer; commit() then keeps as many as were written.
  static constexpr std::size_t kMaxReserve = std::size_t{1} << 16;
  char* reserve(std::size_t count) {
    if (kBlockSize - used_ < count) {
      flush();
    }
    return block_.get() + used_;
  }
  void commit(const char* end) { used_ = static_cast<std::size_t>(end - block_.get()); }

  bool ok() const { return ok_; }

  // Hands on what is buffered; false if this or any earlier block failed.
  bool flush();

 protected:
  virtual bool writeBlock(std::string_view block) = 0;

 private:
  static constexpr std::size_t kBlockSize = std::size_t{1} << 20;
  void appendLarge(std::string_view bytes);

  std::unique_ptr<char[]> block_;
  std::size_t used_ = 0;
  bool ok_ = true;
};

// Keeps the output in memory.
class StringSink final : public ByteSink {
 public:
  const std::string& bytes() {
    flush();
    return bytes_;
  }
  // Drops what was written, to be used again.
  void clear() {
    flush();
    bytes_.clear();
  }

 protected:
  bool writeBlock(std::string_view block) override {
    bytes_.append(block);
    return true;
  }

 private:
  std::string bytes_;
};

}  // namespace cachesift
