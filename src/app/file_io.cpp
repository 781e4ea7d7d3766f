#include "app/file_io.h"

#include <cerrno>
#include <new>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace cachesift {
namespace {

// Creates a new file for writing, failing if the name is taken, so that two
// runs never share a temporary file.
std::FILE* createExclusive(const std::string& path) {
#ifdef _WIN32
  const int fd =
      _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) {
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) {
    _close(fd);
  }
#else
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    ::close(fd);
  }
#endif
  return file;
}

// Replaces `target` by `source`, also when `target` exists.
bool replaceFile(const std::string& source, const std::string& target) {
#ifdef _WIN32
  return MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(source.c_str(), target.c_str()) == 0;
#endif
}

// Gives the new file the permissions of the file it replaces.
void copyPermissions(const std::string& target, std::FILE* file) {
#ifndef _WIN32
  struct stat status;
  if (::stat(target.c_str(), &status) == 0) {
    ::fchmod(::fileno(file), status.st_mode & 07777);
  }
#else
  (void)target;
  (void)file;
#endif
}

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
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    return std::nullopt;
  }
#ifndef _WIN32
  // Opening a directory succeeds here (not on Windows); it is no file to read.
  struct stat status;
  if (::fstat(::fileno(file), &status) != 0 || S_ISDIR(status.st_mode)) {
    std::fclose(file);
    return std::nullopt;
  }
#endif
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
#ifdef _WIN32
  const __int64 here = _ftelli64(file);
  if (here < 0 || _fseeki64(file, 0, SEEK_END) != 0) {
    return std::nullopt;
  }
  const __int64 end = _ftelli64(file);
  if (end < 0 || _fseeki64(file, here, SEEK_SET) != 0) {
    return std::nullopt;
  }
#else
  const off_t here = ::ftello(file);
  if (here < 0 || ::fseeko(file, 0, SEEK_END) != 0) {
    return std::nullopt;
  }
  const off_t end = ::ftello(file);
  if (end < 0 || ::fseeko(file, here, SEEK_SET) != 0) {
    return std::nullopt;
  }
#endif
  return static_cast<std::uint64_t>(end);
}

void preferHugePages(void* buffer, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<std::uintptr_t>(buffer);
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
  if (first < last) {
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
#else
  (void)buffer;
  (void)bytes;
#endif
}

std::unique_ptr<char[]> allocateBytes(std::uint64_t count) {
  if (count > SIZE_MAX) {
    return nullptr;
  }
  // At least one byte, so that an empty file still gets a buffer.
  std::unique_ptr<char[]> bytes(new (std::nothrow) char[count == 0 ? 1 : count]);
  if (bytes) {
    preferHugePages(bytes.get(), static_cast<std::size_t>(count));
  }
  return bytes;
}

ReadStatus readWholeFile(const std::string& path, FileContents& contents) {
  std::optional<InputFile> file = InputFile::open(path);
  if (!file) {
    return ReadStatus::kCannotOpen;
  }
  const std::optional<std::uint64_t> size = file->size();
  if (!size) {
    return ReadStatus::kCannotOpen;
  }
  std::unique_ptr<char[]> bytes = allocateBytes(*size);
  if (!bytes) {
    return ReadStatus::kTooLarge;
  }
  const std::optional<std::size_t> got = file->read(bytes.get(), static_cast<std::size_t>(*size));
  if (!got) {
    return ReadStatus::kCannotOpen;
  }
  contents.bytes = std::move(bytes);
  contents.size = *got;  // the file may have shrunk since it was measured
  return ReadStatus::kOk;
}

bool writeFileAtomically(const std::string& path, const Producer& produce) {
  // Opening the target for update changes nothing in it, but fails where a
  // plain write would: a read-only or locked file, or a directory. Only a
  // target that does not exist yet may fail to open.
  errno = 0;
  if (std::FILE* existing = std::fopen(path.c_str(), "r+b")) {
    std::fclose(existing);
  } else if (errno != ENOENT) {
    return false;
  }

  std::string temporary;
  std::FILE* file = nullptr;
  for (int attempt = 0; attempt < 100 && file == nullptr; ++attempt) {
    temporary = path + "." + std::to_string(attempt) + ".tmp";
    errno = 0;
    file = createExclusive(temporary);
    if (file == nullptr && errno != EEXIST) {
      return false;  // a missing directory, no permission, ...
    }
  }
  if (file == nullptr) {
    return false;
  }
  copyPermissions(path, file);

  FileSink sink(file);
  bool written = produce(sink) && sink.flush();
  written = std::fflush(file) == 0 && written;
  written = std::fclose(file) == 0 && written;
  if (written && replaceFile(temporary, path)) {
    return true;
  }
  std::remove(temporary.c_str());
  return false;
}

}  // namespace cachesift
