#include <algorithm>
#include <limits>
#include <string>

#include "app/cache_document.h"
#include "catalogue/catalogue.h"
#include "io/console.h"
#include "io/file_io.h"

namespace cachesift {
namespace {

// The header's recordBytes stands for recordBytes / 4 + 2 fields when it is
// below this; from here on it says nothing about the field count.
constexpr std::uint32_t kNoFieldCountFrom = 1016;

// A text field is read as its 32-bit offset into the body.
constexpr std::uint64_t kMaxBodySize = std::numeric_limits<std::uint32_t>::max();

}  // namespace

// Takes the header from the first bytes of a cache file (up to 24), finds its
// layout by its signature and client build, and warns when the header
// suggests another field count.
bool CacheDocument::acceptHeader(std::string_view firstBytes) {
  header = WdbHeader::decode(firstBytes);
  const FormatDefinition* match =
      formatCatalogue().findBySignature(fourChars(header.signature), header.headerWord1, console);
  if (match == nullptr) {
    console.print("Header does not match any known WDB file.\n");
    return false;
  }
  const std::size_t headerSize = match->headerSize();
  if (firstBytes.size() < headerSize) {
    console.print("The file is too short to hold a WDB header.\n");
    return false;
  }
  if (headerSize == kHeaderSize) {
    header.headerWord5 = 0;  // those were the body's first bytes
  }
  definition = match;
  // In the files of a build with layouts of its own, recordBytes is the size
  // of the client's record in memory, not a field count; there each record's
  // entry size is checked instead.
  if (!match->framed() && header.recordBytes < kNoFieldCountFrom) {
    const int expected = static_cast<int>(header.recordBytes / 4 + 2);
    const int difference = expected - static_cast<int>(definition->fieldCount);
    if (difference != 0) {
      console.print("WARNING: Number of fields does not match definition,\n");
      console.print(
          "         Temporarily adjusting fieldsize, this may be an older/newer version.\n\n");
      console.print("NEW FIELD INFO:\n\tNew fields: " + std::to_string(difference) + "\n\n");
    }
  }
  return true;
}

bool CacheDocument::loadCacheBytes(std::string_view fileBytes) {
  if (!acceptHeader(fileBytes.substr(0, kLongHeaderSize))) {
    return false;
  }
  const std::size_t headerSize = definition->headerSize();
  if (fileBytes.size() - headerSize > kMaxBodySize) {
    console.print(kTooLargeMessage);
    return false;
  }
  body = fileBytes.substr(headerSize);
  return true;
}

bool CacheDocument::loadCache(const std::string& path) {
  // A file that cannot be opened or read (a directory, say) prints nothing
  // here: the driver reports it.
  std::optional<InputFile> file = InputFile::open(path);
  if (!file) {
    return false;
  }
  char first[kLongHeaderSize];
  const std::optional<std::size_t> got = file->read(first, sizeof first);
  if (!got) {
    return false;
  }
  if (!acceptHeader({first, *got})) {
    return false;
  }
  const std::size_t headerSize = definition->headerSize();
  const std::optional<std::uint64_t> size = file->size();
  if (!size || *size < headerSize) {
    return false;
  }
  if (*size - headerSize > kMaxBodySize) {
    console.print(kTooLargeMessage);
    return false;
  }
  if (!acceptRead(file->readAll(input))) {
    return false;
  }
  // The file may have shrunk since its header was read.
  body = input.view().substr(std::min(headerSize, input.view().size()));
  return true;
}

}  // namespace cachesift
