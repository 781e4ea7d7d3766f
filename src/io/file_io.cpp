#include "io/file_io.h"

#include <cerrno>
#include <new>
#include <utility>

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

#ifdef _WIN32
// Paths are UTF-8 inside the tool; Windows' file functions take them as
// UTF-16, which reaches every name whatever the system's code page.
std::wstring widePath(std::string_view path) {
  const int size = static_cast<int>(path.size());
  std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, path.data(), size, nullptr, 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path.data(), size, wide.data(), static_cast<int>(wide.size()));
  return wide;
}
#endif

// std::fopen, for a UTF-8 path on Windows too. `mode` is ASCII.
std::FILE* openFile(const std::string& path, const char* mode) {
#ifdef _WIN32
  return _wfopen(widePath(path).c_str(), widePath(mode).c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

void removeFile(const std::string& path) {
#ifdef _WIN32
  _wremove(widePath(path).c_str());
#else
  std::remove(path.c_str());
#endif
}

// Creates a new file for writing, failing if the name is taken, so that two
// runs never share a temporary file.
std::FILE* createExclusive(const std::string& path) {
#ifdef _WIN32
  const int fd = _wopen(widePath(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                        _S_IREAD | _S_IWRITE);
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

// Has the system write the file's content to the disk. Done before the file
// replaces another, so that a power cut soon after cannot leave the new name
// pointing to content that was never written.
bool syncToDisk(std::FILE* file) {
#ifdef _WIN32
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
#else
  return ::fsync(::fileno(file)) == 0;
#endif
}

// Replaces `target` by `source`, also when `target` exists, and has the
// change of names reach the disk.
bool replaceFile(const std::string& source, const std::string& target) {
#ifdef _WIN32
  return MoveFileExW(widePath(source).c_str(), widePath(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  if (std::rename(source.c_str(), target.c_str()) != 0) {
    return false;
  }
  // The new name is an entry of the directory, which is synced for it to
  // outlast a power cut too. The target holds the new content already, so a
  // directory that cannot be synced (some file systems refuse) fails nothing.
  const std::size_t slash = target.find_last_of('/');
  const std::string directory = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
  return true;
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

// Maps `size` bytes of an open file for reading; nullptr where the file is
// read into a buffer instead. Only Windows maps: it refuses to shorten a
// mapped file, while elsewhere a page that another program cuts from the file
// meanwhile would end the process (SIGBUS) halfway through a write.
const char* mapFile(std::FILE* file, std::size_t size) {
#ifdef _WIN32
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  HANDLE mapping = size == 0 || handle == INVALID_HANDLE_VALUE
                       ? nullptr
                       : CreateFileMappingW(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) {
    return nullptr;
  }
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, size);
  CloseHandle(mapping);  // the view keeps it
  return static_cast<const char*>(view);
#else
  (void)file;
  (void)size;
  return nullptr;
#endif
}

void unmapFile(const char* data, std::size_t size) {
#ifdef _WIN32
  (void)size;
  UnmapViewOfFile(data);
#else
  (void)data;
  (void)size;
#endif
}

// Asks the system to back a large buffer with huge pages where it can: the
// buffer is then mapped with a few dozen page faults instead of tens of
// thousands, which is a good part of a conversion's time. Only a hint.
void preferHugePages(char* buffer, std::size_t bytes) {
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
  std::FILE* file = openFile(path, "rb");
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
    unmapFile(data_, size_);
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
  if (const char* mapped = mapFile(file_.get(), bytes)) {
    contents.data_ = mapped;
    contents.size_ = bytes;
    contents.mapped_ = true;
    return ReadStatus::kOk;
  }
  // At least one byte, so that an empty file still gets a buffer.
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[bytes == 0 ? 1 : bytes]);
  if (!buffer) {
    return ReadStatus::kTooLarge;
  }
  preferHugePages(buffer.get(), bytes);
  std::rewind(file_.get());
  const std::optional<std::size_t> got = read(buffer.get(), bytes);
  if (!got) {
    return ReadStatus::kCannotOpen;
  }
  contents.buffer_ = std::move(buffer);
  contents.data_ = contents.buffer_.get();
  contents.size_ = *got;  // the file may have shrunk since it was measured
  return ReadStatus::kOk;
}

ReadStatus readWholeFile(const std::string& path, FileContents& contents) {
  std::optional<InputFile> file = InputFile::open(path);
  return file ? file->readAll(contents) : ReadStatus::kCannotOpen;
}

#ifdef _WIN32
std::string utf8FromWide(std::wstring_view text) {
  const int size = static_cast<int>(text.size());
  std::string utf8(WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr),
                   '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, utf8.data(), static_cast<int>(utf8.size()),
                      nullptr, nullptr);
  return utf8;
}
#endif

bool writeFileAtomically(const std::string& path, const Producer& produce) {
  // Opening the target for update changes nothing in it, but fails where a
  // plain write would: a read-only or locked file, or a directory. Only a
  // target that does not exist yet may fail to open.
  errno = 0;
  if (std::FILE* existing = openFile(path, "r+b")) {
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
  written = written && syncToDisk(file);
  written = std::fclose(file) == 0 && written;
  if (written && replaceFile(temporary, path)) {
    return true;
  }
  removeFile(temporary);
  return false;
}

}  // namespace cachesift
