#pragma once

// Reading whole files, and writing files so that none is left half-written.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "io/byte_sink.h"

namespace cachesift {

// The message for a file that is too large for the memory the tool can use.
inline constexpr std::string_view kTooLargeMessage =
    "The file is too large to be held in memory.\n";

// A whole file in memory: mapped where the system allows it, so that its
// bytes are not copied, else read into a buffer. Released with the object.
class FileContents {
 public:
  FileContents() = default;
  FileContents(FileContents&& other) noexcept { *this = std::move(other); }
  FileContents& operator=(FileContents&& other) noexcept;
  ~FileContents() { release(); }

  std::string_view view() const { return {data_, size_}; }

 private:
  friend class InputFile;
  void release();

  std::unique_ptr<char[]> buffer_;  // when the file is not mapped
  const char* data_ = nullptr;
  std::size_t size_ = 0;
  bool mapped_ = false;
};

enum class ReadStatus { kOk, kCannotOpen, kTooLarge };

// A file opened for reading in binary mode, closed when the object goes.
class InputFile {
 public:
  // nullopt when the file cannot be opened.
  static std::optional<InputFile> open(const std::string& path);

  // Reads up to `count` bytes into `destination` and returns how many were
  // read (fewer only at the end of the file); nullopt on a read error, which
  // is also what reading a directory gives.
  std::optional<std::size_t> read(void* destination, std::size_t count);

  // The file's size in bytes, or nullopt when it cannot be measured.
  std::optional<std::uint64_t> size();

  // The whole file from its first byte, wherever reading stands.
  ReadStatus readAll(FileContents& contents);

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  explicit InputFile(std::FILE* file) : file_(file) {}
  std::unique_ptr<std::FILE, Closer> file_;
};

// Reads a whole file. A directory or an unreadable file counts as one that
// cannot be opened.
ReadStatus readWholeFile(const std::string& path, FileContents& contents);

// Produces the content of a file into a sink; false when it failed.
using Producer = std::function<bool(ByteSink&)>;

// Writes a file so that it is either complete or not changed at all: the
// bytes go to a temporary file in the target's directory, which replaces the
// target only after every write, the flush to the disk and the close
// succeeded; the replacement is flushed to the disk too. On any failure the
// temporary file is removed, an existing target is left as it was and the
// result is false. A target that exists but cannot be opened for writing (a
// read-only or locked file) is refused, as an ordinary write would be.
bool writeFileAtomically(const std::string& path, const Producer& produce);

}  // namespace cachesift
