// The system steps on Linux and other POSIX systems.

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "io/system.h"

namespace cachesift::os {

std::FILE* openFile(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

bool isReadableFile(std::FILE* file) {
  // Opening a directory succeeds here; it is no file to read.
  struct stat status;
  return ::fstat(::fileno(file), &status) == 0 && !S_ISDIR(status.st_mode);
}

std::int64_t filePosition(std::FILE* file) {
  return ::ftello(file);
}

bool seekFile(std::FILE* file, std::int64_t offset, int origin) {
  return ::fseeko(file, static_cast<off_t>(offset), origin) == 0;
}

// Files are read into memory, never mapped: a page that another program cuts
// from a mapped file meanwhile would end the process (SIGBUS) halfway through
// a write.
const char* mapFile(std::FILE*, std::size_t) {
  return nullptr;
}

void unmapFile(const char*, std::size_t) {}

namespace {

// Gives `advice` for the whole units of `unit` bytes within a buffer.
[[maybe_unused]] void adviseWholeUnits(void* buffer, std::size_t bytes, std::uintptr_t unit,
                                       int advice) {
  const auto begin = reinterpret_cast<std::uintptr_t>(buffer);
  const std::uintptr_t first = (begin + unit - 1) / unit * unit;
  const std::uintptr_t last = (begin + bytes) / unit * unit;
  if (first < last) {
    ::madvise(reinterpret_cast<void*>(first), last - first, advice);
  }
}

}  // namespace

void preferHugePages(char* buffer, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
  adviseWholeUnits(buffer, bytes, std::uintptr_t{2} << 20, MADV_HUGEPAGE);
#else
  (void)buffer;
  (void)bytes;
#endif
}

void mapAtOnce(void* buffer, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  // Systems before Linux 5.14 refuse.
  adviseWholeUnits(buffer, bytes, static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE)),
                   MADV_POPULATE_WRITE);
#else
  (void)buffer;
  (void)bytes;
#endif
}

std::FILE* createExclusive(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    ::close(fd);
  }
  return file;
}

void copyPermissions(const std::string& target, std::FILE* file) {
  struct stat status;
  if (::stat(target.c_str(), &status) == 0) {
    ::fchmod(::fileno(file), status.st_mode & 07777);
  }
}

bool syncToDisk(std::FILE* file) {
  return ::fsync(::fileno(file)) == 0;
}

bool renameOver(const std::string& source, const std::string& target) {
  return std::rename(source.c_str(), target.c_str()) == 0;
}

// The folder is synced through a descriptor of its own; some file systems
// refuse, which leaves the change to the system's next flush.
void syncFolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

void removeFile(const std::string& path) {
  std::remove(path.c_str());
}

std::string programPath() {
  std::string path(4096, '\0');
  const ssize_t size = readlink("/proc/self/exe", path.data(), path.size());
  path.resize(size > 0 && static_cast<std::size_t>(size) < path.size() ? size : 0);
  return path;
}

bool isFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<std::vector<std::string>> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  DIR* const dir = opendir(folder.c_str());
  if (dir == nullptr) {
    return std::nullopt;
  }
  while (const dirent* entry = readdir(dir)) {
    struct stat info;
    if (stat(pathIn(folder, entry->d_name).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      names.emplace_back(entry->d_name);
    }
  }
  closedir(dir);
  return names;
}

std::string pathIn(const std::string& folder, const std::string& name) {
  return folder.ends_with('/') ? folder + name : folder + '/' + name;
}

bool writeToConsole(std::string_view) {
  return false;
}

// A terminal is never a window opened for the tool alone: the tool does not
// wait for a key here.
ConsoleWindow consoleWindow() {
  return {};
}

void waitForKey() {}

}  // namespace cachesift::os
