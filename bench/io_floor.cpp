// The I/O of one conversion and nothing else, the floor the tool is measured
// against: reads the input file whole, writes `bytes` bytes to a temporary
// file in the target's folder, flushes it to the disk, renames it over the
// target and flushes the folder, as the tool replaces a file.
//   io_floor <input> <target> <bytes>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

bool fail(const std::string& what) {
  std::perror(what.c_str());
  return false;
}

bool readWhole(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  struct stat status;
  if (fd < 0 || ::fstat(fd, &status) != 0) {
    return fail(path);
  }
  const auto size = static_cast<std::size_t>(status.st_size);
  std::unique_ptr<char[]> bytes(new char[size + 1]);
  std::size_t got = 0;
  ssize_t n;
  while (got < size && (n = ::read(fd, bytes.get() + got, size - got)) > 0) {
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return got == size || fail(path);
}

bool replaceWith(const std::string& target, std::size_t bytes) {
  constexpr std::size_t kBlock = std::size_t{1} << 20;  // the tool's output block
  const std::unique_ptr<char[]> block(new char[kBlock]());
  const std::string temporary = target + ".floor.tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    return fail(temporary);
  }
  for (std::size_t left = bytes; left > 0;) {
    const std::size_t chunk = left < kBlock ? left : kBlock;
    if (::write(fd, block.get(), chunk) != static_cast<ssize_t>(chunk)) {
      return fail(temporary);
    }
    left -= chunk;
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0 || std::rename(temporary.c_str(), target.c_str()) != 0) {
    return fail(temporary);
  }
  const std::size_t slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0 || ::fsync(dir) != 0) {
    return fail(folder);
  }
  ::close(dir);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::printf("usage: io_floor <input> <target> <bytes>\n");
    return 2;
  }
  const bool ok = readWhole(argv[1]) && replaceWith(argv[2], std::strtoull(argv[3], nullptr, 10));
  return ok ? 0 : 1;
}
