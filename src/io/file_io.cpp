// Reading whole files, and writing files through a temporary one.

#include "io/file_io.h"

#include <cerrno>
#include <new>
#include <utility>

#include "io/system.h"

namespace cachesift {
namespace {

class FileSink final : public ByteSink {
 public:
  explicit FileSink(std::FILE* file) : file_(file) {}

 protected:
  bool writeBlock(std::string_view block) override {
    return std::fwrite(block.data(), 1, block.size(), file_) == block.size();
  }

 private:
  std::FILE* file_;
};

}  // namespace

std::optional<InputFile> InputFile::open(const std::string& path) {
  std::FILE* file = os::openFile(path, "rb");
  if (file == nullptr) {
    return std::nullopt;
  }
  if (!os::isReadableFile(file)) {
    std::fclose(file);
    return std::nullopt;
  }
  return InputFile(file);
}

std::optional<std::size_t> InputFile::read(void* destination, std::size_t count) {
  const std::size_t got = std::fread(destination, 1, count, file_.get());
  if (got < count && std::ferror(file_.get())) {
    return std::nullopt;
  }
  return got;
}

std::optional<std::uint64_t> InputFile::size() {
  std::FILE* file = file_.get();
  const std::int64_t here = os::filePosition(file);
  if (here < 0 || !os::seekFile(file, 0, SEEK_END)) {
    return std::nullopt;
  }
  const std::int64_t end = os::filePosition(file);
  if (end < 0 || !os::seekFile(file, here, SEEK_SET)) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(end);
}

FileContents& FileContents::operator=(FileContents&& other) noexcept {
  if (this != &other) {
    release();
    buffer_ = std::move(other.buffer_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, false);
  }
  return *this;
}

void FileContents::release() {
  if (mapped_) {
    os::unmapFile(data_, size_);
  }
  buffer_.reset();
  data_ = nullptr;
  size_ = 0;
  mapped_ = false;
}

ReadStatus InputFile::readAll(FileContents& contents) {
  contents = FileContents();
  const std::optional<std::uint64_t> size = this->size();
  if (!size) {
    return ReadStatus::kCannotOpen;
  }
  if (*size > SIZE_MAX) {
    return ReadStatus::kTooLarge;
  }
  const auto bytes = static_cast<std::size_t>(*size);
  if (const char* mapped = os::mapFile(file_.get(), bytes)) {
    contents.data_ = mapped;
    contents.size_ = bytes;
    contents.mapped_ = true;
    return ReadStatus::kOk;
  }
  // The content starts on a huge page's boundary and the buffer runs to the
  // end of its last huge page, so that huge pages can back all of it, not
  // only the whole ones inside: each small page is a page fault, and on a
  // virtual machine a fault costs as much as converting a kilobyte.
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  if (bytes > SIZE_MAX - 2 * kHugePage) {
    return ReadStatus::kTooLarge;
  }
  const std::size_t room = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[room + kHugePage]);
  if (!buffer) {
    return ReadStatus::kTooLarge;
  }
  const auto address = reinterpret_cast<std::uintptr_t>(buffer.get());
  char* const content = buffer.get() + ((kHugePage - address % kHugePage) % kHugePage);
  os::preferHugePages(content, room);
  std::rewind(file_.get());
  const std::optional<std::size_t> got = read(content, bytes);
  if (!got) {
    return ReadStatus::kCannotOpen;
  }
  contents.buffer_ = std::move(buffer);
  contents.data_ = content;
  contents.size_ = *got;  // the file may have shrunk since it was measured
  return ReadStatus::kOk;
}

ReadStatus readWholeFile(const std::string& path, FileContents& contents) {
  std::optional<InputFile> file = InputFile::open(path);
  return file ? file->readAll(contents) : ReadStatus::kCannotOpen;
}

bool writeFileAtomically(const std::string& path, const Producer& produce) {
  // Opening the target for update changes nothing in it, but fails where a
  // plain write would: a read-only or locked file, or a directory. Only a
  // target that does not exist yet may fail to open.
  errno = 0;
  if (std::FILE* existing = os::openFile(path, "r+b")) {
    std::fclose(existing);
  } else if (errno != ENOENT) {
    return false;
  }

  std::string temporary;
  std::FILE* file = nullptr;
  for (int attempt = 0; attempt < 100 && file == nullptr; ++attempt) {
    temporary = path + "." + std::to_string(attempt) + ".tmp";
    errno = 0;
    file = os::createExclusive(temporary);
    if (file == nullptr && errno != EEXIST) {
      return false;  // a missing directory, no permission, ...
    }
  }
  if (file == nullptr) {
    return false;
  }
  os::copyPermissions(path, file);

  FileSink sink(file);
  bool written = produce(sink) && sink.flush();
  written = std::fflush(file) == 0 && written;
  // The content reaches the disk before the name does, so that a power cut
  // soon after cannot leave the name pointing to content never written.
  written = written && os::syncToDisk(file);
  written = std::fclose(file) == 0 && written;
  if (written && os::renameOver(temporary, path)) {
    // The new name is an entry of the folder, which must reach the disk too
    // to outlast a power cut. The target holds the new content already, so
    // a folder that cannot be flushed fails nothing.
    os::syncFolderOf(path);
    return true;
  }
  os::removeFile(temporary);
  return false;
}

}  // namespace cachesift
