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

// Whether records of 4-byte keys, each followed by its entry size and that
// many bytes, run from the body's start to an end marker that ends the file.
bool framesAsBytes(std::string_view body) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(body.data());
  std::size_t at = 0;
  while (body.size() - at >= 8) {
    const std::uint32_t entrySize = decodeFixed32(bytes + at + 4);
    if (decodeFixed32(bytes + at) == 0) {
      return entrySize == 0 && body.size() - at == 8;
    }
    if (entrySize > body.size() - at - 8) {
      return false;
    }
    at += 8 + entrySize;
  }
  return false;
}

}  // namespace

// Takes the header from the first bytes of a cache file (up to 24) and finds
// its layouts by its signature and client build.
bool CacheDocument::acceptHeader(std::string_view firstBytes) {
  header = WdbHeader::decode(firstBytes);
  const FormatCatalogue::Match match =
      catalogue.findBySignature(fourChars(header.signature), header.headerWord1, console);
  definition = match.layout != nullptr ? match.layout : match.asBytes;
  asBytes_ = match.asBytes;
  if (definition == nullptr) {
    console.print("Header does not match any known WDB file.\n");
    return false;
  }
  if (firstBytes.size() < definition->headerSize()) {
    console.print("The file is too short to hold a WDB header.\n");
    return false;
  }
  return true;
}

// A file of a build with no layout of its own, from 9506 on, whose records
// frame as the client writes them, is read as bytes: nothing of it is lost.
// Otherwise the built-in layout reads it, with a warning when the header
// suggests another field count.
void CacheDocument::chooseLayout(std::string_view fileBytes) {
  if (asBytes_ != nullptr &&
      (definition == asBytes_ ||
       (fileBytes.size() >= kLongHeaderSize && framesAsBytes(fileBytes.substr(kLongHeaderSize))))) {
    definition = asBytes_;
    console.print("No layout of client build " + std::to_string(header.headerWord1) +
                  "; records are written as bytes.\n");
  }
  if (definition->headerSize() == kHeaderSize) {
    header.headerWord5 = 0;  // those were the body's first bytes
  }
  // In the files of a build with layouts of its own, recordBytes is the size
  // of the client's record in memory, not a field count; there each record's
  // entry size is checked instead.
  if (!definition->framed() && header.recordBytes < kNoFieldCountFrom) {
    const int expected = static_cast<int>(header.recordBytes / 4 + 2);
    const int difference = expected - static_cast<int>(definition->fieldCount);
    if (difference != 0) {
      console.print("WARNING: Number of fields does not match definition,\n");
      console.print(
          "         Temporarily adjusting fieldsize, this may be an older/newer version.\n\n");
      console.print("NEW FIELD INFO:\n\tNew fields: " + std::to_string(difference) + "\n\n");
    }
  }
}

bool CacheDocument::loadCacheBytes(std::string_view fileBytes) {
  if (!acceptHeader(fileBytes.substr(0, kLongHeaderSize))) {
    return false;
  }
  if (fileBytes.size() - definition->headerSize() > kMaxBodySize) {
    console.print(kTooLargeMessage);
    return false;
  }
  chooseLayout(fileBytes);
  body = fileBytes.substr(definition->headerSize());
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
  chooseLayout(input.view());
  // The file may have shrunk since its header was read.
  body = input.view().substr(std::min(definition->headerSize(), input.view().size()));
  return true;
}

}  // namespace cachesift
